// Separate Windows processes meeting through the real named mapping
// "zeb_<master>": each plays its role through the DLLs (roles.h).
#include <gtest/gtest.h>

#include <memory>

#include "channel_fixture.h"
#include "support/delivery_log.h"

namespace zeb::wintest {
namespace {

using test::expect_complete_in_order;
using test::logged_numbers;

// Polls until the live counter shows at least `value`; false after a minute.
bool wait_for_counter(const std::string& master, int value) {
  for (ULONGLONG deadline = ::GetTickCount64() + 60000; ::GetTickCount64() < deadline; ::Sleep(10))
    if (live_counter(master) >= value) return true;
  return false;
}

// A named event that a holding master role waits for before it exits.
class Release {
 public:
  Release() : name_(unique_name("zeb-release-")), event_(::CreateEventA(nullptr, TRUE, FALSE, name_.c_str())) {}
  ~Release() { ::CloseHandle(event_); }
  const std::string& name() const { return name_; }
  void set() { ::SetEvent(event_); }

 private:
  std::string name_;
  HANDLE event_;
};

class ProcessesTest : public ChannelTest {
 protected:
  std::vector<std::string> master_args(int first, int last) {
    return {"master", root, master, std::to_string(first), std::to_string(last)};
  }
  std::vector<std::string> follower_args(const std::string& name, int last) {
    return {"follower", root, name, master, std::to_string(last), dir / (name + ".log")};
  }
};

TEST_F(ProcessesTest, EveryFollowerGetsEveryRecordOfALiveMasterAcrossAKill) {
  constexpr int kCount = 400;
  Release release;
  std::vector<std::string> args = master_args(1, kCount);
  args.push_back(release.name());
  Process writer(args);
  ASSERT_TRUE(wait_for_counter(master, 0));

  Process alpha(follower_args("alpha", kCount));
  auto bravo = std::make_unique<Process>(follower_args("bravo", kCount));
  for (ULONGLONG deadline = ::GetTickCount64() + 60000;
       logged_numbers(dir / "bravo.log").size() < kCount / 3 && ::GetTickCount64() < deadline;)
    ::Sleep(5);
  bravo->kill();
  bravo = std::make_unique<Process>(follower_args("bravo", kCount));

  EXPECT_EQ(alpha.wait(), 0);
  EXPECT_EQ(bravo->wait(), 0);
  // The master still held the counter all along.
  EXPECT_EQ(live_counter(master), kCount);
  release.set();
  EXPECT_EQ(writer.wait(), 0);
  expect_complete_in_order(logged_numbers(dir / "alpha.log"), kCount, "alpha");
  expect_complete_in_order(logged_numbers(dir / "bravo.log"), kCount, "bravo");
}

TEST_F(ProcessesTest, TheCounterLivesExactlyAsLongAsSomeProcessHoldsIt) {
  Release release;
  std::vector<std::string> args = master_args(1, 5);
  args.push_back(release.name());
  Process writer(args);
  ASSERT_TRUE(wait_for_counter(master, 5));
  {
    // Joining a live counter trusts it, whatever the master index says.
    test::write_text(index_path(master), "2");
    Follower joined;
    ASSERT_EQ(joined.api.Init(root.c_str(), "F", master.c_str()), 1);
    release.set();
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_EQ(live_counter(master), 5);
  }
  EXPECT_EQ(live_counter(master), -1);
}

TEST_F(ProcessesTest, AFollowerThatFindsNoHolderSeedsTheCounterFromTheMasterIndex) {
  Process writer(master_args(1, 3));
  ASSERT_EQ(writer.wait(), 0);
  EXPECT_EQ(live_counter(master), -1);

  Follower late;
  ASSERT_EQ(late.api.Init(root.c_str(), "F", master.c_str()), 1);
  EXPECT_EQ(live_counter(master), 3);
  for (int n = 1; n <= 3; ++n) {
    ASSERT_EQ(late.api.Read(), 1) << late.api.ErrorMsg();
    EXPECT_EQ(late.api.GetTicket(), test::sample_record(n).ticket);
    ASSERT_EQ(late.api.Commit(), 1);
  }
  EXPECT_EQ(late.api.Read(), 0);
  EXPECT_EQ(late.api.ErrorCode(), 0);
}

// One master per master name on the machine: a second one, under this root
// or another, would take the same numbers or share the count.
TEST_F(ProcessesTest, ASecondMasterIsRefusedUntilTheFirstHasGone) {
  Release release;
  std::vector<std::string> args = master_args(1, 1);
  args.push_back(release.name());
  Process first(args);
  ASSERT_TRUE(wait_for_counter(master, 1));
  {
    Master second;
    for (const std::string& where : {root, dir / "other"}) {
      EXPECT_EQ(second.api.Init(where.c_str(), master.c_str()), 0);
      EXPECT_EQ(second.api.ErrorCode(), -1);
      EXPECT_EQ(std::string(second.api.ErrorMsg()),
                "Init: another master named " + master + " is running on this machine.");
    }
    first.kill();
    ASSERT_EQ(second.api.Init(root.c_str(), master.c_str()), 1) << second.api.ErrorMsg();
    Process third(master_args(2, 2));
    EXPECT_EQ(third.wait(), 1);
  }
  Process fourth(master_args(2, 2));  // the library that held the name is unloaded
  EXPECT_EQ(fourth.wait(), 0);
}

}  // namespace
}  // namespace zeb::wintest
