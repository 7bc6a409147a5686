#include "roles.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

#include "support/libraries.h"
#include "support/number_log.h"
#include "support/sample_record.h"

namespace zeb::wintest {

namespace {

// Roles run outside any test: a failed check ends the process with a report.
int fail(const std::string& what, const char* message) {
  std::fprintf(stderr, "role failed: %s: %s\n", what.c_str(), message);
  return 1;
}

int run_master(const char* root, const char* master, int first, int last, const char* event, int pause_ms = 0) {
  zebmaster_api api;
  if (const char* missing = test::load(api)) return fail("load", missing);
  if (api.Init(root, master) != 1) return fail("master Init", api.ErrorMsg());
  for (int n = first; n <= last; ++n) {
    if (pause_ms > 0) ::Sleep(static_cast<DWORD>(pause_ms));
    tools::stage_record(api, test::sample_record(n));
    if (api.Write() != 1) return fail("Write of record " + std::to_string(n), api.ErrorMsg());
  }
  if (event != nullptr) {
    HANDLE release = ::OpenEventA(SYNCHRONIZE, FALSE, event);
    if (release == nullptr) return fail("OpenEvent", event);
    ::WaitForSingleObject(release, INFINITE);
    ::CloseHandle(release);
  }
  return 0;
}

// Writes a count of failed calls to its file.
void report_failures(const char* path, int failures) {
  std::ofstream(path) << failures << std::endl;
}

// Hosts retry a failed call a bounded number of times.
constexpr int kHostAttempts = 20;

int run_publisher(const char* root, const char* master, int last, const char* failures_path) {
  zebmaster_api api;
  if (const char* missing = test::load(api)) return fail("load", missing);
  if (api.Init(root, master) != 1) return fail("master Init", api.ErrorMsg());
  int failures = 0;
  for (int n = 1; n <= last; ++n) {
    tools::stage_record(api, test::sample_record(n));
    int attempt = 1;
    for (; api.Write() != 1; ++attempt) {
      ++failures;
      if (attempt == kHostAttempts) return fail("Write of record " + std::to_string(n), api.ErrorMsg());
    }
  }
  report_failures(failures_path, failures);
  return 0;
}

int run_follower(const char* root, const char* follower, const char* master, int last,
                 const char* log_path, const char* failures_path) {
  zebfollower_api api;
  if (const char* missing = test::load(api)) return fail("load", missing);
  if (api.Init(root, follower, master) != 1) return fail("follower Init", api.ErrorMsg());
  // A restarted follower appends after the last line its killed run finished.
  test::drop_torn_line(log_path);
  std::ofstream log(log_path, std::ios::app);
  int failures = 0;
  int previous = -1;
  ULONGLONG deadline = ::GetTickCount64() + 120000;
  while (previous != last) {
    if (::GetTickCount64() > deadline) return fail("follower", "timed out");
    if (api.Read() == 0) {
      if (api.ErrorCode() != 0) return fail("Read", api.ErrorMsg());
      ::Sleep(0);
      continue;
    }
    TradeRecord got = tools::received_record(api);
    int n = got.ticket - test::sample_record(0).ticket;
    TradeRecord expected = test::sample_record(n);
    if (std::memcmp(&got, &expected, sizeof got) != 0)
      return fail("garbled record", std::to_string(got.ticket).c_str());
    if (failures_path == nullptr && previous != -1 && n != previous + 1)
      return fail("out of order", (std::to_string(n) + " after " + std::to_string(previous)).c_str());
    log << n << std::endl;
    for (int attempt = 1; api.Commit() != 1; ++attempt) {
      ++failures;
      if (attempt == kHostAttempts) return fail("Commit", api.ErrorMsg());
    }
    previous = n;
  }
  if (failures_path != nullptr) report_failures(failures_path, failures);
  return 0;
}

// Opens the file for reading with read-only sharing and holds it a while.
void scan_file(const std::string& path, int hold_ms) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char bytes[80];
  DWORD got = 0;
  ::ReadFile(file, bytes, sizeof bytes, &got, nullptr);
  if (hold_ms > 0) ::Sleep(static_cast<DWORD>(hold_ms));
  ::CloseHandle(file);
}

// Scans the files of `directory` that are new or changed since `seen`;
// true when it opened any.
bool scan_directory(const std::string& directory, int hold_ms, std::map<std::string, ULONGLONG>& seen) {
  WIN32_FIND_DATAA entry;
  HANDLE search = ::FindFirstFileA((directory + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool opened = false;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::string path = directory + "\\" + entry.cFileName;
    ULONGLONG stamp = (ULONGLONG(entry.ftLastWriteTime.dwHighDateTime) << 32 |
                       entry.ftLastWriteTime.dwLowDateTime) ^ entry.nFileSizeLow;
    auto found = seen.find(path);
    if (found != seen.end() && found->second == stamp) continue;
    seen[path] = stamp;
    scan_file(path, hold_ms);
    opened = true;
  } while (::FindNextFileA(search, &entry));
  ::FindClose(search);
  return opened;
}

int run_scanner(const std::string& root, const std::string& master, int hold_ms, const char* event) {
  HANDLE stop = ::OpenEventA(SYNCHRONIZE, FALSE, event);
  if (stop == nullptr) return fail("OpenEvent", event);
  std::string master_dir = root + "\\" + master;
  std::map<std::string, ULONGLONG> seen;
  while (::WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
    bool opened = scan_directory(master_dir + "\\system", hold_ms, seen);
    opened = scan_directory(master_dir, hold_ms, seen) || opened;
    if (!opened) ::Sleep(1);
  }
  ::CloseHandle(stop);
  return 0;
}

}  // namespace

bool is_role(const std::string& word) {
  return word == "master" || word == "paced" || word == "publisher" || word == "follower" || word == "scanner";
}

int run_role(int argc, char** argv) {
  std::string role = argv[0];
  if (role == "master" && (argc == 5 || argc == 6))
    return run_master(argv[1], argv[2], std::atoi(argv[3]), std::atoi(argv[4]),
                      argc == 6 ? argv[5] : nullptr);
  if (role == "paced" && argc == 5)
    return run_master(argv[1], argv[2], 1, std::atoi(argv[3]), nullptr, std::atoi(argv[4]));
  if (role == "publisher" && argc == 5)
    return run_publisher(argv[1], argv[2], std::atoi(argv[3]), argv[4]);
  if (role == "follower" && (argc == 6 || argc == 7))
    return run_follower(argv[1], argv[2], argv[3], std::atoi(argv[4]), argv[5],
                        argc == 7 ? argv[6] : nullptr);
  if (role == "scanner" && argc == 5) return run_scanner(argv[1], argv[2], std::atoi(argv[3]), argv[4]);
  return 2;
}

}  // namespace zeb::wintest
