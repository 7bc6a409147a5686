#include "zebctl_runs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "support/test_support.h"

namespace zeb::bench {

namespace {

constexpr double kRunSeconds = 600;

// Runs zebctl to its end; the seconds it took, or a negative value with
// `error` set when it failed or printed other than `lines` lines.
double timed_run(const std::vector<std::string>& args, const test::TempDir& logs, int32_t lines,
                 std::string& error) {
  std::vector<std::string> argv = {ZEBCTL};
  argv.insert(argv.end(), args.begin(), args.end());
  auto start = std::chrono::steady_clock::now();
  int status = test::wait_for(test::spawn_logged(argv, logs / "out", logs / "err"), kRunSeconds);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::string out = test::read_text(logs / "out");
  int32_t printed = static_cast<int32_t>(std::count(out.begin(), out.end(), '\n'));
  if (status == 0 && printed == lines) return seconds;
  std::string said = test::read_text(logs / "err");
  error = "zebctl " + args[0] + " ended with status " + std::to_string(status) + " after " +
          std::to_string(printed) + " of " + std::to_string(lines) + " lines" +
          (said.empty() ? "" : ": " + said.substr(0, said.find('\n')));
  return -1;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

ZebctlCosts measure_zebctl(const Medium& medium, int32_t size, int32_t records, int repetitions) {
  ZebctlCosts costs;
  std::fprintf(stderr, "zebctl follow and tail of %d records on a channel of %d on %s\n",
               static_cast<int>(records), static_cast<int>(size), medium.label.c_str());
  Channel channel(medium);
  MasterState& writer = channel.writer;
  for (int32_t n = 1; n <= size && costs.error.empty(); ++n) {
    writer.staged.ticket = n;
    if (master_write(writer) != 1) costs.error = writer.error.message;
  }
  test::TempDir logs(medium.base);
  std::vector<double> follow, tail;
  std::string count = std::to_string(records);
  for (int i = 0; i < repetitions && costs.error.empty(); ++i) {
    std::string follower = "zebctl-" + std::to_string(i);
    follow.push_back(
        timed_run({"follow", channel.root, follower, channel.master, "--count", count}, logs, records, costs.error));
    if (costs.error.empty())
      tail.push_back(timed_run({"tail", channel.root, channel.master, "--from", "1", "--count", count}, logs,
                               records, costs.error));
  }
  costs.follow_ns = median(follow) * 1e9 / records;
  costs.tail_ns = median(tail) * 1e9 / records;
  return costs;
}

}  // namespace zeb::bench
