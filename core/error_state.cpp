#include "error_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zeb {

void error_reset(ErrorState& error) {
  error.code = 0;
  std::memset(error.message, 0, sizeof error.message);
}

bool error_fail(ErrorState& error, const char* format, ...) {
  error.code = -1;
  std::memset(error.message, 0, sizeof error.message);
  va_list args;
  va_start(args, format);
  std::vsnprintf(error.message, sizeof error.message, format, args);
  va_end(args);
  return false;
}

}  // namespace zeb
