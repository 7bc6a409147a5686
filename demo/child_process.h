#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The demo's other processes: zebctl commands, some shown to the reader as
// an operator would type them.

// Starts `argv` with its stdout on a pipe; `out` gets the pipe's reading end.
pid_t start_piped(const std::vector<std::string>& argv, int* out);

// Splits what a pipe delivers into whole lines.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  int fd() const { return fd_; }
  // Reads what is there; false once the writer has closed the pipe.
  bool fill();
  // Takes the next whole line, without its end; false when there is none yet.
  bool next(std::string& line);

 private:
  int fd_;
  std::string pending_;
};

// Prints "$ zebctl ARGS..." as an operator would type it, runs the command
// and prints what it prints, indented. Returns its exit status.
int run_shown(const std::string& zebctl, const std::vector<std::string>& args);

// Waits for a process and tells whether it exited with `expected` status.
bool exited_cleanly(pid_t pid, int expected = 0);
