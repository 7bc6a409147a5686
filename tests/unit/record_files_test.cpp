// Finding and loading record files: the rules Read and the operator tool share.
#include <gtest/gtest.h>

#include "record_files.h"
#include "support/channel_fixture.h"

namespace zeb {
namespace {

class RecordFilesTest : public test::ChannelTest {
 protected:
  void SetUp() override { test::make_directory(system_dir()); }
  void put(const std::string& name, int n) {
    TradeRecord record = test::sample_record(n);
    test::write_bytes(record_path(name), &record, sizeof record);
  }
};

TEST_F(RecordFilesTest, ListingKeepsNumberedNamesInTheRangeInOrder) {
  put("000003", 3);
  put("000001", 1);
  put("7.txt", 7);
  put("000009", 9);
  std::vector<RecordEntry> entries;
  ASSERT_TRUE(list_records(master_dir().c_str(), 1, 7, entries));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].number, 3);
  EXPECT_EQ(entries[0].name, "000003");
  EXPECT_EQ(entries[1].number, 7);
  EXPECT_EQ(entries[1].name, "7.txt");
  EXPECT_FALSE(list_records((master_dir() + "/absent").c_str(), 0, 9, entries));
}

// A record above the count belongs to a Write that may still withdraw it;
// the direct route must not open the file named for cursor + 1 either.
TEST_F(RecordFilesTest, NextRecordNeverLooksAboveItsLimit) {
  put("000002", 2);
  ChannelPaths paths;
  ErrorState error;
  ASSERT_TRUE(paths.set(error, root.c_str(), master.c_str(), master.c_str()));
  for (auto load : {load_record_after, load_record_by_listing}) {
    TradeRecord record = {};
    int32_t number = 0;
    Path path;
    EXPECT_EQ(load(paths, 1, 1, record, number, path), NextRecord::none);
    EXPECT_EQ(load(paths, 0, 1, record, number, path), NextRecord::none);
    ASSERT_EQ(load(paths, 0, 2, record, number, path), NextRecord::loaded);
    EXPECT_EQ(number, 2);
    EXPECT_TRUE(test::same_bytes(record, test::sample_record(2)));
    EXPECT_EQ(std::string(path.c_str()), record_path("000002"));
  }
}

}  // namespace
}  // namespace zeb
