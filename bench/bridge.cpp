#include "bridge.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "follower.h"
#include "support/nats_server.h"
#include "support/test_support.h"

namespace zeb::bench {

namespace {

// How long the first record, or the last of the waiting ones, may take to
// reach B.
constexpr double kStartSeconds = 30;
constexpr double kWaitingSeconds = 300;

double now_s() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

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

// The processor time a process has taken so far, user and system, in seconds.
double cpu_seconds(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // Fields 14 and 15, counted after the command name in parentheses.
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i >= 14) ticks += std::stoll(field);
  return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
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

// The two bridges between a source channel and its copy. Both roots are on
// this machine, where a master name is claimed machine-wide, so the copy's
// master has a name of its own; the channel id (the source's master name)
// joins them.
class Bridges {
 public:
  Bridges(const Medium& medium, const std::string& url, const Channel& source, const Channel& copy)
      : logs_(medium.base), channel_(source.master) {
    for (const Channel* channel : {&source, &copy}) {
      const char* mode = channel == &source ? "out" : "in";
      processes_.push_back(start(std::string("zebbridge ") + mode, mode,
                                 {ZEB_BRIDGE_PROGRAM, mode, channel->root, channel->master, "--server", url,
                                  "--channel", channel_},
                                 logs_));
    }
  }
  // Empty when both ended with status 0 on SIGTERM.
  std::string stop_both() {
    std::string error;
    for (Process& process : processes_) {
      std::string ended = stop(process);
      if (error.empty()) error = ended;
    }
    // The name through which the out bridge claimed the channel id.
    ::shm_unlink(("/zebbridge_" + channel_).c_str());
    return error;
  }
  int out_pid() const { return processes_[0].pid; }
  int in_pid() const { return processes_[1].pid; }

