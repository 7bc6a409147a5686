#include "cases.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "floor.h"
#include "follower.h"
#include "record_files.h"
#include "zeb/zeb_dynload.h"

namespace zeb::bench {

namespace {

template <typename Body>
void add(const std::string& name, const Timing& timing, Body body) {
  benchmark::RegisterBenchmark(name.c_str(), body)
      ->Unit(benchmark::kNanosecond)
      ->UseRealTime()
      ->MinTime(timing.min_time)
      ->Repetitions(timing.repetitions)
      ->ReportAggregatesOnly(timing.repetitions > 1);
}

// Where the floor of an operation keeps its files: a directory laid out like
// a master directory, beside the channel's.
struct FloorFiles {
  explicit FloorFiles(const std::string& directory)
      : directory(directory), index(directory + "/system/floor"), temp(directory + "/system/.floortmp") {
    std::filesystem::create_directories(directory + "/system");
  }
  // The record file for number n.
  const char* record(int32_t n) {
    std::snprintf(path, sizeof path, "%s/%06d", directory.c_str(), static_cast<int>(n));
    return path;
  }

  std::string directory, index, temp;
  char path[4096];
  int32_t count = 0;
};

// A follower bound to the channel, under its own name.
std::shared_ptr<FollowerState> follower_of(Channel& channel, const char* name) {
  auto follower = std::make_shared<FollowerState>();
  follower_init(*follower, channel.root.c_str(), name, channel.master.c_str());
  return follower;
}

}  // namespace

std::string case_name(const std::string& measure, const Medium& medium, int32_t size) {
  return measure + (size > 0 ? "/" + std::to_string(size) : "") + "/" + medium.label;
}

void register_write_cases(const Medium& medium, Channel& channel, SqliteQueue& peer,
                          const Timing& timing) {
  add(case_name("write", medium), timing, [&channel](benchmark::State& state) {
    MasterState& writer = channel.writer;
    for (auto _ : state) {
      ++writer.staged.ticket;
      if (master_write(writer) != 1) {
        state.SkipWithError(writer.error.message);
        break;
      }
    }
  });
  auto floor = std::make_shared<FloorFiles>(channel.dir / "floor");
  add(case_name("write_floor", medium), timing, [floor](benchmark::State& state) {
    TradeRecord record = {};
    for (auto _ : state) {
      int32_t n = ++floor->count;
      record.ticket = n;
      if (!put_file(floor->record(n), &record, sizeof record) ||
          !put_index(floor->temp.c_str(), floor->index.c_str(), n)) {
        state.SkipWithError("the floor of Write failed");
        break;
      }
    }
  });
  add(case_name("sqlite_publish", medium), timing, [&peer](benchmark::State& state) {
    TradeRecord record = {};
    for (auto _ : state) {
      ++record.ticket;
      if (!peer.publish(record)) {
        state.SkipWithError(peer.error().c_str());
        break;
      }
    }
  });
}

void register_idle_cases(const Medium& medium, Channel& channel, const Timing& timing) {
  auto follower = follower_of(channel, "idle");
  add(case_name("idle", medium), timing, [follower](benchmark::State& state) {
    for (auto _ : state) {
      if (follower_read(*follower) != 0 || follower->error.code != 0) {
        state.SkipWithError("an idle Read found something");
        break;
      }
    }
  });
  // The same poll as a host makes it: the follower library's Read, bound by
  // name, which takes the library's lock around the call.
  zebfollower_api library;  // loaded for the run
  bool bound = zebfollower_load(&library, ZEB_FOLLOWER_LIBRARY) == nullptr &&
               library.Init(channel.root.c_str(), "idle_library", channel.master.c_str()) == 1;
  auto read = library.Read;
  add(case_name("idle_library", medium), timing, [bound, read](benchmark::State& state) {
    if (!bound) state.SkipWithError("the follower library could not be loaded and bound");
    for (auto _ : state) {
      if (read() != 0) {
        state.SkipWithError("an idle Read found something");
        break;
      }
    }
  });
  add(case_name("idle_floor", medium), timing, [&channel, follower](benchmark::State& state) {
    std::string master_dir = channel.master_dir(), system_dir = channel.system_dir();
    for (auto _ : state) {
      bool found = stat_three(channel.root.c_str(), master_dir.c_str(), system_dir.c_str());
      benchmark::DoNotOptimize(follower->counter.read());
      if (!found) {
        state.SkipWithError("a channel directory is missing");
        break;
      }
    }
  });
}

void register_read_cases(const Medium& medium, FilledChannel& filled, const Timing& timing) {
  // From the middle onwards, back to the middle at the end: the average
  // position over a whole drain, where the listing sorts half the channel.
  int32_t size = filled.size, middle = filled.size / 2;
  auto drain = [&, size, middle](const char* measure, auto read) {
    auto follower = follower_of(filled.channel, measure);
    add(case_name(measure, medium, size), timing, [=](benchmark::State& state) {
      follower->cursor = follower->pending = middle;
      for (auto _ : state) {
        if (!read(*follower) || follower_commit(*follower) != 1) {
          state.SkipWithError(follower->error.message[0] != '\0' ? follower->error.message : "no record found");
          break;
        }
        if (follower->cursor == size) follower->cursor = middle;
      }
    });
  };
  drain("read", [](FollowerState& follower) { return follower_read(follower) == 1; });
  // The same walk with every record found by listing the master directory.
  drain("read_listing", [](FollowerState& follower) {
    Path path;
    return load_record_by_listing(follower.paths, follower.cursor, follower.counter.read(), follower.received,
                                  follower.pending, path) == NextRecord::loaded;
  });

  auto floor = std::make_shared<FloorFiles>(filled.channel.master_dir());
  add(case_name("read_floor", medium, size), timing, [=](benchmark::State& state) {
    TradeRecord record;
    int32_t cursor = middle;
    for (auto _ : state) {
      ++cursor;
      if (!get_file(floor->record(cursor), &record, sizeof record) ||
          !put_index(floor->temp.c_str(), floor->index.c_str(), cursor)) {
        state.SkipWithError("the floor of Read+Commit failed");
        break;
      }
      if (cursor == size) cursor = middle;
    }
  });

  SqliteQueue& peer = filled.peer;
  peer.join("reader");
  add(case_name("sqlite_consume", medium, size), timing, [&peer, size, middle](benchmark::State& state) {
    TradeRecord record;
    int32_t cursor = middle;
    for (auto _ : state) {
      if (!peer.consume("reader", cursor, record)) {
        state.SkipWithError(peer.error().c_str());
        break;
      }
      if (cursor == size) cursor = middle;
    }
  });
}

}  // namespace zeb::bench
