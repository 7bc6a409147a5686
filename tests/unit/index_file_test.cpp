#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "index_file.h"
#include "support/test_support.h"

namespace zeb {
namespace {

using test::TempDir;

// Index file "i" in `dir`, rewritten through its temporary twin beside it.
bool write_i(ErrorState& error, const TempDir& dir, int32_t value) {
  return write_index(error, (dir / "i").c_str(), (dir / ".zebtmp-i").c_str(), value);
}

TEST(IndexFiles, TextIsWrittenAsPlainDecimalWithoutTerminator) {
  TempDir dir;
  ErrorState error;
  for (int32_t value : {0, 7, -1, 123456, INT32_MAX}) {
    ASSERT_TRUE(write_i(error, dir, value));
    EXPECT_EQ(test::read_text(dir / "i"), std::to_string(value));
    EXPECT_EQ(read_index((dir / "i").c_str()).value, value);
  }
  // A shorter value leaves nothing of a longer one behind.
  write_i(error, dir, 123456);
  write_i(error, dir, 9);
  EXPECT_EQ(test::read_text(dir / "i"), "9");
  EXPECT_EQ(error.code, 0);
}

TEST(IndexFiles, MissingEmptyOrGarbageTextReadsAsZero) {
  TempDir dir;
  EXPECT_EQ(read_index((dir / "missing").c_str()).value, 0);
  const std::pair<std::string, int32_t> cases[] = {
      {"", 0},           {"abc", 0},          {"  42abc", 42},
      {"-17", -17},      {"+5", 5},           {" \t\n", 0},
      {"99999999999", 0}, {std::string(31, '1'), 0},
      // Only the first 31 characters are read: a longer text never overruns.
      {std::string(29, ' ') + "12345", 12},   {std::string(40, '0') + "5", 0},
  };
  for (const auto& [text, value] : cases) {
    test::write_text(dir / "i", text);
    EXPECT_EQ(read_index((dir / "i").c_str()).value, value) << "text: '" << text << "'";
  }
  test::make_directory(dir / "d");
  EXPECT_EQ(read_index((dir / "d").c_str()).value, 0);
}

TEST(IndexFiles, ReadingTellsAMissingFileFromOneThatCannotBeRead) {
  TempDir dir;
  EXPECT_TRUE(read_index((dir / "missing").c_str()).known);
  test::write_text(dir / "i", "17");
  EXPECT_TRUE(read_index((dir / "i").c_str()).known);
  test::make_directory(dir / "d");
  IndexNumber unreadable = read_index((dir / "d").c_str());
  EXPECT_FALSE(unreadable.known);
  EXPECT_EQ(unreadable.value, 0);
}

TEST(IndexFiles, UnwritableIndexReportsTheOpenFailureWithThePath) {
  TempDir dir;
  ErrorState error;
  test::make_directory(dir / "i");
  EXPECT_FALSE(write_i(error, dir, 3));
  EXPECT_EQ(error.code, -1);
  EXPECT_EQ(std::string(error.message), "WriteInd: could not open " + (dir / "i") + " file.");
}

TEST(IndexFiles, AFailedRewriteKeepsTheOldValueWhole) {
  TempDir dir;
  EXPECT_EQ(test::run_in_child([&] {
              ErrorState error;
              ASSERT_TRUE(write_i(error, dir, 41));
              // The new text cannot be written: the index file keeps its old value.
              test::limit_file_size(1);
              EXPECT_FALSE(write_i(error, dir, 42));
              EXPECT_EQ(std::string(error.message), "WriteInd: WriteFile " + (dir / "i") + " error.");
              EXPECT_EQ(test::read_text(dir / "i"), "41");
            }),
            0);
}

TEST(IndexFiles, ALeftoverTemporaryFileIsHarmless) {
  TempDir dir;
  ErrorState error;
  test::write_text(dir / ".zebtmp-i", "999999 garbage left by a killed process");
  ASSERT_TRUE(write_i(error, dir, 5));
  EXPECT_EQ(test::read_text(dir / "i"), "5");
  EXPECT_FALSE(test::exists(dir / ".zebtmp-i"));
}

TEST(IndexFiles, AnIndexFileIsNeverSeenEmptyWhileBeingRewritten) {
  TempDir dir;
  ErrorState error;
  std::string path = dir / "i";
  ASSERT_TRUE(write_i(error, dir, 1));
  pid_t writer = ::fork();
  if (writer == 0) {
    for (int value = 2; value < 5000; ++value)
      if (!write_i(error, dir, value)) ::_exit(1);
    ::_exit(0);
  }
  // Meanwhile every read finds a whole number, never the 0 of an empty file.
  int reads = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (::waitpid(writer, nullptr, WNOHANG) == 0) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer did not finish";
    ASSERT_FALSE(test::read_text(path).empty());
    ASSERT_GT(read_index(path.c_str()).value, 0);
    ++reads;
  }
  EXPECT_GT(reads, 0);
  EXPECT_EQ(read_index(path.c_str()).value, 4999);
}

}  // namespace
}  // namespace zeb
