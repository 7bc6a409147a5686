#pragma once

#include <cstring>
#include <string>

#include "trade_record.h"

namespace zeb::test {

// A record whose every field differs from record n-1 and record n+1.
inline TradeRecord sample_record(int n) {
  TradeRecord record = {};
  record.cmd = n % 6;
  record.ticket = 100000 + n;
  record.type = n % 2;
  std::string symbol = "SYM" + std::to_string(n);
  record_set_symbol(record, symbol.c_str());
  record.lot = 0.01 * n;
  record.open_price = 1.0 + n / 1000.0;
  record.sl = 0.5 + n;
  record.tp = 2.5 + n;
  record.close_price = 3.25 + n;
  record.time_local = 1700000000 + n;
  record.time_server = 1700003600 + n;
  return record;
}

inline bool same_bytes(const TradeRecord& a, const TradeRecord& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace zeb::test
