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
// returned (close it when done), and SIGPIPE as a shell leaves it: a write
// to a pipe nobody reads kills a program that does not ignore it.
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

// From now on in this process, a write that would take any file past `bytes`
// bytes stops there and fails; 0 lifts the limit. For a child process.
void limit_file_size(size_t bytes);

// Puts a regular file at `path` whose reads fail with an I/O error, in a
// mount namespace of this process's own. For a child process; false where
// that needs privileges the process lacks.
bool place_unreadable_file(const std::string& path);

// The samples of a file in Prometheus' text format, as a real parser reads
// them: one "name{label=\"value\",...} value" line each, labels sorted; a
// text that does not parse fails the test.
std::vector<std::string> prometheus_samples(const std::string& path);

// Polls `done` until it holds or `seconds` pass; returns whether it held.
bool eventually(const std::function<bool()>& done, double seconds = 20);

}  // namespace zeb::test
