#include "cross_process.h"

#include <sched.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "zeb/zeb_dynload.h"

namespace zeb::bench {

namespace {

constexpr int kMaxFollowers = 8;
// A process still running after this long gives up, and so do the others.
constexpr int64_t kTimeoutNs = 300'000'000'000;

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// What the processes of one run share. It lives in an anonymous shared
// mapping made before they fork, followed by two arrays with one time per
// record: when its Write returned and when a follower's Read returned it.
struct Board {
  std::atomic<int32_t> failed;
  std::atomic<int32_t> ready;      // followers bound to the channel
  std::atomic<int32_t> taken;      // the newest record a follower took
  std::atomic<int32_t> counter;    // the bare counter that stands for the channel in the floor
  std::atomic<int64_t> started_ns;
  std::atomic<int64_t> finished_ns[kMaxFollowers];  // each follower's Commit of the last record

  int64_t* written_ns() { return reinterpret_cast<int64_t*>(this + 1); }
  int64_t* read_ns(int32_t records) { return written_ns() + records + 1; }
};

class SharedBoard {
 public:
  explicit SharedBoard(int32_t records)
      : size_(sizeof(Board) + 2 * (static_cast<size_t>(records) + 1) * sizeof(int64_t)),
        memory_(::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0)) {}
  ~SharedBoard() {
    if (memory_ != MAP_FAILED) ::munmap(memory_, size_);
  }
  SharedBoard(const SharedBoard&) = delete;
  SharedBoard& operator=(const SharedBoard&) = delete;
  Board* get() const { return memory_ == MAP_FAILED ? nullptr : static_cast<Board*>(memory_); }

 private:
  size_t size_;
  void* memory_;
};

// Tells the other processes to stop, and why; returns the exit status.
int give_up(Board& board, const char* who, const std::string& why) {
  board.failed.store(1);
  std::fprintf(stderr, "%s: %s\n", who, why.c_str());
  return 1;
}

// Waits for `done`, yielding the processor; false if the run failed or timed out.
bool wait_until(Board& board, const std::function<bool()>& done) {
  int64_t deadline = now_ns() + kTimeoutNs;
  while (!done()) {
    if (board.failed.load() != 0 || now_ns() > deadline) return false;
    ::sched_yield();
  }
  return true;
}

// How a follower takes the next record: its number, with the time its read
// returned in `read_at`; 0 when nothing is new; -1 after give_up.
using Take = std::function<int32_t(int64_t& read_at)>;
using Arrival = std::function<void(int32_t number, int64_t read_at)>;

// A follower's poll loop: takes records until record `records`, checking
// that they arrive in order; `arrived` runs after each.
int follow(int32_t records, bool yield_when_idle, Board& board, const Take& take, const Arrival& arrived) {
  int64_t deadline = now_ns() + kTimeoutNs;
  uint32_t polls = 0;
  for (int32_t last = 0; last < records;) {
    int64_t read_at = 0;
    int32_t number = take(read_at);
    if (number < 0) return 1;
    if (number > 0) {
      if (number != last + 1)
        return give_up(board, "follower", "record " + std::to_string(number) + " after " + std::to_string(last));
      arrived(number, read_at);
      last = number;
      continue;
    }
    if (yield_when_idle) ::sched_yield();
    if ((++polls & 0xfff) == 0 && (board.failed.load() != 0 || now_ns() > deadline))
      return give_up(board, "follower", "stopped before the last record");
  }
  return 0;
}

// A follower process on the channel: each record is one Read and one Commit.
int follow_channel(const Channel& channel, const std::string& name, int32_t records, bool yield_when_idle,
                   Board& board, const Arrival& arrived) {
  const char* who = "follower";
  // Loaded as a host loads it, and left loaded: the process exits after its run.
  zebfollower_api library;
  if (const char* missing = zebfollower_load(&library, ZEB_FOLLOWER_LIBRARY))
    return give_up(board, who, std::string("could not bind ") + missing);
  auto init = library.Init;
  auto read = library.Read;
  auto commit = library.Commit;
  auto ticket = library.GetTicket;
  auto error_code = library.ErrorCode;
  auto error_message = library.ErrorMsg;
  if (init(channel.root.c_str(), name.c_str(), channel.master.c_str()) != 1)
    return give_up(board, who, error_message());
  board.ready.fetch_add(1);
  auto failed = [&] {
    give_up(board, who, error_message());
    return -1;
  };
  return follow(records, yield_when_idle, board, [&](int64_t& read_at) {
    if (read() != 1) return error_code() == 0 ? 0 : failed();
    read_at = now_ns();
    int32_t number = ticket();
    return commit() == 1 ? number : failed();
  }, arrived);
}

// How a master publishes record n; false after give_up.
using Put = std::function<bool(int32_t number)>;
using Written = std::function<bool(int32_t number, int64_t written_at)>;

// A master's loop: once every follower is ready, puts records 1 to
// `records`; `written` runs after each and may hold the next one back
// (false: give up).
int publish(int32_t records, int followers, Board& board, const Put& put, const Written& written) {
  if (!wait_until(board, [&] { return board.ready.load() == followers; }))
    return give_up(board, "master", "the followers never came");
  board.started_ns.store(now_ns());
  for (int32_t n = 1; n <= records; ++n) {
    if (!put(n)) return 1;
    if (!written(n, now_ns())) return give_up(board, "master", "stopped before the last record");
  }
  return 0;
}

// The master process on the channel: each record is one Write carrying its
// number as ticket.
int publish_channel(const Channel& channel, int32_t records, int followers, Board& board,
                    const Written& written) {
  const char* who = "master";
  zebmaster_api library;
  if (const char* missing = zebmaster_load(&library, ZEB_MASTER_LIBRARY))
    return give_up(board, who, std::string("could not bind ") + missing);
  auto init = library.Init;
  auto set_ticket = library.SetTicket;
  auto write = library.Write;
  auto error_message = library.ErrorMsg;
  if (init(channel.root.c_str(), channel.master.c_str()) != 1) return give_up(board, who, error_message());
  return publish(records, followers, board, [&](int32_t n) {
    set_ticket(n);
    if (write() == 1) return true;
    give_up(board, who, error_message());
    return false;
  }, written);
}

pid_t start(const std::function<int()>& body) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  // The child leaves without running the parent's exit handlers.
  if (pid == 0) ::_exit(body());
  return pid;
}

