#pragma once

#include <cstdint>

#include "error_state.h"

namespace zeb {

// What an index file holds: its number, or 0 when it is missing or holds no
// number. `known` is false when the file exists but cannot be read: its
// number is not known, which is not the same as 0 (`value` is 0 then).
struct IndexNumber {
  bool known;
  int32_t value;
};
IndexNumber read_index(const char* path);

// Replaces an index file's text with the decimal value: the text goes to the
// temporary file `temp_path`, which then takes the index file's place, so the
// index file is never seen empty or partial, even if the process dies in
// between. False with the failure reported in `error`.
bool write_index(ErrorState& error, const char* path, const char* temp_path, int32_t value);

}  // namespace zeb
