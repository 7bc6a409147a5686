// zeb_bench: measures the channel against the floor of what it does and
// against SQLite, and prints one Markdown table in which every row is
// measured side by side with its references in the same run.
//
//   zeb_bench [--quick] [--bridge] [--plot FILE]
//     --quick      tiny channels and short runs: shows that every case runs
//                  and that the channel delivers, says nothing about speed
//     --bridge     only the rows through the bridge, with their references
//     --plot FILE  also writes the cost of Read+Commit against channel size
//                  on tmpfs, for bench/plot_read_cost.gp
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bridge.h"
#include "cases.h"
#include "cross_process.h"
#include "results.h"
#include "table.h"
#include "zebctl_runs.h"

namespace zeb::bench {
namespace {

struct Plan {
  std::vector<int32_t> tmpfs_sizes;  // channels for Read+Commit on tmpfs, smallest first
  int32_t disk_size;
  int32_t latency_records;
  int32_t throughput_records;
  int32_t disk_throughput_records;
  BridgePlan bridge;
  std::vector<int32_t> zebctl_sizes;  // channels zebctl follows and tails on tmpfs, smallest first
  int32_t zebctl_disk_size;
  int32_t zebctl_records;
  Timing timing;
};

const Plan kFull = {{1000, 10000, 100000}, 1000, 10000, 20000, 1000, {5000, 10000, 100000, 1000, 10},
                    {2000, 20000}, 2000, 1000, {0.2, 5}};
const Plan kQuick = {{10, 20, 40}, 10, 100, 100, 20, {20, 50, 200, 20, 0.5}, {20, 200}, 20, 10, {0.001, 1}};
constexpr int kFollowers = 4;

// Creating a file on the real disk costs so much more than on tmpfs that
// large channels live on tmpfs; the disk rows show the difference.
Medium tmpfs() {
  return {"tmpfs", "/dev/shm"};
}
Medium disk() {
  const char* tmpdir = std::getenv("TMPDIR");
  return {"disk", tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp"};
}

std::string count_text(int32_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
  return digits;
}

std::string first_line_of(const char* path, const char* prefix) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(prefix, 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown";
}

// The one-minute load average: how busy the machine was with other work.
std::string load_average() {
  std::string load;
  std::getline(std::ifstream("/proc/loadavg"), load);
  return load.substr(0, load.find(' '));
}

void print_preamble(const Plan& plan, bool quick, const std::string& load_at_start) {
  char date[32];
  std::time_t now = std::time(nullptr);
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
  std::printf("%sMeasured %s on %u cores (%s); load average %s at the start, %s at the end.\n",
              quick ? "QUICK RUN, tiny sizes, figures mean nothing. " : "", date,
              std::thread::hardware_concurrency(), first_line_of("/proc/cpuinfo", "model name").c_str(),
              load_at_start.c_str(), load_average().c_str());
  std::printf("tmpfs: %s; disk: %s. Costs are the median of %d repetitions of at least %g s each.\n\n",
              tmpfs().base.c_str(), disk().base.c_str(), plan.timing.repetitions, plan.timing.min_time);
}

struct Run {
  Plan plan;
  Results results;
  std::vector<std::string> errors;
  std::vector<std::string> notes;  // printed under the table
  // What the in-process cases work on; it must outlive the measurement.
  std::vector<std::unique_ptr<Channel>> channels;
  std::vector<std::unique_ptr<SqliteQueue>> peers;
  std::vector<std::unique_ptr<FilledChannel>> filled;

  double ns(const std::string& measure, const Medium& medium, int32_t size = 0) const {
    return results.nanoseconds(case_name(measure, medium, size));
  }
};

void register_cases(Run& run) {
  for (const Medium& medium : {tmpfs(), disk()}) {
    Channel& channel = *run.channels.emplace_back(std::make_unique<Channel>(medium));
    SqliteQueue& peer = *run.peers.emplace_back(std::make_unique<SqliteQueue>(channel.dir / "peer.db"));
    if (!peer.error().empty()) run.errors.push_back(peer.error());
    register_write_cases(medium, channel, peer, run.plan.timing);
  }
  register_idle_cases(disk(), *run.channels.emplace_back(std::make_unique<Channel>(disk())),
                      run.plan.timing);
  auto add_filled = [&](const Medium& medium, int32_t size) {
    FilledChannel& filled = *run.filled.emplace_back(std::make_unique<FilledChannel>(medium, size));
    if (!filled.error.empty()) run.errors.push_back(filled.error);
    register_read_cases(medium, filled, run.plan.timing);
  };
  for (int32_t size : run.plan.tmpfs_sizes) add_filled(tmpfs(), size);
  add_filled(disk(), run.plan.disk_size);
}

std::vector<Row> cost_rows(const Run& run) {
  std::vector<Row> rows;
  for (const Medium& medium : {tmpfs(), disk()})
    rows.push_back({"Write per record", medium.label, run.ns("write", medium), Unit::nanoseconds,
                    {{"floor: create+write+close record, index via temp+rename", run.ns("write_floor", medium), 1.5},
                     {"SQLite publish (INSERT)", run.ns("sqlite_publish", medium)}}});
  rows.push_back({"Read, nothing new", disk().label, run.ns("idle", disk()), Unit::nanoseconds,
                  {{"floor: 3 stat + 1 atomic load", run.ns("idle_floor", disk()), 2}}});
  rows.push_back({"Read, nothing new, through the library", disk().label, run.ns("idle_library", disk()),
                  Unit::nanoseconds,
                  {{"floor: 3 stat + 1 atomic load", run.ns("idle_floor", disk()), 1.1},
                   {"Read of the logic, no export and no lock", run.ns("idle", disk())}}});

  auto read_row = [&](const Medium& medium, int32_t size) {
    Row row = {"Read+Commit per record, " + count_text(size) + " records", medium.label,
               run.ns("read", medium, size), Unit::nanoseconds,
               {{"floor: open+read+close record, index via temp+rename", run.ns("read_floor", medium, size), 2}}};
    int32_t smallest = run.plan.tmpfs_sizes.front();
    if (medium.label == tmpfs().label && size != smallest)
      row.references.push_back({"the same at " + count_text(smallest) + " records",
                                run.ns("read", medium, smallest), size == run.plan.tmpfs_sizes.back() ? 1.5 : 0});
    row.references.push_back({"listing route", run.ns("read_listing", medium, size)});
    row.references.push_back({"SQLite consume (SELECT next + UPDATE cursor)", run.ns("sqlite_consume", medium, size)});
    rows.push_back(row);
  };
  for (int32_t size : run.plan.tmpfs_sizes) read_row(tmpfs(), size);
  read_row(disk(), run.plan.disk_size);
  return rows;
}

// zebctl follow and tail as programs, per record, on channels of two sizes
// on tmpfs and one on disk: the larger channel within 1.5x of the smaller.
void add_zebctl_rows(Run& run, std::vector<Row>& rows) {
  const Plan& plan = run.plan;
  int32_t records = plan.zebctl_records;
  auto row = [&](const Medium& medium, int32_t size, const ZebctlCosts& costs, const ZebctlCosts* smaller) {
    if (!costs.error.empty()) run.errors.push_back("zebctl: " + costs.error);
    std::string of = count_text(records) + " of a " + count_text(size) + "-record channel";
    int32_t read_size = medium.label == tmpfs().label ? plan.tmpfs_sizes.front() : plan.disk_size;
    for (bool follow : {true, false}) {
      Row added = {std::string(follow ? "zebctl follow" : "zebctl tail --from 1") + " per record, " + of,
                   medium.label, follow ? costs.follow_ns : costs.tail_ns, Unit::nanoseconds, {}};
      if (smaller != nullptr)
        added.references.push_back({"the same on a " + count_text(plan.zebctl_sizes.front()) + "-record channel",
                                    follow ? smaller->follow_ns : smaller->tail_ns, 1.5});
      added.references.push_back({"Read+Commit of the logic, " + count_text(read_size) + " records",
                                  run.ns("read", medium, read_size)});
      rows.push_back(added);
    }
  };
  ZebctlCosts smallest;
  for (int32_t size : plan.zebctl_sizes) {
    ZebctlCosts costs = measure_zebctl(tmpfs(), size, records, plan.timing.repetitions);
    row(tmpfs(), size, costs, size == plan.zebctl_sizes.front() ? nullptr : &smallest);
    if (size == plan.zebctl_sizes.front()) smallest = costs;
  }
  row(disk(), plan.zebctl_disk_size, measure_zebctl(disk(), plan.zebctl_disk_size, records, plan.timing.repetitions),
      nullptr);
}

// Through zebbridge between two roots, on tmpfs and on disk, each beside
// its reference from the same run: JetStream alone on the same server, and
// Write alone on the same medium.
void add_bridge_rows(Run& run, std::vector<Row>& rows) {
  const BridgePlan& plan = run.plan.bridge;
  BridgeFigures bridge = measure_bridge(tmpfs(), disk(), plan);
  if (!bridge.skipped.empty()) {
    run.notes.push_back("The rows through the bridge were not measured: " + bridge.skipped + ".");
    return;
  }
  for (const std::string& error : bridge.errors) run.errors.push_back("bridge: " + error);
  const std::string alone = "JetStream alone, publish to delivery";
  for (const Medium& medium : {tmpfs(), disk()}) {
    bool on_tmpfs = medium.label == tmpfs().label;
    const BridgeRuns& runs = on_tmpfs ? bridge.tmpfs : bridge.disk;
    int32_t records = on_tmpfs ? plan.latency_records : plan.disk_records;
    int32_t carried = on_tmpfs ? plan.throughput_records : plan.disk_records;
    std::string label = medium.label + ", loopback";
    rows.push_back({"Write on A to Read on B through the bridge, median (" + count_text(records) + " records)", label,
                    runs.latency.median_ns, Unit::nanoseconds,
                    {{alone, runs.jetstream_latency.median_ns, on_tmpfs ? 2.0 : 0}}});
    rows.push_back({"Write on A to Read on B through the bridge, 99th percentile", label, runs.latency.p99_ns,
                    Unit::nanoseconds, {{alone, runs.jetstream_latency.p99_ns}}});
    rows.push_back({"Records/s from A to B through the bridge (" + count_text(carried) + " records)", label,
                    runs.throughput.per_second, Unit::per_second,
                    {{"Write alone, in one process", runs.write_per_second, 0, on_tmpfs ? 0.8 : 0}}});
    if (!on_tmpfs) continue;
    Row waiting = {count_text(plan.waiting_records) + " waiting records carried from A to B", label,
                   bridge.waiting.seconds, Unit::seconds,
                   {{"JetStream alone, as many messages published and delivered", bridge.jetstream_waiting.seconds}}};
    waiting.max_value = 5;
    rows.push_back(waiting);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", plan.idle_seconds);
    for (bool out : {true, false}) {
      Row idle = {std::string("Idle ") + (out ? "out" : "in") + " bridge, share of a core (over " + seconds + " s)",
                  label, out ? bridge.idle_out_percent : bridge.idle_in_percent, Unit::percent, {}};
      idle.max_value = 2;
      rows.push_back(idle);
    }
  }
}

void add_process_rows(Run& run, std::vector<Row>& rows) {
  int32_t records = run.plan.latency_records;
  for (const Medium& medium : {tmpfs(), disk()}) {
    std::fprintf(stderr, "latency over %d records on %s, and of a bare counter\n", static_cast<int>(records),
                 medium.label.c_str());
    Latency bare = measure_counter_latency(records);
    Latency latency = measure_latency(medium, records);
    for (const Latency* measured : {&bare, &latency})
      if (!measured->error.empty()) run.errors.push_back("latency: " + measured->error);
    std::string bare_label = "bare shared counter between two processes";
    Row median = {"Write to Read latency, median (" + count_text(records) + " records)", medium.label,
                  latency.median_ns, Unit::nanoseconds, {{bare_label, bare.median_ns}}};
    if (medium.label == tmpfs().label) median.max_value = 50000;
    rows.push_back(median);
    rows.push_back({"Write to Read latency, 99th percentile", medium.label, latency.p99_ns,
                    Unit::nanoseconds, {{bare_label, bare.p99_ns}}});
    rows.push_back({"Write to Read latency, maximum", medium.label, latency.max_ns, Unit::nanoseconds,
                    {{bare_label, bare.max_ns}}});
  }
  for (const Medium& medium : {tmpfs(), disk()}) {
    int32_t records = medium.label == tmpfs().label ? run.plan.throughput_records : run.plan.disk_throughput_records;
    std::fprintf(stderr, "throughput of %d records to %d followers on %s\n", static_cast<int>(records),
                 kFollowers, medium.label.c_str());
    Throughput throughput = measure_throughput(medium, records, kFollowers);
    if (!throughput.error.empty()) run.errors.push_back("throughput: " + throughput.error);
    rows.push_back({"Records/s to all of 1 master + 4 followers (" + count_text(records) + " records)",
                    medium.label, throughput.per_second, Unit::per_second,
                    {{"Write alone, in one process", 1e9 / run.ns("write", medium)}}});
  }
  add_bridge_rows(run, rows);
}

void write_plot_data(const Run& run, const char* path) {
  std::FILE* out = std::fopen(path, "w");
  if (out == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", path);
    return;
  }
  std::fprintf(out, "# records  direct_us  listing_us  floor_us  sqlite_us  (Read+Commit per record, tmpfs)\n");
  for (int32_t size : run.plan.tmpfs_sizes)
    std::fprintf(out, "%d %.3f %.3f %.3f %.3f\n", static_cast<int>(size), run.ns("read", tmpfs(), size) / 1000,
                 run.ns("read_listing", tmpfs(), size) / 1000, run.ns("read_floor", tmpfs(), size) / 1000,
                 run.ns("sqlite_consume", tmpfs(), size) / 1000);
  std::fclose(out);
}

int main(int argc, char** argv) {
  bool quick = false;
  bool bridge_only = false;
  const char* plot = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else if (std::strcmp(argv[i], "--bridge") == 0) {
      bridge_only = true;
    } else if (std::strcmp(argv[i], "--plot") == 0 && i + 1 < argc) {
      plot = argv[++i];
    } else {
      std::fprintf(stderr, "usage: zeb_bench [--quick] [--bridge] [--plot FILE]\n");
      return 2;
    }
  }
  std::string load_at_start = load_average();
  Run run;
  run.plan = quick ? kQuick : kFull;

  // Repetitions of different cases take turns in random order, so a
  // neighbour's load falls on a row and its references alike.
  std::vector<std::string> flags = {argv[0], "--benchmark_enable_random_interleaving=true"};
  std::vector<char*> flag_pointers;
  for (std::string& flag : flags) flag_pointers.push_back(flag.data());
  int flag_count = static_cast<int>(flag_pointers.size());
  benchmark::Initialize(&flag_count, flag_pointers.data());

  std::vector<Row> rows;
  if (bridge_only) {
    add_bridge_rows(run, rows);
  } else {
    register_cases(run);
    benchmark::RunSpecifiedBenchmarks(&run.results);
    for (const std::string& error : run.results.errors()) run.errors.push_back(error);
    rows = cost_rows(run);
    add_zebctl_rows(run, rows);
    add_process_rows(run, rows);
  }

  print_preamble(run.plan, quick, load_at_start);
  print_table(stdout, rows);
  for (const std::string& note : run.notes) std::printf("\n%s\n", note.c_str());
  if (plot != nullptr && !bridge_only) write_plot_data(run, plot);
  for (const std::string& error : run.errors) std::fprintf(stderr, "error: %s\n", error.c_str());
  return run.errors.empty() ? 0 : 1;
}

}  // namespace
}  // namespace zeb::bench

int main(int argc, char** argv) {
  return zeb::bench::main(argc, argv);
}
