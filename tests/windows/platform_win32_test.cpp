// What only the Win32 layer has to get right: paths as Windows users write
// them, searches that read wildcards, and renames that sharing can refuse.
// tests/platform/platform_contract_test.cpp holds what every layer must do.
#include <gtest/gtest.h>

#include <set>

#include "platform/platform.h"
#include "win_support.h"

namespace zeb::platform {
namespace {

using wintest::HeldFile;
using wintest::TempDir;

TEST(Win32Paths, ADirectoryIsFoundWithOrWithoutATrailingSeparator) {
  TempDir dir;
  std::string sub = dir / "sub";
  test::make_directory(sub);
  for (const std::string& path : {sub, sub + "\\", sub + "/", sub + "\\\\"})
    EXPECT_TRUE(path_exists(path.c_str())) << path;
  EXPECT_FALSE(path_exists((dir / "missing\\").c_str()));
  // A listing may be asked for with the separator too.
  test::write_text(sub + "\\000001", "");
  Listing* listing = listing_open((sub + "\\").c_str());
  ASSERT_NE(listing, nullptr);
  std::set<std::string> names;
  while (const char* name = listing_next(listing)) names.insert(name);
  listing_close(listing);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "000001"}));
}

// No search on the exact path finds a drive's root.
TEST(Win32Paths, DriveRootsAreFound) {
  for (const char* path : {"C:", "C:\\", "C:/", "\\", "\\\\?\\C:\\"})
    EXPECT_TRUE(path_exists(path)) << path;
  EXPECT_FALSE(path_exists("C:\\no-such-directory\\"));
}

// A search reads '*' and '?' as wildcards: no name with them is an exact match.
TEST(Win32Paths, WildcardsNeverMatchOtherNames) {
  TempDir dir;
  test::make_directory(dir / "root");
  EXPECT_FALSE(path_exists((dir / "ro*").c_str()));
  EXPECT_FALSE(path_exists((dir / "roo?").c_str()));
  EXPECT_FALSE(path_exists((dir / "*").c_str()));
  EXPECT_TRUE(path_exists(("\\\\?\\" + dir / "root").c_str()));
  EXPECT_FALSE(path_exists(("\\\\?\\" + dir / "ro*").c_str()));
}

TEST(Win32Files, NoFileTakesThePlaceOfOneAReaderHolds) {
  TempDir dir;
  test::write_text(dir / "index", "41");
  test::write_text(dir / "next", "42");
  HeldFile reader(dir / "index", HeldFile::reading);
  EXPECT_EQ(replace_file((dir / "next").c_str(), (dir / "index").c_str()), FileResult::conflict);
  EXPECT_EQ(test::read_text(dir / "index"), "41");
  // A directory refuses for good, not as a passing conflict.
  test::make_directory(dir / "directory");
  EXPECT_EQ(replace_file((dir / "next").c_str(), (dir / "directory").c_str()), FileResult::open_failed);
}

TEST(Win32Counter, ANameThatCannotBeAKernelObjectFailsToOpen) {
  CounterOpen opened;
  // A backslash would name a kernel object namespace that does not exist.
  EXPECT_EQ(counter_open("zeb_no\\such", ".", &opened), nullptr);
}

}  // namespace
}  // namespace zeb::platform
