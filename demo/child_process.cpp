#include "child_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

pid_t start_piped(const std::vector<std::string>& argv, int* out) {
  int ends[2];
  if (::pipe(ends) != 0) return -1;
  std::fflush(stdout);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(ends[1], 1);
    ::close(ends[0]);
    ::close(ends[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::perror(args[0]);
    ::_exit(127);
  }
  ::close(ends[1]);
  *out = ends[0];
  return pid;
}

bool LineReader::fill() {
  char buffer[4096];
  ssize_t got = ::read(fd_, buffer, sizeof buffer);
  if (got > 0) pending_.append(buffer, static_cast<size_t>(got));
  return got > 0;
}

bool LineReader::next(std::string& line) {
  size_t end = pending_.find('\n');
  if (end == std::string::npos) return false;
  line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return true;
}

int run_shown(const std::string& zebctl, const std::vector<std::string>& args) {
  std::string command = "  $ zebctl";
  for (const std::string& arg : args) command += " " + arg;
  std::printf("\n%s\n", command.c_str());
  std::vector<std::string> argv = {zebctl};
  argv.insert(argv.end(), args.begin(), args.end());
  int out = -1;
  pid_t pid = start_piped(argv, &out);
  LineReader reader(out);
  std::string line;
  while (reader.fill()) {
    while (reader.next(line)) std::printf("    %s\n", line.c_str());
  }
  ::close(out);
  int status = 0;
  ::waitpid(pid, &status, 0);
  std::printf("\n");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool exited_cleanly(pid_t pid, int expected) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == expected;
}
