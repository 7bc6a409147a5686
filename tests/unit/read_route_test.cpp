// Read opens the record named for the number after the cursor and lists the
// master directory only when that file holds no complete record. Its rule
// (load_record_after) must find what the listing alone
// (load_record_by_listing) finds in every case; these cases hold the two to it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "follower.h"
#include "master.h"
#include "record_files.h"
#include "support/allocation_count.h"
#include "support/channel_fixture.h"
#include "support/test_support.h"

namespace zeb {
namespace {

// What one search found.
struct Found {
  NextRecord next;
  int32_t number;
  std::string path;
  TradeRecord received;
};

// A channel laid down by hand, then read from `cursor` with the counter at
// `count`. The message may name "{dir}", the master directory.
struct Case {
  const char* name;
  std::function<void(class RouteTest&)> lay;
  int32_t cursor;
  int32_t count;
  int32_t result;
  int32_t pending;  // after the read: the record's number, or the cursor when none was loaded
  std::string message;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class RouteTest : public test::ChannelTest, public ::testing::WithParamInterface<Case> {
 public:
  using test::ChannelTest::record_path;

  void place(const std::string& name, int n, size_t size = sizeof(TradeRecord)) {
    std::string bytes(size, 'x');
    TradeRecord record = test::sample_record(n);
    bytes.replace(0, std::min(size, sizeof record), reinterpret_cast<const char*>(&record),
                  std::min(size, sizeof record));
    test::write_bytes(record_path(name), bytes.data(), bytes.size());
  }
  void hold_for_writing(const std::string& name) {
    held_ = std::make_unique<test::HeldFile>(record_path(name), test::HeldFile::writing);
  }

 protected:
  void SetUp() override { ASSERT_EQ(master_init(writer_, root.c_str(), master.c_str()), 1); }

  // A follower at `cursor` that has loaded nothing yet.
  void start(FollowerState& follower, int32_t cursor) {
    ASSERT_EQ(follower_init(follower, root.c_str(), "F", master.c_str()), 1);
    follower.cursor = cursor;
    follower.pending = cursor;
    follower.received = test::sample_record(99);
  }

  Found search_direct(int32_t cursor, int32_t count) {
    FollowerState follower;
    start(follower, cursor);
    Found found = {};
    Path path;
    found.next = load_record_after(follower.paths, cursor, count, follower.received, found.number, path);
    found.path = path.c_str();
    found.received = follower.received;
    return found;
  }

  Found search_listing(int32_t cursor, int32_t count) {
    Found found = {};
    Path path;
    FollowerState follower;
    start(follower, cursor);
    found.received = test::sample_record(99);
    found.next = load_record_by_listing(follower.paths, cursor, count, found.received, found.number, path);
    found.path = path.c_str();
    return found;
  }

  MasterState writer_;
  std::unique_ptr<test::HeldFile> held_;
};

std::string expand(std::string text, const std::string& dir) {
  size_t at = text.find("{dir}");
  return at == std::string::npos ? text : text.replace(at, 5, dir);
}

TEST_P(RouteTest, ReadFindsWhatTheListingFinds) {
  const Case& c = GetParam();
  c.lay(*this);
  writer_.counter.publish(c.count);
  FollowerState follower;
  start(follower, c.cursor);
  int32_t result = follower_read(follower);

  EXPECT_EQ(result, c.result);
  EXPECT_EQ(follower.pending, c.pending);
  EXPECT_EQ(follower.error.message, expand(c.message, master_dir()));
  EXPECT_EQ(follower.error.code, c.message.empty() ? 0 : -1);
  // A record is loaded whole or not at all.
  TradeRecord expected = test::sample_record(c.result == 1 ? c.pending : 99);
  if (c.result == 1) record_terminate_symbol(expected);
  EXPECT_TRUE(test::same_bytes(follower.received, expected));

  Found direct = search_direct(c.cursor, c.count);
  Found listed = search_listing(c.cursor, c.count);
  EXPECT_EQ(direct.next, listed.next);
  EXPECT_TRUE(test::same_bytes(direct.received, listed.received));
  // A path and a number are found only with a record or a file that failed.
  if (listed.next != NextRecord::none && listed.next != NextRecord::cannot_list) {
    EXPECT_EQ(direct.path, listed.path);
  }
  if (listed.next == NextRecord::loaded) {
    EXPECT_EQ(direct.number, listed.number);
  }
}

const Case kCases[] = {
    {"NextRecordPresent", [](RouteTest& t) { t.place("000006", 6); t.place("000007", 7); }, 5, 7,
     1, 6, ""},
    {"GapBeforeTheNextRecord", [](RouteTest& t) { t.place("000008", 8); }, 5, 8, 1, 8, ""},
    {"NameWithASuffix", [](RouteTest& t) { t.place("7.txt", 7); t.place("readme", 1); }, 6, 7, 1,
     7, ""},
    {"ShortAndEmptyFilesPassedOver",
     [](RouteTest& t) {
       t.place("000006", 6, 40);
       t.place("000007", 7, 0);
       t.place("000008", 8);
     },
     5, 8, 1, 8, ""},
    {"LongFileGivesItsFirstEightyBytes", [](RouteTest& t) { t.place("000006", 6, 120); }, 5, 6, 1,
     6, ""},
    {"RecordAboveThePublishedCount", [](RouteTest& t) { t.place("000012", 12); }, 5, 7, 0, 5,
     "Read: unknown exception"},
    {"SevenDigitNumber", [](RouteTest& t) { t.place("1000000", 1000000); }, 999999, 1000000, 1,
     1000000, ""},
    {"NumberedDirectory",
     [](RouteTest& t) {
       test::make_directory(t.record_path("000006"));
       t.place("000007", 7);
     },
     5, 7, 0, 5, "Read: could not open {dir}/000006 file."},
    {"NumberedFifo",
     [](RouteTest& t) {
       ASSERT_EQ(::mkfifo(t.record_path("000006").c_str(), 0644), 0);
       t.place("000007", 7);
     },
     5, 7, 0, 5, "Read: could not open {dir}/000006 file."},
    {"RecordHeldByAWriter",
     [](RouteTest& t) {
       t.place("000006", 6);
       t.hold_for_writing("000006");
     },
     5, 6, 0, 5, "Read: could not open {dir}/000006 file."},
    {"RecordThroughALink",
     [](RouteTest& t) {
       // Another user's link must never make a follower read what it points to.
       t.place("000099", 6);
       ASSERT_EQ(::symlink(t.record_path("000099").c_str(), t.record_path("000006").c_str()), 0);
     },
     5, 6, 0, 5, "Read: could not open {dir}/000006 file."},
    {"NothingLeftAboveTheCursor", [](RouteTest& t) { t.place("000005", 5, 80); }, 5, 9, 0, 5,
     "Read: unknown exception"},
    {"OnlyShortFilesAboveTheCursor", [](RouteTest& t) { t.place("000006", 6, 79); }, 5, 6, 0, 5,
     "Read: unknown exception"},
    {"NothingNew", [](RouteTest& t) { t.place("000006", 6); }, 6, 6, 0, 6, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, RouteTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// A channel of three consecutive records and a follower at its start.
class DirectReadTest : public test::ChannelTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(master_init(writer, root.c_str(), master.c_str()), 1);
    for (int n = 1; n <= 3; ++n) {
      writer.staged = test::sample_record(n);
      ASSERT_EQ(master_write(writer), 1);
    }
    ASSERT_EQ(follower_init(follower, root.c_str(), "F", master.c_str()), 1);
  }

  MasterState writer;
  FollowerState follower;
};

// The direct route must not touch the listing: with the master directory
// searchable but unreadable, records still arrive, while listing fails.
TEST_F(DirectReadTest, ConsecutiveRecordsArriveWithoutListingTheDirectory) {
  ASSERT_EQ(::chmod(dir.path().c_str(), 0711), 0);
  ASSERT_EQ(::chmod(root.c_str(), 0711), 0);
  ASSERT_EQ(::chmod(master_dir().c_str(), 0311), 0);
  for (const char* name : {"000001", "000002", "000003"}) ASSERT_EQ(::chmod(record_path(name).c_str(), 0644), 0);
  EXPECT_EQ(test::run_in_child([&] {
              // Root reads any directory; an ordinary user does not.
              if (::geteuid() == 0) {
                ASSERT_EQ(::setgid(65534), 0);
                ASSERT_EQ(::setuid(65534), 0);
              }
              for (int n = 1; n <= 3; ++n) {
                ASSERT_EQ(follower_read(follower), 1) << follower.error.message;
                EXPECT_EQ(follower.received.ticket, 100000 + n);
                follower.cursor = follower.pending;
              }
              EXPECT_EQ(follower_read(follower), 0);
              EXPECT_EQ(follower.error.code, 0);
              int32_t number = 0;
              Path path;
              EXPECT_EQ(load_record_by_listing(follower.paths, 0, 3, follower.received, number, path),
                        NextRecord::cannot_list);
            }),
            0);
  ::chmod(master_dir().c_str(), 0755);
}

// The poll a follower repeats all day, and the common read, allocate
// nothing: the candidate list belongs to the listing route alone.
TEST_F(DirectReadTest, NeitherTheIdlePollNorTheDirectRouteAllocates) {
  long before = test::allocation_count();
  ASSERT_EQ(follower_read(follower), 1);
  follower.cursor = 3;
  EXPECT_EQ(follower_read(follower), 0);
  EXPECT_EQ(follower.error.code, 0);
  EXPECT_EQ(test::allocation_count(), before);

  int32_t number = 0;
  Path path;
  ASSERT_EQ(load_record_by_listing(follower.paths, 0, 3, follower.received, number, path),
            NextRecord::loaded);
  EXPECT_GT(test::allocation_count(), before);
}

}  // namespace
}  // namespace zeb
