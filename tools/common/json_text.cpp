#include "json_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

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
  // Prices and lots read best written out ("150", "0.0001", not "1.5e+02"):
  // the exponent is kept for what would need long runs of zeros.
  double magnitude = std::fabs(value);
  std::chars_format format = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e17)
                                 ? std::chars_format::fixed
                                 : std::chars_format::scientific;
  char text[64];
  std::to_chars_result written = std::to_chars(text, text + sizeof text, value, format);
  return std::string(text, written.ptr);
}

std::string json_double(double value) {
  if (std::isnan(value)) return "\"NaN\"";
  if (std::isinf(value)) return value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
  // Parsers read "-0" as the integer 0; "-0.0" keeps the sign.
  if (value == 0 && std::signbit(value)) return "-0.0";
  return shortest_double(value);
}

}  // namespace tools
