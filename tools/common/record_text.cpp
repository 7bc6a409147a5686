#include "record_text.h"

#include <algorithm>
#include <cstdio>

#include "json_text.h"

namespace tools {

namespace {

FieldText integer_field(const char* name, int32_t value) {
  return {name, std::to_string(value), std::to_string(value)};
}

FieldText double_field(const char* name, double value) {
  return {name, shortest_double(value), json_double(value)};
}

std::string escaped(const std::string& text, bool token) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    bool plain = byte > ' ' && byte < 0x7F && byte != '\\';
    if (plain || (!token && (byte == ' ' || byte == '\\'))) {
      out += static_cast<char>(byte);
      ++i;
    } else if (size_t length = byte >= 0x80 ? utf8_sequence_length(text, i) : 0) {
      out.append(text, i, length);
      i += length;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      out += escape;
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string printable(const std::string& text) {
  return escaped(text, true);
}

std::string readable(const std::string& text) {
  return escaped(text, false);
}

std::vector<FieldText> record_fields(const zeb::TradeRecord& record) {
  std::string symbol(record.symbol, std::find(record.symbol, record.symbol + zeb::kSymbolSize, '\0'));
  return {
      integer_field("cmd", record.cmd),
      integer_field("ticket", record.ticket),
      integer_field("type", record.type),
      {"symbol", printable(symbol), json_string(symbol)},
      double_field("lot", record.lot),
      double_field("open_price", record.open_price),
      double_field("sl", record.sl),
      double_field("tp", record.tp),
      double_field("close_price", record.close_price),
      integer_field("time_local", record.time_local),
      integer_field("time_server", record.time_server),
  };
}

std::string record_line(int32_t number, const zeb::TradeRecord& record) {
  std::string line = "#" + std::to_string(number);
  for (const FieldText& field : record_fields(record))
    line += std::string(" ") + field.name + "=" + field.text;
  return line;
}

std::string record_json(int32_t number, const zeb::TradeRecord& record, const std::string& file) {
  std::string json = "{\"number\":" + std::to_string(number);
  if (!file.empty()) json += ",\"file\":" + json_string(file);
  for (const FieldText& field : record_fields(record))
    json += std::string(",\"") + field.name + "\":" + field.json;
  // The fields above cannot always give the bytes back (the symbol byte FF
  // and the UTF-8 "\xC3\xBF" read alike, NaN keeps no payload): the record
  // itself does.
  json += ",\"raw\":\"";
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
  for (size_t i = 0; i < sizeof record; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    json += pair;
  }
  return json + "\"}";
}

}  // namespace tools
