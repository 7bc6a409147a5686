// What the two libraries show a host together, on every system: their
// exports, the values that cross them, their separate states in one process,
// and the names both refuse.
#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "support/library_fixture.h"

namespace zeb::test {
namespace {

using LibrariesTest = LibraryTest;

TEST_F(LibrariesTest, EachExportsExactlyItsFunctions) {
  EXPECT_EQ(exported_names(zebmaster.module),
            (std::set<std::string>{"Init", "Write", "SetCmd", "SetTicket", "SetType", "SetSymbol",
                                   "SetLot", "SetOpenPrice", "SetSL", "SetTP", "SetClosePrice",
                                   "SetTimeLocal", "SetTimeServer", "ErrorCode", "ErrorMsg"}));
  EXPECT_EQ(exported_names(zebfollower.module),
            (std::set<std::string>{"Init", "Read", "Commit", "GetCmd", "GetTicket", "GetType",
                                   "GetSymbol", "GetLot", "GetOpenPrice", "GetSL", "GetTP",
                                   "GetClosePrice", "GetTimeLocal", "GetTimeServer", "ErrorCode",
                                   "ErrorMsg"}));
}

TEST_F(LibrariesTest, EveryArgumentAndResultTypeCrossesTheBoundaryIntact) {
  zebmaster.SetLot(0.1);
  zebmaster.SetOpenPrice(-1e308);
  zebmaster.SetTimeServer(INT_MIN);
  zebmaster.SetSymbol("EURUSD");
  start_master();
  ASSERT_EQ(zebmaster.Write(), 1);
  ASSERT_EQ(init_follower(), 1);
  ASSERT_EQ(zebfollower.Read(), 1) << follower_message();
  EXPECT_EQ(zebfollower.GetLot(), 0.1);
  EXPECT_EQ(zebfollower.GetOpenPrice(), -1e308);
  EXPECT_EQ(zebfollower.GetTimeServer(), INT_MIN);
  EXPECT_STREQ(zebfollower.GetSymbol(), "EURUSD");
}

// Both export Init, ErrorCode and ErrorMsg; each keeps to its own state.
TEST_F(LibrariesTest, BothInOneProcessKeepTheirOwnState) {
  EXPECT_NE(reinterpret_cast<void*>(zeb_dynload_symbol(zebmaster.module, "Init")),
            reinterpret_cast<void*>(zeb_dynload_symbol(zebfollower.module, "Init")));
  EXPECT_EQ(zebfollower.Read(), 0);
  EXPECT_EQ(zebfollower.ErrorCode(), -1);
  EXPECT_EQ(zebmaster.ErrorCode(), 0);
  EXPECT_STREQ(zebmaster.ErrorMsg(), "");

  start_master();
  ASSERT_EQ(init_follower(), 1);
  for (int n = 1; n <= 3; ++n) {
    zebmaster.SetTicket(n);
    ASSERT_EQ(zebmaster.Write(), 1);
  }
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(zebfollower.Read(), 1);
    EXPECT_EQ(zebfollower.GetTicket(), n);
    ASSERT_EQ(zebfollower.Commit(), 1);
  }
  EXPECT_EQ(read_text(index_path(follower)), "3");
}

// Names Windows would fold into another name ("copier." is "copier"), open
// as a device (Init on "COM1" would wait on a serial port) or refuse to
// create are refused by both libraries on every system, before anything is
// touched.
TEST_F(LibrariesTest, NamesWindowsCannotHoldAsThemselvesAreRefusedBeforeAnyFileAccess) {
  const std::pair<std::string, std::string> refused[] = {
      {"copier.", "must not end with a dot or a space: \"copier.\""},
      {"copier ", "must not end with a dot or a space: \"copier \""},
      {"CON", "is a device name on Windows: CON"},
      {"nul.log", "is a device name on Windows: nul.log"},
      {"Aux .txt", "is a device name on Windows: Aux .txt"},
      {"prn.a.b", "is a device name on Windows: prn.a.b"},
      {"com1", "is a device name on Windows: com1"},
      {"COM9.txt", "is a device name on Windows: COM9.txt"},
      {"lPt5", "is a device name on Windows: lPt5"},
      {"f?x", "must not contain < > : \" | ? or *: f?x"},
      {"a:b", "must not contain < > : \" | ? or *: a:b"},
      {"<", "must not contain < > : \" | ? or *: <"},
      {"a>b", "must not contain < > : \" | ? or *: a>b"},
      {"\"q\"", "must not contain < > : \" | ? or *: \"q\""},
      {"a|b", "must not contain < > : \" | ? or *: a|b"},
      {"*", "must not contain < > : \" | ? or *: *"},
      {"tab\there", "must not contain control characters (0x09): tab\there"},
      {"\x1F", "must not contain control characters (0x1F): \x1F"},
      {"\x01x", "must not contain control characters (0x01): \x01x"},
  };
  for (const auto& [name, why] : refused) {
    EXPECT_EQ(zebmaster.Init(root.c_str(), name.c_str()), 0) << name;
    EXPECT_EQ(master_message(), "Init: master name " + why);
    EXPECT_EQ(zebfollower.Init(root.c_str(), name.c_str(), master.c_str()), 0) << name;
    EXPECT_EQ(follower_message(), "Init: follower name " + why);
    EXPECT_EQ(zebfollower.ErrorCode(), -1);
    EXPECT_EQ(zebfollower.Init(root.c_str(), follower.c_str(), name.c_str()), 0) << name;
    EXPECT_EQ(follower_message(), "Init: master name " + why);
    EXPECT_EQ(live_counter(name), -1) << name;
  }
  EXPECT_FALSE(exists(root));
  // Near misses are ordinary names.
  for (const char* name : {"COM10", "COM0", "CONSOLE", "LPT", "x.CON", "a.b", ".c", "NUL_1", "~$"})
    EXPECT_EQ(zebfollower.Init(root.c_str(), name, master.c_str()), 1) << follower_message();
}

}  // namespace
}  // namespace zeb::test
