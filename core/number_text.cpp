#include "number_text.h"

namespace zeb {

int32_t parse_number(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT64_C(2147483648)) return 0;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return 0;
  return static_cast<int32_t>(value);
}

}  // namespace zeb
