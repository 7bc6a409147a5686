#pragma once

#include <cstdint>

namespace zeb {

// Reads text the way the standard atol does (leading white space, an optional
// sign, digits up to the first non-digit; no digits give 0). A value outside
// the signed 32-bit range is no number the channel ever writes and reads as 0.
// Entry names and index files are read this way.
int32_t parse_number(const char* text);

}  // namespace zeb
