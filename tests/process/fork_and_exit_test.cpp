// The master library in a POSIX host that forks, or exits while a thread is
// inside it.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "support/library_fixture.h"
#include "support/test_support.h"

namespace zeb::test {
namespace {

using HostProcessTest = LibraryTest;

// A host that forks without exec (a worker process, a daemonising helper)
// and then ends: the child holds no claim, so a new master gets the name,
// and holds no channel, so it cannot write as a second master.
TEST_F(HostProcessTest, AForkedChildHoldsNoClaimAndCannotWrite) {
  start_master();
  int from_worker[2];
  ASSERT_EQ(::pipe(from_worker), 0);
  pid_t worker = ::fork();
  if (worker == 0) {
    bool refused = zebmaster.Write() == 0 &&
                   std::strcmp(zebmaster.ErrorMsg(), "Write: could not get MapFile pointer.") == 0;
    (void)!::write(from_worker[1], refused ? "y" : "n", 1);
    ::pause();
  }
  char refused = 0;
  EXPECT_EQ(::read(from_worker[0], &refused, 1), 1);
  EXPECT_EQ(refused, 'y');
  restart_master();  // the host ends; its worker lives on
  EXPECT_EQ(init_master(), 1) << master_message();
  ::kill(worker, SIGKILL);
  wait_for(worker);
  ::close(from_worker[0]);
  ::close(from_worker[1]);
}

// The host exits while one of its threads is inside Write: the library's
// state is released under its lock, so the writer finishes its call, and
// every later call fails as before Init; none touches a released counter.
TEST(HostProcess, ExitWhileAThreadWritesNeverFaults) {
  // On tmpfs, where a Write is quick enough to reach the counter while the
  // process is still exiting.
  TempDir dir("/dev/shm");
  std::string root = dir / "root", master = unique_name("m");
  for (int run = 0; run < 100; ++run) {
    ASSERT_EQ(run_in_child([&] {
                zebmaster_api library;
                ASSERT_EQ(load(library), nullptr);
                ASSERT_EQ(library.Init(root.c_str(), master.c_str()), 1);
                std::thread([write = library.Write] {
                  for (;;) write();
                }).detach();
                std::this_thread::sleep_for(std::chrono::microseconds(500));
                std::exit(0);
              }),
              0)
        << "run " << run;
  }
}

}  // namespace
}  // namespace zeb::test
