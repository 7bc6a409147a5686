#include "trade_record.h"

#include <cstring>

namespace zeb {

void record_set_symbol(TradeRecord& record, const char* symbol) {
  size_t length = 0;
  if (symbol != nullptr) {
    while (length < kSymbolSize - 1 && symbol[length] != '\0') ++length;
    std::memcpy(record.symbol, symbol, length);
  }
  record.symbol[length] = '\0';
}

void record_terminate_symbol(TradeRecord& record) {
  record.symbol[kSymbolSize - 1] = '\0';
}

}  // namespace zeb
