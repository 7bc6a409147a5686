#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/files.h"

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

bool exists(const std::string& path);

// Runs `body` in a forked child and returns its exit status (the child exits
// 0 unless a test assertion inside it failed, then 1). A signal gives 128+n.
int run_in_child(const std::function<void()>& body);

// Starts `argv` as a new process and returns its pid.
int spawn(const std::vector<std::string>& argv);
// Waits for a process started by spawn; exit status as run_in_child gives it.
int wait_for(int pid);

}  // namespace zeb::test
