// Separate Windows processes meeting through the real named mapping
// "zeb_<master>": each plays its role through the DLLs (roles.h).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <set>

#include "support/delivery_log.h"
#include "support/library_fixture.h"
#include "win_support.h"

namespace zeb::wintest {
namespace {

using test::expect_complete_in_order;
using test::live_counter;
using test::logged_numbers;

const char* architecture() {
  return sizeof(void*) == 4 ? "i686" : "x86_64";
}

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

class ProcessesTest : public test::LibraryTest {
 protected:
  std::vector<std::string> master_args(int first, int last) {
    return {"master", root, master, std::to_string(first), std::to_string(last)};
  }
  std::vector<std::string> follower_args(const std::string& name, int last) {
    return {"follower", root, name, master, std::to_string(last), dir / (name + ".log")};
  }
  // The number of failed calls a publisher or follower role reported; -1
  // when it reported none.
  int failures(const std::string& file) {
    std::string text = test::read_text(dir / file);
    return text.empty() ? -1 : std::stoi(text);
  }
};

// Scanners, indexers and status scripts open the channel's new and changed
// files for reading with read-only sharing while a master publishes and a
// follower consumes. Hosts retry what fails, so every failure would be a
// trade delivered twice.
TEST_F(ProcessesTest, ProgramsOpeningTheChannelsFilesCauseNoFailureNorDuplicate) {
  constexpr int kCount = 300;
  std::string base = master;
  for (int hold_ms : {0, 3}) {
    master = base + "_" + std::to_string(hold_ms);
    std::string log = dir / (master + ".log");
    Release stop;
    Process scanner({"scanner", root, master, std::to_string(hold_ms), stop.name()});
    Process follower({"follower", root, "F", master, std::to_string(kCount), log, dir / (master + ".commits")});
    Process publisher({"publisher", root, master, std::to_string(kCount), dir / (master + ".writes")});
    EXPECT_EQ(publisher.wait(), 0);
    EXPECT_EQ(follower.wait(), 0);
    stop.set();
    EXPECT_EQ(scanner.wait(), 0);

    std::vector<int> numbers = logged_numbers(log);
    int distinct = static_cast<int>(std::set<int>(numbers.begin(), numbers.end()).size());
    int failed_writes = failures(master + ".writes");
    int failed_commits = failures(master + ".commits");
    std::printf("interference, %s, reader holds %d ms: %d records, %d failed Write, %d failed Commit, "
                "%d duplicates, %d lost\n",
                architecture(), hold_ms, kCount, failed_writes, failed_commits,
                static_cast<int>(numbers.size()) - distinct, kCount - distinct);
    EXPECT_EQ(failed_writes, 0);
    EXPECT_EQ(failed_commits, 0);
    EXPECT_EQ(expect_complete_in_order(numbers, kCount, master), 0);
    EXPECT_EQ(test::read_text(index_path("F")), test::read_text(index_path(master)));
  }
}

// zebctl reads index files sharing them entirely, so a status loop never
// makes a Write fail.
TEST_F(ProcessesTest, ZebctlStatusInALoopBesideAWritingMasterCausesNoFailure) {
  Process publisher({"publisher", root, master, "1000", dir / "writes"});
  ULONGLONG deadline = ::GetTickCount64() + 120000;
  while (!exists(index_path(master))) {
    ASSERT_LT(::GetTickCount64(), deadline);
    ::Sleep(1);
  }
  int runs = 0;
  for (; publisher.wait(0) == -1; ++runs) {
    ASSERT_LT(::GetTickCount64(), deadline);
    Process status({"status", root, master}, "zebctl.exe");
    EXPECT_EQ(status.wait(), 0);
  }
  EXPECT_EQ(publisher.wait(), 0);
  EXPECT_EQ(failures("writes"), 0);
  std::printf("zebctl status ran %d times beside the master (%s)\n", runs, architecture());
  EXPECT_GT(runs, 0);
}

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

// One master per master name on the machine: a second one, under this root
// or another, would take the same numbers or share the count.
TEST_F(ProcessesTest, ASecondMasterIsRefusedUntilTheFirstHasGone) {
  Release release;
  std::vector<std::string> args = master_args(1, 1);
  args.push_back(release.name());
  Process first(args);
  ASSERT_TRUE(wait_for_counter(master, 1));
  for (const std::string& where : {root, dir / "other"}) {
    EXPECT_EQ(zebmaster.Init(where.c_str(), master.c_str()), 0);
    EXPECT_EQ(zebmaster.ErrorCode(), -1);
    EXPECT_EQ(master_message(), "Init: another master named " + master + " is running on this machine.");
  }
  first.kill();
  ASSERT_EQ(init_master(), 1) << master_message();
  Process third(master_args(2, 2));
  EXPECT_EQ(third.wait(), 1);
  zebmaster_unload(&zebmaster);
  Process fourth(master_args(2, 2));  // the library that held the name is unloaded
  EXPECT_EQ(fourth.wait(), 0);
}

// Windows names ignore letter case, so "Alpha" and "ALPHA" reach one master
// directory: they meet one counter and one claim, taken in the global
// namespace so that masters in other logon sessions are refused too.
TEST_F(ProcessesTest, NamesInAnotherCaseMeetOneCounterAndOneClaim) {
  std::string upper = master;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  start_master();
  publish(1, 1);
  EXPECT_EQ(zebfollower.Init(root.c_str(), upper.c_str(), master.c_str()), 0);
  EXPECT_EQ(follower_message(), "Init: follower name must not be the master name: " + upper);
  ASSERT_EQ(zebfollower.Init(root.c_str(), "F", upper.c_str()), 1) << follower_message();
  Process second({"master", root, upper, "2", "2"});
  EXPECT_EQ(second.wait(), 1);
  HANDLE claim = ::OpenMutexA(SYNCHRONIZE, FALSE, ("Global\\zebmaster_zeb_" + master).c_str());
  EXPECT_NE(claim, nullptr);
  if (claim != nullptr) ::CloseHandle(claim);
  publish(2, 2);
  for (int n = 1; n <= 2; ++n) {
    ASSERT_EQ(zebfollower.Read(), 1) << follower_message();
    EXPECT_EQ(received_number(), n);
    ASSERT_EQ(zebfollower.Commit(), 1);
  }
}

}  // namespace
}  // namespace zeb::wintest
