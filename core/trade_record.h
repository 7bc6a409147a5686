#pragma once

#include <cstddef>
#include <cstdint>

namespace zeb {

constexpr size_t kSymbolSize = 20;

// One trade event, exactly as it lies in a record file: 80 bytes,
// little-endian, no header. The in-memory layout is the file format.
struct TradeRecord {
  int32_t cmd;
  int32_t ticket;
  int32_t type;
  char symbol[kSymbolSize];  // NUL-terminated; bytes after the NUL are left as they were
  double lot;
  double open_price;
  double sl;
  double tp;
  double close_price;
  int32_t time_local;
  int32_t time_server;
};

constexpr size_t kRecordSize = 80;

static_assert(sizeof(TradeRecord) == kRecordSize, "record file layout");
static_assert(offsetof(TradeRecord, symbol) == 12, "record file layout");
static_assert(offsetof(TradeRecord, lot) == 32, "record file layout");
static_assert(offsetof(TradeRecord, close_price) == 64, "record file layout");
static_assert(offsetof(TradeRecord, time_local) == 72, "record file layout");
static_assert(offsetof(TradeRecord, time_server) == 76, "record file layout");

// Copies at most 19 bytes and a NUL to the start of the Symbol area, cutting
// before a character that would not fit whole; the bytes after the NUL keep
// what they held. A null pointer stores an empty symbol.
void record_set_symbol(TradeRecord& record, const char* symbol);

// Makes sure the Symbol area ends in a NUL, whatever a record file held there,
// so nobody reading it as text runs past the record.
void record_terminate_symbol(TradeRecord& record);

}  // namespace zeb
