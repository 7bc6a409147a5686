#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/files.h"

// Test helpers for real Windows processes, files and paths.
namespace zeb::wintest {

std::string program_path();
std::string program_directory();

// A fresh directory under the user's temporary folder, as a Windows path,
// removed with everything in it afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& child) const { return path_ + "\\" + child; }

 private:
  std::string path_;
};

// A name that no other test or test process uses, for masters and their
// shared counters.
std::string unique_name(const std::string& prefix);

bool exists(const std::string& path);
void remove_all(const std::string& path);

// Holds a file open, sharing it for reading only, as a participant reading
// (GENERIC_READ) or writing (GENERIC_WRITE) it would.
class HeldFile {
 public:
  HeldFile(const std::string& path, DWORD access);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

 private:
  HANDLE handle_;
};

// The value of the live counter "zeb_<master>", or -1 when no process holds it.
int live_counter(const std::string& master);

// This test program started again as a separate Windows process in a role
// (see roles.h); killed at destruction if still running.
class Process {
 public:
  explicit Process(const std::vector<std::string>& args);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // The exit code, or -1 when it has not ended within `milliseconds`.
  int wait(DWORD milliseconds = 120000);
  void kill();

 private:
  PROCESS_INFORMATION info_ = {};
};

}  // namespace zeb::wintest
