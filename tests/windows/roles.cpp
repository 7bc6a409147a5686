#include "roles.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "libraries.h"
#include "support/number_log.h"
#include "support/sample_record.h"

namespace zeb::wintest {

namespace {

// Roles run outside any test: a failed check ends the process with a report.
int fail(const std::string& what, const char* message) {
  std::fprintf(stderr, "role failed: %s: %s\n", what.c_str(), message);
  return 1;
}

int run_master(const char* root, const char* master, int first, int last, const char* event) {
  Master lib;
  if (lib.api.Init(root, master) != 1) return fail("master Init", lib.api.ErrorMsg());
  for (int n = first; n <= last; ++n) {
    stage(lib.api, test::sample_record(n));
    if (lib.api.Write() != 1) return fail("Write of record " + std::to_string(n), lib.api.ErrorMsg());
  }
  if (event != nullptr) {
    HANDLE release = ::OpenEventA(SYNCHRONIZE, FALSE, event);
    if (release == nullptr) return fail("OpenEvent", event);
    ::WaitForSingleObject(release, INFINITE);
    ::CloseHandle(release);
  }
  return 0;
}

int run_follower(const char* root, const char* follower, const char* master, int last,
                 const char* log_path) {
  Follower lib;
  const FollowerApi& api = lib.api;
  if (api.Init(root, follower, master) != 1) return fail("follower Init", api.ErrorMsg());
  // A restarted follower appends after the last line its killed run finished.
  test::drop_torn_line(log_path);
  std::ofstream log(log_path, std::ios::app);
  int previous = -1;
  ULONGLONG deadline = ::GetTickCount64() + 120000;
  while (previous != last) {
    if (::GetTickCount64() > deadline) return fail("follower", "timed out");
    if (api.Read() == 0) {
      if (api.ErrorCode() != 0) return fail("Read", api.ErrorMsg());
      ::Sleep(0);
      continue;
    }
    TradeRecord got = received(api);
    int n = got.ticket - test::sample_record(0).ticket;
    TradeRecord expected = test::sample_record(n);
    if (std::memcmp(&got, &expected, sizeof got) != 0)
      return fail("garbled record", std::to_string(got.ticket).c_str());
    if (previous != -1 && n != previous + 1)
      return fail("out of order", (std::to_string(n) + " after " + std::to_string(previous)).c_str());
    log << n << std::endl;
    if (api.Commit() != 1) return fail("Commit", api.ErrorMsg());
    previous = n;
  }
  return 0;
}

}  // namespace

bool is_role(const std::string& word) {
  return word == "master" || word == "follower";
}

int run_role(int argc, char** argv) {
  std::string role = argv[0];
  if (role == "master" && (argc == 5 || argc == 6))
    return run_master(argv[1], argv[2], std::atoi(argv[3]), std::atoi(argv[4]),
                      argc == 6 ? argv[5] : nullptr);
  if (role == "follower" && argc == 6)
    return run_follower(argv[1], argv[2], argv[3], std::atoi(argv[4]), argv[5]);
  return 2;
}

}  // namespace zeb::wintest
