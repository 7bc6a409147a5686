#pragma once

#include <string>

namespace tools {

// Length of the well-formed UTF-8 sequence starting at text[i], or 0.
size_t utf8_sequence_length(const std::string& text, size_t i);

// Text as a JSON string literal. Names and symbols are single-byte text of
// no declared encoding: valid UTF-8 passes through, every other byte above
// 127 becomes the code point of the same value, so the output is always
// valid JSON and loses no byte.
std::string json_string(const std::string& text);

// A double as a JSON value: the shortest decimal text that reads back as the
// same double; NaN and the infinities, which JSON numbers cannot hold, as the
// strings "NaN", "Infinity" and "-Infinity".
std::string json_double(double value);

// The shortest decimal text that reads back as the same double, written
// out from 0.0001 up to 1e17 and with an exponent beyond ("nan", "inf" and
// "-inf" for the rest).
std::string shortest_double(double value);

}  // namespace tools
