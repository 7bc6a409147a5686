// Rows of docs/bad-input.md that no narrower test covers, end to end over
// the real platform.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <string>

#include "follower.h"
#include "master.h"
#include "support/channel_fixture.h"

namespace zeb {
namespace {

class BadInput : public test::ChannelTest {
 protected:
  ~BadInput() override {
    for (const std::string& name : masters_) ::shm_unlink(("/zeb_" + name).c_str());
  }

  // Binds `writer` to master `name` and publishes records 1..count.
  void publish(MasterState& writer, const std::string& name, int count) {
    masters_.push_back(name);
    ASSERT_EQ(master_init(writer, root.c_str(), name.c_str()), 1) << writer.error.message;
    for (int n = 1; n <= count; ++n) {
      writer.staged = test::sample_record(n);
      ASSERT_EQ(master_write(writer), 1) << writer.error.message;
    }
  }

  // A new follower of master `name` receives records 1..count, each checked,
  // and then nothing more.
  void expect_drained(const std::string& name, const std::string& follower, int count) {
    FollowerState reader;
    ASSERT_EQ(follower_init(reader, root.c_str(), follower.c_str(), name.c_str()), 1)
        << reader.error.message;
    for (int n = 1; n <= count; ++n) {
      ASSERT_EQ(follower_read(reader), 1) << "record " << n << ": " << reader.error.message;
      ASSERT_TRUE(test::same_bytes(reader.received, test::sample_record(n))) << "record " << n;
      ASSERT_EQ(follower_commit(reader), 1);
    }
    EXPECT_EQ(follower_read(reader), 0);
    EXPECT_EQ(reader.error.code, 0) << reader.error.message;
  }

 private:
  std::vector<std::string> masters_;
};

TEST_F(BadInput, NamesWithSpacesAndAnyNonAsciiBytesCarryRecords) {
  std::string name = master + " m\xC3\xA4ster \xE9\xFF";
  MasterState writer;
  publish(writer, name, 3);
  expect_drained(name, "f\xF6llower \x80 2", 3);
  EXPECT_TRUE(test::exists(root + "/" + name + "/system/f\xF6llower \x80 2"));
}

// The counter's name holds the whole master name: live masters whose names
// differ only far in must not share a count.
TEST_F(BadInput, LongMasterNamesThatDifferOnlyAtTheEndKeepTheirOwnCounters) {
  std::string stem = master + std::string(80, 'n');
  MasterState first, second;
  publish(first, stem + "A", 3);
  publish(second, stem + "B", 1);
  expect_drained(stem + "A", "F", 3);
  expect_drained(stem + "B", "F", 1);
}

// A cursor file reads the way atol reads its first 31 bytes, a value
// outside 32 bits reads as 0, and a negative one means 0: whatever it
// holds, nothing after the cursor is lost (at worst records come again).
TEST_F(BadInput, CursorFilesOfAnyTextStartAfterTheirValue) {
  MasterState writer;
  ASSERT_EQ(master_init(writer, root.c_str(), master.c_str()), 1);
  const std::pair<std::string, int32_t> cases[] = {
      {"12", 12},
      {"  12", 12},
      {"\t\n12", 12},
      {"+12", 12},
      {"12abc", 12},
      {"12 13", 12},
      {"abc", 0},
      {"", 0},
      {" \t\n", 0},
      {"-", 0},
      {"-5", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", 0},
      {"-2147483649", 0},
      {"99999999999999999999", 0},
      {std::string(31, ' ') + "7", 0},
      {std::string(30, '0') + "7", 7},
      {std::string(31, '0') + "7", 0},
      {"\xFF\xFE" "12", 0},
  };
  for (const auto& [text, cursor] : cases) {
    test::write_text(index_path("F"), text);
    FollowerState reader;
    ASSERT_EQ(follower_init(reader, root.c_str(), "F", master.c_str()), 1) << reader.error.message;
    EXPECT_EQ(reader.cursor, cursor) << "cursor file '" << text << "'";
  }
}

}  // namespace
}  // namespace zeb
