#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/files.h"

// POSIX process helpers, beside the portable ones of files.h.
namespace zeb::test {

// Runs `body` in a forked child and returns its exit status (the child exits
// 0 unless a test assertion inside it failed, then 1). A signal gives 128+n;
// a child still running after `seconds` is killed, fails the test, gives -1.
int run_in_child(const std::function<void()>& body, double seconds = 60);

// Starts `argv` as a new process and returns its pid.
int spawn(const std::vector<std::string>& argv);
// The same, with the process's stdout and stderr going to the given files.
int spawn_logged(const std::vector<std::string>& argv, const std::string& out_path,
                 const std::string& err_path);
// The same with stdout the writing end of a new pipe, whose reading end is
// returned (close it when done), and SIGPIPE ignored, as services often run:
// a write to a pipe nobody reads fails with EPIPE instead of killing it.
int spawn_into_pipe(const std::vector<std::string>& argv, const std::string& err_path, int* reader);
// Waits for a process started by spawn; exit status as run_in_child gives
// it, and the same end for one that outlives `seconds`.
int wait_for(int pid, double seconds = 60);

// What a program printed and how it ended, run to its end.
struct CommandResult {
  int status;
  std::string out;
  std::string err;
};
CommandResult run_command(const std::vector<std::string>& argv);

// Polls `done` until it holds or `seconds` pass; returns whether it held.
bool eventually(const std::function<bool()>& done, double seconds = 20);

}  // namespace zeb::test
