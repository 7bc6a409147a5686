// Windows file sharing between participants: every open of a record shares
// it for reading only, so a reader and a writer of one file exclude each
// other. A file held past every retry makes the call fail.
#include <gtest/gtest.h>

#include "dll_channel_fixture.h"

namespace zeb::wintest {
namespace {

class SharingTest : public DllChannelTest {
 protected:
  Master writer;
  Follower reader;

  void SetUp() override {
    ASSERT_EQ(writer.api.Init(root.c_str(), master.c_str()), 1);
    write_sample(writer.api, 1);
    ASSERT_EQ(reader.api.Init(root.c_str(), "F", master.c_str()), 1);
  }
};

TEST_F(SharingTest, AReaderHoldingTheNextRecordFileMakesWriteFail) {
  test::write_text(record_path("000002"), "held");
  {
    HeldFile held(record_path("000002"), HeldFile::reading);
    EXPECT_EQ(writer.api.Write(), 0);
    EXPECT_EQ(std::string(writer.api.ErrorMsg()),
              "Write: could not open " + record_path("000002") + " file.");
    EXPECT_EQ(test::read_text(record_path("000002")), "held");
    EXPECT_EQ(live_counter(master), 1);
  }
  write_sample(writer.api, 3);
  EXPECT_EQ(live_counter(master), 3);
}

TEST_F(SharingTest, AReaderHoldingTheMasterIndexMakesWriteFailAndWithdrawItsRecord) {
  {
    HeldFile held(index_path(master), HeldFile::reading);
    EXPECT_EQ(writer.api.Write(), 0);
    EXPECT_EQ(std::string(writer.api.ErrorMsg()),
              "WriteInd: could not open " + index_path(master) + " file.");
    EXPECT_EQ(test::read_text(index_path(master)), "1");
    EXPECT_EQ(test::read_bytes(record_path("000002")).size(), 0u);
    EXPECT_EQ(live_counter(master), 1);
  }
  write_sample(writer.api, 3);
  EXPECT_EQ(test::read_text(index_path(master)), "3");
  EXPECT_EQ(live_counter(master), 3);
  for (int n : {1, 3}) {
    ASSERT_EQ(reader.api.Read(), 1) << reader.api.ErrorMsg();
    EXPECT_EQ(reader.api.GetTicket(), test::sample_record(n).ticket);
    ASSERT_EQ(reader.api.Commit(), 1);
  }
}

TEST_F(SharingTest, AWriterHoldingARecordFileMakesReadFail) {
  {
    HeldFile held(record_path("000001"), HeldFile::writing);
    EXPECT_EQ(reader.api.Read(), 0);
    EXPECT_EQ(std::string(reader.api.ErrorMsg()),
              "Read: could not open " + record_path("000001") + " file.");
  }
  ASSERT_EQ(reader.api.Read(), 1);
  EXPECT_EQ(reader.api.GetTicket(), test::sample_record(1).ticket);
}

TEST_F(SharingTest, AReaderHoldingTheFollowerIndexMakesCommitFail) {
  ASSERT_EQ(reader.api.Read(), 1);
  ASSERT_EQ(reader.api.Commit(), 1);
  write_sample(writer.api, 2);
  ASSERT_EQ(reader.api.Read(), 1);
  {
    HeldFile held(index_path("F"), HeldFile::reading);
    EXPECT_EQ(reader.api.Commit(), 0);
    EXPECT_EQ(std::string(reader.api.ErrorMsg()),
              "WriteInd: could not open " + index_path("F") + " file.");
    EXPECT_EQ(test::read_text(index_path("F")), "1");
  }
  ASSERT_EQ(reader.api.Commit(), 1);
  EXPECT_EQ(test::read_text(index_path("F")), "2");
}

}  // namespace
}  // namespace zeb::wintest
