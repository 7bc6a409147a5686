// zebctl's output formats: JSON that any parser accepts and that loses no
// byte or bit, and record lines that stay one line of tokens.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "json_text.h"
#include "record_text.h"
#include "support/sample_record.h"

namespace tools {
namespace {

using nlohmann::json;

std::string decoded(const std::string& text) {
  return json::parse(json_string(text)).get<std::string>();
}

TEST(ZebctlJson, StringsStayValidAndKeepEveryByte) {
  EXPECT_EQ(json_string("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(json_string(std::string("\x01\n\x1f", 3)), R"("\u0001\u000a\u001f")");
  EXPECT_EQ(decoded("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x88"),
            "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\x88");
  // Bytes that are not UTF-8 become the code point of the same value.
  EXPECT_EQ(json_string("\xff"), R"("\u00ff")");
  EXPECT_EQ(json_string("\x80"), R"("\u0080")");
  EXPECT_EQ(json_string("\xc0\xaf"), R"("\u00c0\u00af")");                      // overlong '/'
  EXPECT_EQ(json_string("\xed\xa0\x80"), R"("\u00ed\u00a0\u0080")");            // a surrogate
  EXPECT_EQ(json_string("\xe2\x82"), R"("\u00e2\u0082")");                      // cut short
  EXPECT_EQ(json_string("\xf4\x90\x80\x80"), R"("\u00f4\u0090\u0080\u0080")");  // above U+10FFFF
}

TEST(ZebctlJson, DoublesReadBackExactly) {
  for (double value : {0.1, 1.08412, 2031.45, -0.5, 1e300, 5e-324, 150.0, 99999999999999999.0,
                       123456789.123456789, 1.0 / 3}) {
    std::string text = json_double(value);
    EXPECT_EQ(json::parse(text).get<double>(), value) << text;
  }
  EXPECT_EQ(json_double(0.1), "0.1");
  EXPECT_EQ(json_double(150.0), "150");
  EXPECT_EQ(json_double(1e20), "1e+20");
  // Written out from 0.0001 up to 1e17, with an exponent beyond.
  EXPECT_EQ(json_double(0.0001), "0.0001");
  EXPECT_EQ(json_double(0.00001), "1e-05");
  EXPECT_EQ(json_double(1e16), "10000000000000000");
  EXPECT_EQ(json_double(1e17), "1e+17");
  // Shortest: 16 digits read this one back; %.16g does not find them.
  EXPECT_EQ(json_double(5.9604644775390625e-08), "5.960464477539063e-08");
  EXPECT_EQ(json_double(-0.0), "-0.0");
  EXPECT_TRUE(std::signbit(json::parse(json_double(-0.0)).get<double>()));
  EXPECT_EQ(json_double(std::numeric_limits<double>::quiet_NaN()), "\"NaN\"");
  EXPECT_EQ(json_double(-std::numeric_limits<double>::infinity()), "\"-Infinity\"");
}

TEST(ZebctlRecordText, ALineIsOneRecordOfTokens) {
  zeb::TradeRecord record = zeb::test::sample_record(7);
  zeb::record_set_symbol(record, "EUR USD\\x\t");
  record.tp = std::numeric_limits<double>::infinity();
  EXPECT_EQ(
      record_line(7, record),
      "#7 cmd=1 ticket=100007 type=1 symbol=EUR\\x20USD\\x5Cx\\x09 lot=0.07 open_price=1.007 sl=7.5 tp=inf "
      "close_price=10.25 time_local=1700000007 time_server=1700003607");
  json parsed = json::parse(record_json(7, record, "R/M/000007"));
  EXPECT_EQ(parsed["symbol"], "EUR USD\\x\t");
  EXPECT_EQ(parsed["tp"], "Infinity");
  EXPECT_EQ(parsed["file"], "R/M/000007");
  EXPECT_EQ(parsed.size(), 14u);
}

// "symbol" cannot tell the byte FF from U+00FF in UTF-8, nor "lot" one NaN
// from another: "raw" gives the record's bytes back.
TEST(ZebctlRecordText, RawGivesBackTheRecordsBytes) {
  zeb::TradeRecord latin = zeb::test::sample_record(3);
  zeb::TradeRecord utf8 = latin;
  zeb::record_set_symbol(latin, "\xff");
  zeb::record_set_symbol(utf8, "\xc3\xbf");
  const uint64_t nan_with_payload = 0x7ff80000deadbeef;
  std::memcpy(&latin.lot, &nan_with_payload, sizeof latin.lot);
  json from_latin = json::parse(record_json(3, latin));
  json from_utf8 = json::parse(record_json(3, utf8));
  EXPECT_EQ(from_latin["symbol"], from_utf8["symbol"]);
  for (auto [parsed, record] : {std::pair{from_latin, latin}, std::pair{from_utf8, utf8}}) {
    std::string raw = parsed["raw"];
    ASSERT_EQ(raw.size(), 2 * sizeof record) << raw;
    unsigned char bytes[sizeof record];
    for (size_t i = 0; i < sizeof record; ++i) bytes[i] = static_cast<unsigned char>(std::stoul(raw.substr(2 * i, 2), nullptr, 16));
    EXPECT_EQ(std::memcmp(bytes, &record, sizeof record), 0) << raw;
  }
}

// A record file's symbol area may hold no NUL; nothing past it is printed.
TEST(ZebctlRecordText, ASymbolIsNeverReadPastItsArea) {
  zeb::TradeRecord record = zeb::test::sample_record(1);
  std::memset(record.symbol, 'A', sizeof record.symbol);
  EXPECT_EQ(json::parse(record_json(1, record))["symbol"], std::string(20, 'A'));
}

}  // namespace
}  // namespace tools
