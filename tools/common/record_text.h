#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trade_record.h"

namespace tools {

// One field of a record, named as the tools print it, in both output forms.
struct FieldText {
  const char* name;
  std::string text;  // for people: symbols with unprintable bytes escaped
  std::string json;  // a JSON value
};

// The eleven fields in record order.
std::vector<FieldText> record_fields(const zeb::TradeRecord& record);

// "#7 cmd=2 ticket=5001 ... time_server=1718007200": one line, no line end.
std::string record_line(int32_t number, const zeb::TradeRecord& record);

// {"number":7,"cmd":2,...,"raw":"0200..."}, with "file" first after the
// number when given; "raw" is the 80-byte record in hex, in file order.
std::string record_json(int32_t number, const zeb::TradeRecord& record, const std::string& file = "");

// Text with every byte that is a control character, a blank, DEL, a
// backslash or not part of well-formed UTF-8 written as \xNN, so it stays
// one token on one line that any terminal shows.
std::string printable(const std::string& text);

// The same for a name or path within a line: blanks and backslashes stay.
std::string readable(const std::string& text);

}  // namespace tools
