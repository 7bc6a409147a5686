#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zeb::test {

// A fresh directory for one test, removed with everything in it afterwards.
// It lives under `base`, by default $TMPDIR (or /tmp).
class TempDir {
 public:
  explicit TempDir(const std::string& base = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& child) const { return path_ + "/" + child; }

 private:
  std::string path_;
};

// A master name no other test or test process uses; the shared counter it
// names is removed when the process exits.
std::string unique_name(const std::string& prefix);

std::vector<unsigned char> read_bytes(const std::string& path);
std::string read_text(const std::string& path);
void write_bytes(const std::string& path, const void* data, size_t size);
void write_text(const std::string& path, const std::string& text);
void make_directory(const std::string& path);
bool exists(const std::string& path);

// Runs `body` in a forked child and returns its exit status (the child exits
// 0 unless a test assertion inside it failed, then 1). A signal gives 128+n.
int run_in_child(const std::function<void()>& body);

// Starts `argv` as a new process and returns its pid.
int spawn(const std::vector<std::string>& argv);
// The same, with the process's stdout and stderr going to the given files.
int spawn_logged(const std::vector<std::string>& argv, const std::string& out_path,
                 const std::string& err_path);
// Waits for a process started by spawn; exit status as run_in_child gives it.
int wait_for(int pid);

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
