#pragma once

#include <gtest/gtest.h>

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

  static std::string line_of(int n) { return zebctl::record_line(n, sample_record(n)); }

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

  static std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> result;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }
};

}  // namespace zeb::test
