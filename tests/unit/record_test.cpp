// The record is the file format: every field at its offset, little-endian.
#include <gtest/gtest.h>

#include <cstring>

#include "trade_record.h"

namespace zeb {
namespace {

template <typename T>
T field_at(const TradeRecord& record, size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof value);
  return value;
}

TEST(TradeRecord, EveryFieldLiesAtItsOffset) {
  TradeRecord record = {};
  record.cmd = 1;
  record.ticket = -5;
  record.type = 3;
  record_set_symbol(record, "EURUSD");
  record.lot = 0.1;
  record.open_price = 1.2345;
  record.sl = 1.2;
  record.tp = 1.3;
  record.close_price = 1.25;
  record.time_local = 1700000000;
  record.time_server = -1;

  EXPECT_EQ(field_at<int32_t>(record, 0), 1);
  EXPECT_EQ(field_at<int32_t>(record, 4), -5);
  EXPECT_EQ(field_at<int32_t>(record, 8), 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record) + 12), "EURUSD");
  EXPECT_EQ(field_at<double>(record, 32), 0.1);
  EXPECT_EQ(field_at<double>(record, 40), 1.2345);
  EXPECT_EQ(field_at<double>(record, 48), 1.2);
  EXPECT_EQ(field_at<double>(record, 56), 1.3);
  EXPECT_EQ(field_at<double>(record, 64), 1.25);
  EXPECT_EQ(field_at<int32_t>(record, 72), 1700000000);
  EXPECT_EQ(field_at<int32_t>(record, 76), -1);
  // Little-endian integers, as the file format requires.
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
  EXPECT_EQ(bytes[4], 0xFB);
  EXPECT_EQ(bytes[7], 0xFF);
}

TEST(TradeRecord, ShorterSymbolLeavesTheBytesAfterItsTerminator) {
  TradeRecord record = {};
  record_set_symbol(record, "EURUSD");
  record_set_symbol(record, "GBP");
  const char* area = record.symbol;
  EXPECT_EQ(std::memcmp(area, "GBP\0SD\0", 7), 0);
}

TEST(TradeRecord, LongSymbolsAreCutToNineteenCharactersAndNeverReachLot) {
  TradeRecord record = {};
  record.lot = 2.5;
  record_set_symbol(record, std::string(19, 'A').c_str());
  EXPECT_EQ(std::string(record.symbol), std::string(19, 'A'));
  record_set_symbol(record, std::string(20, 'B').c_str());
  EXPECT_EQ(std::string(record.symbol), std::string(19, 'B'));
  record_set_symbol(record, std::string(100, 'C').c_str());
  EXPECT_EQ(std::string(record.symbol), std::string(19, 'C'));
  EXPECT_EQ(record.lot, 2.5);
  // A character that would not fit whole is left out, never cut in half.
  record_set_symbol(record, (std::string(17, 'D') + "\xE2\x82\xAC").c_str());  // a euro sign
  EXPECT_EQ(std::string(record.symbol), std::string(17, 'D'));
  record_set_symbol(record, (std::string(16, 'E') + "\xE2\x82\xAC!").c_str());
  EXPECT_EQ(std::string(record.symbol), std::string(16, 'E') + "\xE2\x82\xAC");
}

TEST(TradeRecord, NullSymbolStoresAnEmptyOne) {
  TradeRecord record = {};
  record_set_symbol(record, "XAUUSD");
  record_set_symbol(record, nullptr);
  EXPECT_STREQ(record.symbol, "");
}

TEST(TradeRecord, TerminatingASymbolAreaWithoutNulKeepsNineteenCharacters) {
  TradeRecord record = {};
  std::memset(record.symbol, 'Z', sizeof record.symbol);
  record_terminate_symbol(record);
  EXPECT_EQ(std::string(record.symbol), std::string(19, 'Z'));
}

}  // namespace
}  // namespace zeb