// Empty when every process exited with status 0.
std::string wait_all(const std::vector<pid_t>& pids) {
  std::string error;
  for (pid_t pid : pids) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
      error = "a master or follower process failed";
  }
  return error;
}

using FollowerSide = std::function<int(Board& board, const Arrival& arrived)>;
using MasterSide = std::function<int(Board& board, const Written& written)>;

// A master of the latency runs rests this long after each record was
// taken, so both runs, the channel's and the bare counter's, last about as
// long and meet as many of the machine's interruptions.
constexpr std::chrono::microseconds kPause{100};

// One follower process and one master process that puts each record only
// once the follower has taken the one before, and a pause later; the
// latency of each record runs from its `written` to its `arrived`.
Latency ping_pong(int32_t records, const FollowerSide& follower, const MasterSide& master) {
  Latency result;
  SharedBoard shared(records);
  Board* board = shared.get();
  if (board == nullptr) {
    result.error = "no shared memory for the run";
    return result;
  }
  int64_t* written_ns = board->written_ns();
  int64_t* read_ns = board->read_ns(records);
  std::vector<pid_t> pids;
  pids.push_back(start([&] {
    return follower(*board, [&](int32_t n, int64_t read_at) {
      read_ns[n] = read_at;
      board->taken.store(n);
    });
  }));
  pids.push_back(start([&] {
    return master(*board, [&](int32_t n, int64_t written_at) {
      written_ns[n] = written_at;
      if (!wait_until(*board, [&] { return board->taken.load() == n; })) return false;
      std::this_thread::sleep_for(kPause);
      return true;
    });
  }));
  result.error = wait_all(pids);
  if (!result.error.empty()) return result;

  std::vector<double> latencies;
  for (int32_t n = 1; n <= records; ++n) latencies.push_back(static_cast<double>(read_ns[n] - written_ns[n]));
  std::sort(latencies.begin(), latencies.end());
  result.median_ns = latencies[latencies.size() / 2];
  result.p99_ns = latencies[(latencies.size() * 99 + 99) / 100 - 1];
  result.max_ns = latencies.back();
  return result;
}

}  // namespace

Latency measure_latency(const Medium& medium, int32_t records) {
  Channel channel(medium);
  // One master per name: the master process below takes it over.
  channel.writer.counter.close();
  return measure_latency_across(channel, channel, records, false);
}

Latency measure_latency_across(const Channel& source, const Channel& copy, int32_t records,
                               bool yield_when_idle) {
  return ping_pong(
      records,
      [&](Board& board, const Arrival& arrived) {
        return follow_channel(copy, follower_name(0), records, yield_when_idle, board, arrived);
      },
      [&](Board& board, const Written& written) {
        return publish_channel(source, records, 1, board, written);
      });
}

Latency measure_counter_latency(int32_t records) {
  return ping_pong(
      records,
      [&](Board& board, const Arrival& arrived) {
        board.ready.fetch_add(1);
        int32_t seen = 0;
        return follow(records, false, board, [&](int64_t& read_at) {
          int32_t number = board.counter.load();
          if (number == seen) return 0;
          read_at = now_ns();
          return seen = number;
        }, arrived);
      },
      [&](Board& board, const Written& written) {
        return publish(records, 1, board, [&](int32_t n) {
          board.counter.store(n);
          return true;
        }, written);
      });
}

Throughput measure_throughput(const Medium& medium, int32_t records, int followers) {
  Channel channel(medium);
  // One master per name: the master process below takes it over.
  channel.writer.counter.close();
  return measure_throughput_across(channel, channel, records, followers);
}

Throughput measure_throughput_across(const Channel& source, const Channel& copy, int32_t records, int followers) {
  Throughput result;
  SharedBoard shared(records);
  Board* board = shared.get();
  if (board == nullptr || followers > kMaxFollowers) {
    result.error = board == nullptr ? "no shared memory for the run" : "too many followers";
    return result;
  }
  std::vector<pid_t> pids;
  for (int i = 0; i < followers; ++i) {
    pids.push_back(start([&, i] {
      return follow_channel(copy, follower_name(i), records, true, *board, [&, i](int32_t n, int64_t) {
        if (n == records) board->finished_ns[i].store(now_ns());
      });
    }));
  }
  pids.push_back(start([&] {
    return publish_channel(source, records, followers, *board, [](int32_t, int64_t) { return true; });
  }));
  result.error = wait_all(pids);
  if (!result.error.empty()) return result;

  int64_t finished = 0;
  for (int i = 0; i < followers; ++i) finished = std::max(finished, board->finished_ns[i].load());
  result.per_second = records / ((finished - board->started_ns.load()) / 1e9);
  return result;
}

std::string follower_name(int i) {
  return "f" + std::to_string(i + 1);
}

}  // namespace zeb::bench
