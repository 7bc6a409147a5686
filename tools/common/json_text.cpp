#include "json_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tools {

size_t utf8_sequence_length(const std::string& text, size_t i) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  unsigned char second = static_cast<unsigned char>(text[i + 1]);
  // The second byte's range excludes overlong forms, surrogates and values
  // above U+10FFFF.
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (second < low || second > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[i + k]);
    if (next < 0x80 || next > 0xBF) return 0;
  }
  return length;
}

namespace {

std::string code_point_escape(unsigned char byte) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", byte);
  return escape;
}

}  // namespace

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += static_cast<char>(byte);
      ++i;
    } else if (byte < 0x20) {
      out += code_point_escape(byte);
      ++i;
    } else if (byte < 0x80) {
      out += static_cast<char>(byte);
      ++i;
    } else if (size_t length = utf8_sequence_length(text, i)) {
      out.append(text, i, length);
      i += length;
    } else {
      out += code_point_escape(byte);
      ++i;
    }
  }
  return out + "\"";
}

std::string shortest_double(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char text[32];
  int precision = 1;
  for (; precision < 17; ++precision) {
    std::snprintf(text, sizeof text, "%.*g", precision, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  // %g switches to an exponent once it has fewer digits than the integer
  // part; the same digits read better written out ("150", not "1.5e+02").
  int exponent = value == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(value))));
  if (exponent >= precision && exponent < 17) precision = exponent + 1;
  std::snprintf(text, sizeof text, "%.*g", precision, value);
  return text;
}

std::string json_double(double value) {
  if (std::isnan(value)) return "\"NaN\"";
  if (std::isinf(value)) return value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
  // Parsers read "-0" as the integer 0; "-0.0" keeps the sign.
  if (value == 0 && std::signbit(value)) return "-0.0";
  return shortest_double(value);
}

}  // namespace tools
