#include "bridge_fixture.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "master.h"
#include "support/sample_record.h"

namespace zeb::test {

std::string hex_id(const std::string& name) {
  std::string id;
  char digits[3];
  for (unsigned char byte : name) {
    std::snprintf(digits, sizeof digits, "%02x", byte);
    id += digits;
  }
  return id;
}

std::map<int, std::vector<unsigned char>> whole_records(const std::string& master_dir) {
  std::map<int, std::vector<unsigned char>> records;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(master_dir, ignored)) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos || !entry.is_regular_file()) continue;
    std::vector<unsigned char> bytes = read_bytes(entry.path().string());
    if (bytes.size() == sizeof(TradeRecord)) records[std::stoi(name)] = bytes;
  }
  return records;
}

void expect_same_records(const std::string& master_dir_a, const std::string& master_dir_b) {
  auto a = whole_records(master_dir_a);
  auto b = whole_records(master_dir_b);
  EXPECT_EQ(a.size(), b.size());
  for (auto ai = a.begin(), bi = b.begin(); ai != a.end() && bi != b.end(); ++ai, ++bi) {
    ASSERT_EQ(ai->first, bi->first) << "the copy's records are numbered differently";
    ASSERT_EQ(ai->second, bi->second) << "record " << ai->first << " differs";
  }
}

PacedMaster::PacedMaster(const std::string& root, const std::string& master, int count, double seconds,
                         int gaps)
    : thread_([=] { run(root, master, count, seconds, gaps); }) {}

PacedMaster::~PacedMaster() {
  join();
}

void PacedMaster::join() {
  if (thread_.joinable()) thread_.join();
}

void PacedMaster::run(const std::string& root, const std::string& master, int count, double seconds,
                      int gaps) {
  auto state = std::make_unique<MasterState>();
  EXPECT_TRUE(master_init(*state, root.c_str(), master.c_str())) << state->error.message;
  auto step = std::chrono::duration<double>(seconds / count);
  auto start = std::chrono::steady_clock::now();
  for (int n = 1; n <= count && state->counter.is_open(); ++n) {
    if (gaps > 0 && n % (count / (gaps + 1)) == 0 && n / (count / (gaps + 1)) <= gaps) {
      Path empty = state->paths.record(state->count + 2);
      state = std::make_unique<MasterState>();
      write_bytes(empty.c_str(), "", 0);
      // A bridge this process is starting holds the claim of the master
      // closed just now between its fork and its exec; it lets go at once.
      EXPECT_TRUE(eventually([&] { return master_init(*state, root.c_str(), master.c_str()); }, 5))
          << state->error.message;
    }
    std::this_thread::sleep_until(start + n * step);
    state->staged = sample_record(n);
    EXPECT_TRUE(master_write(*state)) << state->error.message;
  }
  done_ = true;
}

BridgeTest::~BridgeTest() {
  for (int pid : children_) {
    if (::waitpid(pid, nullptr, WNOHANG) != 0) continue;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  // The name through which an out bridge claims the channel id.
  ::shm_unlink(("/zebbridge_" + channel).c_str());
}

std::vector<std::string> BridgeTest::out_args(const std::string& url, std::vector<std::string> extra) const {
  std::vector<std::string> args = {"out", root_a, master_a, "--server", url};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

std::vector<std::string> BridgeTest::in_args(const std::string& url, std::vector<std::string> extra) const {
  std::vector<std::string> args = {"in", root_b, master_b, "--server", url, "--channel", channel};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

int BridgeTest::start_bridge(const std::string& name, std::vector<std::string> args) const {
  args.insert(args.begin(), ZEBBRIDGE);
  children_.push_back(spawn_logged(args, log(name) + ".out", log(name) + ".err"));
  return children_.back();
}

CommandResult BridgeTest::bridge(std::vector<std::string> args) const {
  args.insert(args.begin(), ZEBBRIDGE);
  return run_command(args);
}

void BridgeTest::write_records(const std::string& root, const std::string& master, int count, int first) {
  MasterState writer;
  ASSERT_TRUE(master_init(writer, root.c_str(), master.c_str())) << writer.error.message;
  for (int n = first; n < first + count; ++n) {
    writer.staged = sample_record(n);
    ASSERT_TRUE(master_write(writer)) << writer.error.message;
  }
}

void BridgeTest::carry_then_end_in(const std::string& url, int count, int* out) {
  write_records(root_a, master_a, count);
  *out = start_bridge("out", out_args(url));
  int in = start_bridge("in", in_args(url));
  ASSERT_TRUE(eventually([&] { return position_is(count); }, 30)) << read_text(log("in") + ".err");
  terminate(in, "in");
}

bool BridgeTest::position_is(uint64_t sequence) const {
  std::string path = master_dir_b() + "/bridge.position";
  return exists(path) && read_text(path) == channel + " " + std::to_string(sequence) + "\n";
}

void BridgeTest::terminate(int pid, const std::string& name, int signal) const {
  ::kill(pid, signal);
  EXPECT_EQ(wait_for(pid, 20), 0) << name << ": " << read_text(log(name) + ".err");
}

void BridgeTest::make_certificate(const std::string& certificate, const std::string& key) const {
  CommandResult made = run_command({"/usr/bin/env", "openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                                    "1", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                    "-keyout", key, "-out", certificate});
  ASSERT_EQ(made.status, 0) << made.err;
}

int BridgeTest::start_far_follower(int count) const {
  children_.push_back(start_peer_follower(root_b, "far", master_b, count, log("far")));
  return children_.back();
}

void BridgeTest::expect_far_follower_complete(int count) const {
  EXPECT_EQ(expect_complete_in_order(logged_numbers(log("far")), count, "B's follower"), 0)
      << "records delivered twice";
}

}  // namespace zeb::test
