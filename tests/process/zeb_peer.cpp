// A host program for multi-process tests: loads one zeb library by path and
// plays a master or a follower through its exports only.
//
//   zeb_peer master   LIBRARY ROOT MASTER COUNT [LOG]
//       publishes records 1..COUNT as fast as it can. With LOG, appends
//       every n whose Write returned 1 to LOG, and a restarted master goes
//       on after the last n logged.
//   zeb_peer follower LIBRARY ROOT FOLLOWER MASTER COUNT LOG
//       reads, checks and commits until it has record COUNT; appends every
//       record number it received to LOG before committing it. Fails when
//       no record comes for a minute.
//
// A last log line without its newline (a kill mid-append) is cut off and
// counts for nothing.
//
// Record n carries ticket 100000+n and fields derived from n, so a follower
// can tell a garbled record from a good one. A master killed in Write and
// restarted writes its record n again, so a follower may receive n twice in
// a row, never anything out of order. Exit status 0 means success.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "library_record.h"
#include "support/number_log.h"
#include "support/sample_record.h"
#include "zeb/zeb_dynload.h"

namespace {

// How long a follower waits for its next record before it fails.
constexpr std::chrono::seconds kPatience{60};

[[noreturn]] void fail(const std::string& what, const char* (*error_message)()) {
  std::fprintf(stderr, "zeb_peer: %s: %s\n", what.c_str(), error_message());
  std::exit(1);
}

// Binds every export of the library; a missing one ends the peer with 3.
template <typename Api>
Api load(const char* path, const char* (*load_into)(Api*, const char*)) {
  Api api;
  if (const char* missing = load_into(&api, path)) {
    std::fprintf(stderr, "zeb_peer: cannot bind %s of %s\n", missing, path);
    std::exit(3);
  }
  return api;
}

// Opens a log for appending after its last finished line (number_log.h).
int open_log(const char* path) {
  zeb::test::drop_torn_line(path);
  return ::open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
}

void append_number(int log, int n) {
  std::string line = std::to_string(n) + "\n";
  if (::write(log, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    std::fprintf(stderr, "zeb_peer: cannot append to its log\n");
    std::exit(1);
  }
}

int run_master(const char* library, const char* root, const char* master, int count, const char* log_path) {
  zebmaster_api api = load(library, zebmaster_load);
  if (api.Init(root, master) != 1) fail("master Init", api.ErrorMsg);
  int log = log_path == nullptr ? -1 : open_log(log_path);
  for (int n = log_path == nullptr ? 1 : zeb::test::last_logged(log_path) + 1; n <= count; ++n) {
    tools::stage_record(api, zeb::test::sample_record(n));
    if (api.Write() != 1) fail("Write of record " + std::to_string(n), api.ErrorMsg);
    if (log >= 0) append_number(log, n);
  }
  return 0;
}

int run_follower(const char* library, const char* root, const char* follower, const char* master, int count,
                 const char* log_path) {
  zebfollower_api api = load(library, zebfollower_load);
  if (api.Init(root, follower, master) != 1) fail("follower Init", api.ErrorMsg);
  // Killed after taking the last record, it has nothing left to wait for.
  if (zeb::test::last_logged(log_path) == count) return 0;
  int log = open_log(log_path);
  int last = -1;
  // A follower left waiting by a lost record gives up rather than poll forever.
  auto give_up_at = std::chrono::steady_clock::now() + kPatience;
  while (last != count) {
    int result = api.Read();
    if (result == 0) {
      if (api.ErrorCode() != 0) fail("Read", api.ErrorMsg);
      if (std::chrono::steady_clock::now() > give_up_at)
        fail("no record after " + std::to_string(last) + " for " + std::to_string(kPatience.count()) + " s",
             api.ErrorMsg);
      sched_yield();
      continue;
    }
    give_up_at = std::chrono::steady_clock::now() + kPatience;
    zeb::TradeRecord got = tools::received_record(api);
    int n = got.ticket - 100000;
    if (n < 1 || n > count || !zeb::test::same_bytes(got, zeb::test::sample_record(n)))
      fail("garbled record with ticket " + std::to_string(got.ticket), api.ErrorMsg);
    if (last != -1 && n != last + 1 && n != last)
      fail("record " + std::to_string(n) + " after " + std::to_string(last), api.ErrorMsg);
    append_number(log, n);
    if (api.Commit() != 1) fail("Commit", api.ErrorMsg);
    last = n;
  }
  ::close(log);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string role = argv[1];
  if (role == "master" && (argc == 6 || argc == 7))
    return run_master(argv[2], argv[3], argv[4], std::atoi(argv[5]), argc == 7 ? argv[6] : nullptr);
  if (role == "follower" && argc == 8)
    return run_follower(argv[2], argv[3], argv[4], argv[5], std::atoi(argv[6]), argv[7]);
  return 2;
}
