#include <gtest/gtest.h>

#include <set>
#include <string>

#include "listing.h"
#include "support/test_support.h"

namespace zeb {
namespace {

using test::TempDir;

TEST(ParseNumber, ReadsLikeAtolWithinThirtyTwoBits) {
  EXPECT_EQ(parse_number("  42abc"), 42);
  EXPECT_EQ(parse_number("\t\n7"), 7);
  EXPECT_EQ(parse_number("000007"), 7);
  EXPECT_EQ(parse_number("7.txt"), 7);
  EXPECT_EQ(parse_number("-1"), -1);
  EXPECT_EQ(parse_number("+12"), 12);
  EXPECT_EQ(parse_number("abc"), 0);
  EXPECT_EQ(parse_number(""), 0);
  EXPECT_EQ(parse_number("system"), 0);
  EXPECT_EQ(parse_number("- 5"), 0);
  EXPECT_EQ(parse_number("2147483647"), INT32_MAX);
  EXPECT_EQ(parse_number("-2147483648"), INT32_MIN);
  // Outside 32 bits is no number the channel writes: 0, never a wrapped value.
  EXPECT_EQ(parse_number("2147483648"), 0);
  EXPECT_EQ(parse_number("4294967297"), 0);
  EXPECT_EQ(parse_number("-2147483649"), 0);
  EXPECT_EQ(parse_number("99999999999999999999999999999"), 0);
}

TEST(ForEachEntry, VisitsEveryEntryButDotAndDotDot) {
  TempDir dir;
  for (const char* name : {"000001", "7.txt", ".hidden", "..x"}) test::write_text(dir / name, "");
  test::make_directory(dir / "system");
  std::set<std::string> seen;
  EXPECT_TRUE(for_each_entry(dir.path().c_str(), [&](const char* name) { seen.insert(name); }));
  EXPECT_EQ(seen, (std::set<std::string>{"000001", "7.txt", ".hidden", "..x", "system"}));
  EXPECT_FALSE(for_each_entry((dir / "missing").c_str(), [](const char*) {}));
}

}  // namespace
}  // namespace zeb
