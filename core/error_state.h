#pragma once

#include <cstdint>

namespace zeb {

// Room for any report, including one that names a full path.
constexpr int kErrorMessageSize = 1024;

// The result of a library's last call, as ErrorCode and ErrorMsg report it.
struct ErrorState {
  int32_t code = 0;  // 0, or -1 after a failure
  char message[kErrorMessageSize] = {};
};

// Every export except ErrorCode and ErrorMsg starts with this.
void error_reset(ErrorState& error);

// Records a failure (code -1, printf-style message) and returns false, so
// callers can write `return error_fail(...)`.
bool error_fail(ErrorState& error, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace zeb
