#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/files.h"

// Test helpers for real Windows processes and shared memory; the Windows
// side of the portable helpers of files.h is in win_support.cpp.
namespace zeb::wintest {

std::string program_path();
std::string program_directory();

using test::exists;
using test::HeldFile;
using test::remove_all;
using test::TempDir;
using test::unique_name;

// This test program started again as a separate Windows process in a role
// (see roles.h), or another program beside it (`program`, with its output
// discarded); killed at destruction if still running.
class Process {
 public:
  explicit Process(const std::vector<std::string>& args, const std::string& program = "");
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
