#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "master.h"
#include "record_text.h"
#include "support/channel_fixture.h"
#include "support/test_support.h"

namespace zeb::test {

// A channel that a master in this process writes (holding its counter, as a
// running master does), and zebctl run against it as a separate program.
class ZebctlTest : public ChannelTest {
 protected:
  MasterState writer;

  // Publishes records until the count reaches `last`; record n is sample_record(n).
  void publish_up_to(int last) {
    if (!writer.counter.is_open()) {
      ASSERT_EQ(master_init(writer, root.c_str(), master.c_str()), 1);
    }
    while (writer.count < last) {
      writer.staged = sample_record(writer.count + 1);
      ASSERT_EQ(master_write(writer), 1) << writer.error.message;
    }
  }

  static std::string line_of(int n) { return tools::record_line(n, sample_record(n)); }

  CommandResult zebctl(std::vector<std::string> args) const {
    args.insert(args.begin(), ZEBCTL);
    return run_command(args);
  }

  // Starts zebctl in the background; its output goes to log(name) + ".out"/".err".
  int start_zebctl(const std::string& name, std::vector<std::string> args) const {
    args.insert(args.begin(), ZEBCTL);
    return spawn_logged(args, log(name) + ".out", log(name) + ".err");
  }
  std::string log(const std::string& name) const { return dir / name; }

  // Starts zebctl with stdout a pipe, as in a shell pipeline; its stderr goes to
  // log(name) + ".err".
  int start_zebctl_piped(const std::string& name, std::vector<std::string> args, int* reader) const {
    args.insert(args.begin(), ZEBCTL);
    return spawn_into_pipe(args, log(name) + ".err", reader);
  }

  // Up to `count` lines from a pipe, waiting at most a few seconds for them.
  static std::vector<std::string> read_lines(int reader, size_t count) {
    std::vector<std::string> result;
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (result.size() < count && std::chrono::steady_clock::now() < deadline) {
      pollfd in = {reader, POLLIN, 0};
      char byte;
      if (::poll(&in, 1, 100) <= 0) continue;
      if (::read(reader, &byte, 1) != 1) break;
      if (byte != '\n') {
        line += byte;
      } else {
        result.push_back(line);
        line.clear();
      }
    }
    return result;
  }

  // The exit status of a process that must end by itself within a few
  // seconds; -1 (after killing it) when it does not.
  static int ends_by_itself(int pid) {
    int status = 0;
    if (!eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 10)) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  static std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> result;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }
};

}  // namespace zeb::test
