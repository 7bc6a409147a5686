#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

namespace zeb::test {

namespace {

std::vector<std::string>& names_to_unlink() {
  static std::vector<std::string> names;
  return names;
}

void unlink_counters() {
  for (const std::string& name : names_to_unlink()) ::shm_unlink(("/zeb_" + name).c_str());
}

}  // namespace

TempDir::TempDir(const std::string& base) {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string parent = !base.empty() ? base : tmpdir && *tmpdir ? tmpdir : "/tmp";
  std::string pattern = parent + "/zeb-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

// The shared counters named after these names are unlinked when the process exits.
std::string unique_name(const std::string& prefix) {
  static int sequence = 0;
  static std::once_flag registered;
  // The list must outlive the exit handler, so it is made before it.
  std::call_once(registered, [] {
    names_to_unlink();
    std::atexit(unlink_counters);
  });
  // The process id alone repeats: a killed process's leftovers in /dev/shm
  // would collide with a later process that gets the same id.
  static const unsigned token = std::random_device{}() % 100000;
  std::string name = prefix + std::to_string(::getpid()) + "_" + std::to_string(token) + "_" +
                     std::to_string(++sequence);
  names_to_unlink().push_back(name);
  return name;
}

bool exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

HeldFile::HeldFile(const std::string& path, Mode mode)
    : handle_(::open(path.c_str(), mode == reading ? O_RDONLY : O_WRONLY)) {
  EXPECT_GE(handle_, 0) << path;
  EXPECT_EQ(::flock(static_cast<int>(handle_), (mode == reading ? LOCK_SH : LOCK_EX) | LOCK_NB), 0)
      << path;
}

HeldFile::~HeldFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

namespace {

int exit_status(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

int run_in_child(const std::function<void()>& body, double seconds) {
  pid_t pid = ::fork();
  if (pid == 0) {
    body();
    ::_exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  return wait_for(pid, seconds);
}

namespace {

// Replaces stdout or stderr of this (child) process with a file.
void redirect(int fd, const std::string& path) {
  int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (file < 0) ::_exit(126);
  ::dup2(file, fd);
  ::close(file);
}

int spawn_with(const std::vector<std::string>& argv, const std::function<void()>& prepare) {
  pid_t pid = ::fork();
  if (pid == 0) {
    prepare();
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

}  // namespace

int spawn(const std::vector<std::string>& argv) {
  return spawn_with(argv, [] {});
}

int spawn_logged(const std::vector<std::string>& argv, const std::string& out_path,
                 const std::string& err_path) {
  return spawn_with(argv, [&] {
    redirect(1, out_path);
    redirect(2, err_path);
  });
}

int spawn_into_pipe(const std::vector<std::string>& argv, const std::string& err_path, int* reader) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
  int pid = spawn_with(argv, [&] {
    std::signal(SIGPIPE, SIG_DFL);
    ::dup2(ends[1], 1);
    redirect(2, err_path);
  });
  ::close(ends[1]);
  *reader = ends[0];
  return pid;
}

int wait_for(int pid, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ADD_FAILURE() << "process " << pid << " did not end within " << seconds << " s; killed";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return exit_status(status);
}

CommandResult run_command(const std::vector<std::string>& argv) {
  TempDir logs;
  int status = wait_for(spawn_logged(argv, logs / "out", logs / "err"));
  return {status, read_text(logs / "out"), read_text(logs / "err")};
}

void limit_file_size(size_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
  struct rlimit limit;
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = bytes == 0 ? limit.rlim_max : bytes;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

bool place_unreadable_file(const std::string& path) {
  // This process's memory, read at address 0, fails with an I/O error; bound
  // over a file it is no link, so even a reader that follows none opens it.
  write_text(path, "");
  return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         ::mount("/proc/self/mem", path.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

std::vector<std::string> prometheus_samples(const std::string& path) {
  CommandResult parsed = run_command({"/usr/bin/python3", ZEB_PROMETHEUS_SAMPLES, path});
  EXPECT_EQ(parsed.status, 0) << parsed.err;
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = parsed.out.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(parsed.out.substr(start, end - start));
  return lines;
}

bool eventually(const std::function<bool()>& done, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace zeb::test