 private:
  test::TempDir logs_;
  std::string channel_;
  std::vector<Process> processes_;
};

// Runs `measure(source, copy, bridges)` on two new channels joined by two
// new bridges, after a first record went across.
template <typename Result, typename Measure>
Result across(const Medium& medium, const std::string& url, int followers, const Measure& measure) {
  Result result;
  Channel source(medium), copy(medium);
  source.writer.staged.ticket = 0;
  std::string error = master_write(source.writer) ? "" : source.writer.error.message;
  source.writer.counter.close();
  copy.writer.counter.close();
  Bridges bridges(medium, url, source, copy);
  if (error.empty()) error = pass_first_record(copy, followers);
  if (error.empty()) result = measure(source, copy, bridges);
  std::string ended = bridges.stop_both();
  if (error.empty()) error = ended;
  if (result.error.empty()) result.error = error;
  return result;
}

// Records per second that Write alone takes, in one process, on a new
// channel of the medium.
double write_per_second(const Medium& medium, int32_t records) {
  Channel channel(medium);
  double started = now_s();
  for (int32_t n = 1; n <= records; ++n) {
    channel.writer.staged.ticket = n;
    if (!master_write(channel.writer)) return 0;
  }
  return records / (now_s() - started);
}

// `records` written on A before the bridges start: seconds from their start
// until B holds the last.
Carry carry_waiting(const Medium& medium, const std::string& url, int32_t records) {
  Carry result;
  Channel source(medium), copy(medium);
  for (int32_t n = 1; n <= records && result.error.empty(); ++n) {
    source.writer.staged.ticket = n;
    if (!master_write(source.writer)) result.error = source.writer.error.message;
  }
  source.writer.counter.close();
  copy.writer.counter.close();
  if (!result.error.empty()) return result;
  double started = now_s();
  Bridges bridges(medium, url, source, copy);
  FollowerState watch;
  follower_init(watch, copy.root.c_str(), "watch", copy.master.c_str());
  if (watch.error.code != 0) result.error = watch.error.message;
  while (result.error.empty() && follower_published(watch) < records) {
    if (now_s() - started > kWaitingSeconds) result.error = "the waiting records did not all reach B";
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  result.seconds = now_s() - started;
  std::string ended = bridges.stop_both();
  if (result.error.empty()) result.error = ended;
  return result;
}

struct Idle {
  double out_percent = 0, in_percent = 0;
  std::string error;
};

// The two bridges' processor time while nothing comes, as a share of one core.
Idle measure_idle(const Medium& medium, const std::string& url, double seconds) {
  return across<Idle>(medium, url, 1, [&](const Channel&, const Channel&, const Bridges& bridges) {
    Idle idle;
    double out = cpu_seconds(bridges.out_pid()), in = cpu_seconds(bridges.in_pid());
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    idle.out_percent = 100 * (cpu_seconds(bridges.out_pid()) - out) / seconds;
    idle.in_percent = 100 * (cpu_seconds(bridges.in_pid()) - in) / seconds;
    return idle;
  });
}

BridgeRuns measure_runs(const Medium& medium, const std::string& url, int32_t latency_records,
                        int32_t throughput_records, std::vector<std::string>& errors) {
  BridgeRuns runs;
  std::fprintf(stderr, "through the bridge on %s: latency over %d records, throughput of %d records\n",
               medium.label.c_str(), static_cast<int>(latency_records), static_cast<int>(throughput_records));
  runs.jetstream_latency = measure_jetstream_latency(url, latency_records);
  runs.latency = across<Latency>(medium, url, 1, [&](const Channel& source, const Channel& copy, const Bridges&) {
    return measure_latency_across(source, copy, latency_records, true);
  });
  runs.write_per_second = write_per_second(medium, throughput_records);
  runs.throughput = across<Throughput>(medium, url, 1, [&](const Channel& source, const Channel& copy, const Bridges&) {
    return measure_throughput_across(source, copy, throughput_records, 1);
  });
  for (const std::string* error : {&runs.jetstream_latency.error, &runs.latency.error, &runs.throughput.error})
    if (!error->empty()) errors.push_back(medium.label + ": " + *error);
  if (runs.write_per_second == 0) errors.push_back(medium.label + ": Write alone failed");
  return runs;
}

// A server storing on the medium; empty when it answers.
std::string start_server(test::NatsServer& server) {
  if (server.start()) return "";
  std::string said = test::read_text(server.log_path() + ".err");
  return "nats-server did not answer /healthz within 30 s" + (said.empty() ? "" : ": " + said.substr(0, said.find('\n')));
}

}  // namespace

BridgeFigures measure_bridge(const Medium& tmpfs, const Medium& disk, const BridgePlan& plan) {
  BridgeFigures figures;
  if (test::nats_server_program().empty()) {
    figures.skipped = "no nats-server found (apt-get install nats-server)";
    return figures;
  }
  {
    test::NatsServer server(tmpfs.base);
    std::string failed = start_server(server);
    if (!failed.empty()) {
      figures.errors.push_back(failed);
      return figures;
    }
    figures.tmpfs = measure_runs(tmpfs, server.url(), plan.latency_records, plan.throughput_records, figures.errors);
    std::fprintf(stderr, "through the bridge on tmpfs: %d waiting records, then idle for %g s\n",
                 static_cast<int>(plan.waiting_records), plan.idle_seconds);
    figures.jetstream_waiting = measure_jetstream_carry(server.url(), plan.waiting_records);
    figures.waiting = carry_waiting(tmpfs, server.url(), plan.waiting_records);
    Idle idle = measure_idle(tmpfs, server.url(), plan.idle_seconds);
    figures.idle_out_percent = idle.out_percent;
    figures.idle_in_percent = idle.in_percent;
    for (const std::string* error : {&figures.jetstream_waiting.error, &figures.waiting.error, &idle.error})
      if (!error->empty()) figures.errors.push_back("tmpfs: " + *error);
  }
  test::NatsServer server(disk.base);
  std::string failed = start_server(server);
  if (!failed.empty()) {
    figures.errors.push_back(failed);
    return figures;
  }
  figures.disk = measure_runs(disk, server.url(), plan.disk_records, plan.disk_records, figures.errors);
  return figures;
}

}  // namespace zeb::bench
