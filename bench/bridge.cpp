#include "bridge.h"

#include <signal.h>
#include <sys/mman.h>

#include <vector>

#include "follower.h"
#include "support/nats_server.h"
#include "support/test_support.h"

namespace zeb::bench {

namespace {

// How long the first record may take to reach B.
constexpr double kStartSeconds = 30;

// A program the benchmark started, its stdout and stderr in files named
// after `log`.
struct Process {
  std::string name;
  std::string err_path;
  int pid = -1;
};

Process start(const std::string& name, const std::string& log, const std::vector<std::string>& argv,
              const test::TempDir& logs) {
  Process process = {name, logs / (log + ".err")};
  process.pid = test::spawn_logged(argv, logs / (log + ".out"), process.err_path);
  return process;
}

// Ends the process with SIGTERM (SIGKILL after 10 s); empty when it ended
// with status 0, else what went wrong, with the first line it wrote on stderr.
std::string stop(Process& process) {
  if (process.pid <= 0) return process.name + " did not start";
  ::kill(process.pid, SIGTERM);
  int status = test::wait_for(process.pid, 10);
  process.pid = -1;
  if (status == 0) return "";
  std::string said = test::read_text(process.err_path);
  said = said.substr(0, said.find('\n'));
  return process.name +
         (status < 0    ? " did not end within 10 s of SIGTERM"
          : status > 128 ? " ended with signal " + std::to_string(status - 128)
                         : " ended with status " + std::to_string(status)) +
         (said.empty() ? "" : ": " + said);
}

// Waits until the copy holds the first record, and commits it for each
// follower of the run; empty when done.
std::string pass_first_record(const Channel& copy, int followers) {
  for (int i = 0; i < followers; ++i) {
    FollowerState follower;
    follower_init(follower, copy.root.c_str(), follower_name(i).c_str(), copy.master.c_str());
    if (follower.error.code == 0 &&
        !test::eventually([&] { return follower_read(follower) || follower.error.code != 0; }, kStartSeconds))
      return "the first record did not reach B within " + std::to_string(static_cast<int>(kStartSeconds)) + " s";
    if (follower.error.code != 0 || !follower_commit(follower)) return follower.error.message;
  }
  return "";
}

// Runs `measure(source, copy)` on two new channels joined by two new
// bridges, after a first record went across. Both roots are on this
// machine, where a master name is claimed machine-wide, so the copy's master
// has a name of its own; the channel id (the source's master name) joins
// them.
template <typename Result, typename Measure>
Result across(const Medium& medium, const std::string& bridge, const std::string& url, int followers,
              const Measure& measure) {
  Result result;
  test::TempDir logs(medium.base);
  Channel source(medium), copy(medium);
  source.writer.staged.ticket = 0;
  std::string error = master_write(source.writer) ? "" : source.writer.error.message;
  source.writer.counter.close();
  copy.writer.counter.close();
  std::vector<Process> bridges;
  for (const Channel* channel : {&source, &copy}) {
    const char* mode = channel == &source ? "out" : "in";
    bridges.push_back(start(std::string("zebbridge ") + mode, mode,
                            {bridge, mode, channel->root, channel->master, "--server", url, "--channel", source.master},
                            logs));
  }
  if (error.empty()) error = pass_first_record(copy, followers);
  if (error.empty()) result = measure(source, copy);
  for (Process& process : bridges) {
    std::string ended = stop(process);
    if (error.empty()) error = ended;
  }
  // The name through which the out bridge claimed the channel id.
  ::shm_unlink(("/zebbridge_" + source.master).c_str());
  if (result.error.empty()) result.error = error;
  return result;
}

}  // namespace

BridgeFigures measure_bridge(const Medium& medium, int32_t latency_records, int32_t throughput_records) {
  BridgeFigures figures;
  const std::string bridge = ZEB_BRIDGE_PROGRAM;
  if (test::nats_server_program().empty()) {
    figures.skipped = "no nats-server found (apt-get install nats-server)";
    return figures;
  }

  test::NatsServer server(medium.base);
  if (!server.start()) {
    std::string said = test::read_text(server.log_path() + ".err");
    figures.latency.error = figures.throughput.error =
        "nats-server did not answer /healthz within 30 s" + (said.empty() ? "" : ": " + said.substr(0, said.find('\n')));
    return figures;
  }
  std::string url = server.url();
  figures.latency = across<Latency>(medium, bridge, url, 1, [&](const Channel& source, const Channel& copy) {
    return measure_latency_across(source, copy, latency_records, true);
  });
  figures.throughput = across<Throughput>(medium, bridge, url, 1, [&](const Channel& source, const Channel& copy) {
    return measure_throughput_across(source, copy, throughput_records, 1);
  });
  return figures;
}

}  // namespace zeb::bench
