#include "trade_record.h"

#include <cstring>

#include "platform/platform.h"

namespace zeb {

void record_set_symbol(TradeRecord& record, const char* symbol) {
  size_t length = 0;
  if (symbol != nullptr) {
    // Cut before a character that would not fit whole: half a character
    // at the end is text no reader can decode.
    length = platform::whole_characters(symbol, kSymbolSize - 1);
    std::memcpy(record.symbol, symbol, length);
  }
  record.symbol[length] = '\0';
}

void record_terminate_symbol(TradeRecord& record) {
  record.symbol[kSymbolSize - 1] = '\0';
}

}  // namespace zeb
