// Roots as Windows users give them: with a trailing separator, as a literal
// path, or a bare drive; and the names Windows cannot hold as themselves.
#include <gtest/gtest.h>

#include "dll_channel_fixture.h"

namespace zeb::wintest {
namespace {

// Publishes two records under `root` and reads them back as a follower.
void carry_records(const std::string& root, const std::string& master) {
  {
    Master writer;
    ASSERT_EQ(writer.api.Init(root.c_str(), master.c_str()), 1) << writer.api.ErrorMsg();
    for (int n = 1; n <= 2; ++n) {
      writer.api.SetTicket(n);
      ASSERT_EQ(writer.api.Write(), 1) << writer.api.ErrorMsg();
    }
  }
  Follower reader;
  ASSERT_EQ(reader.api.Init(root.c_str(), "F", master.c_str()), 1) << reader.api.ErrorMsg();
  for (int n = 1; n <= 2; ++n) {
    ASSERT_EQ(reader.api.Read(), 1) << reader.api.ErrorMsg();
    EXPECT_EQ(reader.api.GetTicket(), n);
    ASSERT_EQ(reader.api.Commit(), 1) << reader.api.ErrorMsg();
  }
  EXPECT_EQ(reader.api.Read(), 0);
  EXPECT_EQ(reader.api.ErrorCode(), 0);
}

TEST(Roots, ATrailingSeparatorWorksForInitWriteAndRead) {
  TempDir dir;
  for (const char* name : {"back", "slash"}) {
    std::string master = unique_name("m");
    std::string separator = name[0] == 'b' ? "\\" : "/";
    carry_records(dir / name + separator, master);
    EXPECT_TRUE(exists(dir / name + "\\" + master + "\\000002")) << name;
    EXPECT_EQ(test::read_text(dir / name + "\\" + master + "\\system\\F"), "2") << name;
  }
}

TEST(Roots, ALiteralPathWithATrailingSeparatorWorksLikeThePlainPath) {
  TempDir dir;
  std::string master = unique_name("m");
  carry_records("\\\\?\\" + dir / "literal\\", master);
  EXPECT_TRUE(exists(dir / "literal\\" + master + "\\000002"));
  EXPECT_EQ(test::read_text(dir / "literal\\" + master + "\\system\\F"), "2");
}

TEST(Roots, ADriveRootWorksForInitWriteAndRead) {
  for (std::string root : {"C:", "C:\\"}) {
    std::string master = unique_name("drive");
    carry_records(root, master);
    EXPECT_TRUE(exists("C:\\" + master + "\\000002")) << root;
    remove_all("C:\\" + master);
  }
}

// Names Windows would fold into another ("copier." is "copier"), open as a
// device (Init on "COM1" would wait on a serial port) or cannot create are
// refused by both DLLs before anything is created.
TEST(Names, WindowsRefusesWhatItCannotHoldAsItself) {
  TempDir dir;
  std::string root = dir / "root";
  Master writer;
  Follower reader;
  for (const char* name : {"copier.", "copier ", "CON", "nul.log", "Com1", "COM9.txt", "lpt1", "AUX .x",
                           "prn", "f?x", "a:b", "a*b", "a<b", "a>b", "a\"b", "a|b", "tab\there"}) {
    EXPECT_EQ(writer.api.Init(root.c_str(), name), 0) << name;
    EXPECT_EQ(writer.api.ErrorCode(), -1);
    EXPECT_EQ(std::string(writer.api.ErrorMsg()).rfind("Init: master name ", 0), 0u) << writer.api.ErrorMsg();
    EXPECT_EQ(reader.api.Init(root.c_str(), name, "M"), 0) << name;
    EXPECT_EQ(std::string(reader.api.ErrorMsg()).rfind("Init: follower name ", 0), 0u) << reader.api.ErrorMsg();
    EXPECT_EQ(reader.api.Init(root.c_str(), "F", name), 0) << name;
    EXPECT_EQ(std::string(reader.api.ErrorMsg()).rfind("Init: master name ", 0), 0u) << reader.api.ErrorMsg();
  }
  EXPECT_FALSE(exists(root));
  EXPECT_EQ(live_counter("COM1"), -1);
}

}  // namespace
}  // namespace zeb::wintest
