// zeb demo: a master trading program and two followers carry a short stream
// of trades end to end, each a separate process. The master loads the master
// library as a host does; each follower is `zebctl follow`, a real follower
// through the follower library. One follower is killed midway and restarted:
// it resumes after the last record it committed. zebctl status shows where
// everyone stands, and zebctl publish sends a last test trade.
//
//   zeb_demo [ROOT]      ROOT defaults to a fresh temporary directory; each run
//                        makes a channel of its own there
#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "record_text.h"
#include "trade_record.h"
#include "zeb/zeb_dynload.h"

namespace {

// The host programs' own convention for the Cmd and Type fields; the
// channel carries them without looking.
enum Cmd { kOpen = 1, kModify = 2, kClose = 3 };
const char* const kCmdNames[] = {"?", "OPEN", "MODIFY", "CLOSE"};

struct Trade {
  int cmd;
  int ticket;
  int type;  // 0 buy, 1 sell
  const char* symbol;
  double lot, open_price, sl, tp, close_price;
};

const Trade kScript[] = {
    {kOpen, 5001, 0, "EURUSD", 0.50, 1.08412, 1.08000, 1.09000, 0},
    {kOpen, 5002, 1, "XAUUSD", 0.10, 2031.45, 2040.00, 2010.00, 0},
    {kModify, 5001, 0, "EURUSD", 0.50, 1.08412, 1.08300, 1.09000, 0},
    {kOpen, 5003, 0, "USDJPY", 1.00, 149.872, 149.200, 150.900, 0},
    {kClose, 5002, 1, "XAUUSD", 0.10, 2031.45, 2040.00, 2010.00, 2024.10},
    {kOpen, 5004, 1, "GBPUSD", 0.30, 1.26755, 1.27300, 1.26000, 0},
    {kModify, 5003, 0, "USDJPY", 1.00, 149.872, 149.500, 150.800, 0},
    {kClose, 5001, 0, "EURUSD", 0.50, 1.08412, 1.08300, 1.09000, 1.08734},
    {kOpen, 5005, 0, "XAUUSD", 0.20, 2025.30, 2015.00, 2045.00, 0},
    {kModify, 5004, 1, "GBPUSD", 0.30, 1.26755, 1.27000, 1.26000, 0},
    {kClose, 5003, 0, "USDJPY", 1.00, 149.872, 149.500, 150.800, 150.412},
    {kClose, 5004, 1, "GBPUSD", 0.30, 1.26755, 1.27000, 1.26000, 1.26310},
    {kClose, 5005, 0, "XAUUSD", 0.20, 2025.30, 2015.00, 2045.00, 2028.95},
};
constexpr int kRecords = sizeof kScript / sizeof kScript[0];
constexpr int kTestTrade = kRecords + 1;  // published by zebctl at the end
constexpr int kKillAfter = 5;             // copier-2 is killed once it has committed this record
constexpr int kRestartAfter = 8;          // and started again once the master has published this one
constexpr useconds_t kPace = 150000;
constexpr double kTimeLimit = 60;

const char* const kFollowers[] = {"copier-1", "copier-2"};

// Shared with the master process (an anonymous mapping made before it
// forks): each record as written, when its Write returned, and how far the
// master has got.
struct Board {
  zeb::TradeRecord sent[kTestTrade + 1];
  double written_at[kTestTrade + 1];
  volatile int published;
  volatile bool bound;  // the master's Init made the channel
  volatile bool go;     // the followers are up
};
Board* board;
double started;
std::string root;
// Named after this run, so runs side by side never share a counter.
const std::string master_name = "DemoMaster-" + std::to_string(::getpid());

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// One line per call, written in one piece so processes never interleave.
void say(const char* who, const char* format, ...) {
  char text[512];
  int length = std::snprintf(text, sizeof text, "%7.3f  %-9s ", now() - started, who);
  va_list args;
  va_start(args, format);
  length += std::vsnprintf(text + length, sizeof text - length, format, args);
  va_end(args);
  text[length++] = '\n';
  std::fflush(stdout);
  (void)!::write(1, text, static_cast<size_t>(length));
}

std::string describe(const Trade& t) {
  char text[200];
  const char* side = t.type == 0 ? "BUY " : "SELL";
  int digits = std::strstr(t.symbol, "JPY") ? 3 : std::strstr(t.symbol, "XAU") ? 2 : 5;
  if (t.cmd == kClose)
    std::snprintf(text, sizeof text, "%-6s %s %-6s %.2f  closed at %-8.*f                  ticket %d",
                  kCmdNames[t.cmd], side, t.symbol, t.lot, digits, t.close_price, t.ticket);
  else
    std::snprintf(text, sizeof text, "%-6s %s %-6s %.2f  @ %-8.*f sl %-8.*f tp %-8.*f ticket %d",
                  kCmdNames[t.cmd], side, t.symbol, t.lot, digits, t.open_price, digits, t.sl, digits, t.tp,
                  t.ticket);
  return text;
}

int read_number_file(const std::string& path) {
  std::ifstream in(path);
  int value = 0;
  in >> value;
  return value;
}

std::string index_path(const char* owner) {
  return root + "/" + master_name + "/system/" + owner;
}

// The master trading program: loads the master library and publishes the
// script at a trader's pace.
[[noreturn]] void run_master() {
  const char* path = ZEB_MASTER_LIBRARY;
  zebmaster_api lib;
  if (const char* missing = zebmaster_load(&lib, path)) {
    say("master", "cannot load the master library: %s", missing == path ? ::dlerror() : missing);
    ::_exit(1);
  }
  if (lib.Init(root.c_str(), master_name.c_str()) != 1) {
    say("master", "Init failed: %s", lib.ErrorMsg());
    ::_exit(1);
  }
  board->bound = true;
  while (!board->go) ::usleep(1000);
  for (int n = 1; n <= kRecords; ++n) {
    const Trade& t = kScript[n - 1];
    int time_local = static_cast<int>(::time(nullptr)), time_server = time_local + 7200;
    lib.SetCmd(t.cmd);
    lib.SetTicket(t.ticket);
    lib.SetType(t.type);
    lib.SetSymbol(t.symbol);
    lib.SetLot(t.lot);
    lib.SetOpenPrice(t.open_price);
    lib.SetSL(t.sl);
    lib.SetTP(t.tp);
    lib.SetClosePrice(t.close_price);
    lib.SetTimeLocal(time_local);
    lib.SetTimeServer(time_server);
    zeb::TradeRecord& sent = board->sent[n];
    sent = {t.cmd, t.ticket, t.type,        {},         t.lot,      t.open_price,
            t.sl,  t.tp,     t.close_price, time_local, time_server};
    zeb::record_set_symbol(sent, t.symbol);
    say("master", "#%-3d %s", n, describe(t).c_str());
    if (lib.Write() != 1) {
      say("master", "Write failed: %s", lib.ErrorMsg());
      ::_exit(1);
    }
    board->written_at[n] = now();
    board->published = n;
    ::usleep(kPace);
  }
  ::_exit(0);
}

// A follower: `zebctl follow`, whose lines the demo reads and checks.
struct Follower {
  const char* name;
  pid_t pid = -1;
  LineReader* reader = nullptr;
  int received = 0;  // the last record number it printed
  bool ok = true;

  void start() {
    int out = -1;
    pid = start_piped({ZEBCTL, "follow", root, name, master_name}, &out);
    delete reader;
    reader = new LineReader(out);
  }
  void stop(int signal) {
    ::kill(pid, signal);
    // Ctrl-C ends zebctl follow with status 130, as shells expect.
    if (!exited_cleanly(pid, 130) && signal == SIGINT) ok = false;
    ::close(reader->fd());
    pid = -1;
  }
};

// Checks each line a follower printed against the record the master wrote.
void take_line(Follower& follower, const std::string& line) {
  int number = line.size() > 1 && line[0] == '#' ? std::atoi(line.c_str() + 1) : 0;
  bool expected = number >= 1 && number <= kTestTrade && number <= follower.received + 1;
  if (!expected || line != tools::record_line(number, board->sent[number])) {
    say(follower.name, "UNEXPECTED: %s", line.c_str());
    follower.ok = false;
    return;
  }
  follower.received = number;
  int lag = board->published > number ? board->published - number : 0;
  if (board->written_at[number] > 0)
    say(follower.name, "#%-3d received, every field as written; lag %d, %.2f ms", number, lag,
        (now() - board->written_at[number]) * 1000);
  else
    say(follower.name, "#%-3d received, every field as written", number);
}

// Passes on what the running followers printed, waiting up to `seconds`.
// A follower whose output ends before it is stopped has failed.
void pump(std::vector<Follower*> followers, double seconds) {
  std::vector<pollfd> fds;
  for (Follower* follower : followers) fds.push_back({follower->reader->fd(), POLLIN, 0});
  if (::poll(fds.data(), fds.size(), static_cast<int>(seconds * 1000)) <= 0) return;
  for (size_t i = 0; i < followers.size(); ++i) {
    if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) continue;
    if (!followers[i]->reader->fill()) {
      say(followers[i]->name, "stopped unexpectedly");
      followers[i]->ok = false;
    }
    for (std::string line; followers[i]->reader->next(line);) take_line(*followers[i], line);
  }
}

Follower copier1{kFollowers[0]}, copier2{kFollowers[1]};

// Whether to keep waiting: nothing has gone wrong and time is left.
bool going() {
  return copier1.ok && copier2.ok && now() - started < kTimeLimit;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  bool temporary = argc < 2;
  if (temporary) {
    char pattern[] = "/tmp/zeb-demo-XXXXXX";
    root = ::mkdtemp(pattern);
  } else {
    root = argv[1];
    std::filesystem::create_directories(root);
  }
  board = static_cast<Board*>(
      ::mmap(nullptr, sizeof(Board), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  started = now();

  std::printf("zeb demo: one master, two followers, %d trades\n", kRecords);
  std::printf("  root       %s\n", root.c_str());
  std::printf("  master     %s, a trading program loading %s\n", master_name.c_str(), ZEB_MASTER_LIBRARY);
  std::printf("  followers  %s and %s, each running   zebctl follow ROOT NAME %s\n", kFollowers[0],
              kFollowers[1], master_name.c_str());
  std::printf("             (a real follower through the follower library: read, print, commit)\n");
  std::printf("  zebctl     %s\n", ZEBCTL);
  std::printf(
      "  The demo checks every field each follower prints against what the master wrote.\n"
      "  Lag: newer records the master had already published; then the time from the\n"
      "  master's Write to the follower's line.\n\n");
  std::printf("   time  who       rec  trade\n");

  // The master binds the channel first; zebctl follow refuses a channel
  // that does not exist yet.
  std::fflush(stdout);
  pid_t master = ::fork();
  if (master == 0) run_master();
  while (!board->bound && now() - started < kTimeLimit) ::usleep(1000);
  copier1.start();
  copier2.start();
  ::usleep(50000);
  board->go = true;

  // Kill copier-2 as a crash would, right after it committed a record.
  while (going() && copier2.received < kKillAfter) pump({&copier1, &copier2}, 0.01);
  while (going() && read_number_file(index_path(copier2.name)) < kKillAfter) pump({&copier1}, 0.001);
  copier2.stop(SIGKILL);
  say("demo", "killed %s (SIGKILL) after it committed #%d", copier2.name, kKillAfter);

  while (going() && board->published < kRestartAfter) pump({&copier1}, 0.01);
  while (going() && read_number_file(index_path(copier1.name)) < kRestartAfter) pump({&copier1}, 0.001);
  say("demo", "%s is down and the master has published #%d; where everyone stands:", copier2.name,
      kRestartAfter);
  run_shown(ZEBCTL, {"status", root, master_name});
  say("demo", "restarting %s; it resumes after its last commit, #%d", copier2.name,
      read_number_file(index_path(copier2.name)));
  copier2.start();

  while (going() && (copier1.received < kRecords || copier2.received < kRecords))
    pump({&copier1, &copier2}, 0.01);
  bool ok = exited_cleanly(master);
  say("demo", "the master has published its last trade and exited");
  run_shown(ZEBCTL, {"status", root, master_name});

  say("demo", "an operator sends a test trade while no master runs:");
  board->sent[kTestTrade] = {kOpen, 9999, 0, {}, 0.01, 1.0, 0, 0, 0, 0, 0};
  zeb::record_set_symbol(board->sent[kTestTrade], "TEST");
  ok = run_shown(ZEBCTL, {"publish", root, master_name, "--cmd", "1", "--ticket", "9999", "--symbol", "TEST",
                          "--lot", "0.01", "--open-price", "1"}) == 0 &&
       ok;
  board->published = kTestTrade;
  while (going() && (copier1.received < kTestTrade || copier2.received < kTestTrade))
    pump({&copier1, &copier2}, 0.01);
  say("demo", "stopping both followers with Ctrl-C (SIGINT)");
  copier1.stop(SIGINT);
  copier2.stop(SIGINT);

  std::printf("\nsummary\n");
  std::printf("  master    %s published %d records, zebctl publish 1 more; index file says %d\n",
              master_name.c_str(), kRecords, read_number_file(index_path(master_name.c_str())));
  for (Follower* follower : {&copier1, &copier2}) {
    int cursor = read_number_file(index_path(follower->name));
    follower->ok = follower->ok && follower->received == kTestTrade && cursor == kTestTrade;
    std::printf("  %-9s %s; committed cursor %d%s\n", follower->name,
                follower->ok ? "received every record in order" : "did NOT receive every record", cursor,
                follower == &copier2 ? " (killed once, resumed after its last commit)" : "");
    ok = ok && follower->ok;
  }
  ok = ok && now() - started < kTimeLimit;
  std::printf("  result    %s\n", ok ? "OK: every trade reached every follower, in order" : "FAILED");
  if (temporary) std::filesystem::remove_all(root);
  // The counter outlives its holders as a POSIX shared-memory object.
  ::shm_unlink(("/zeb_" + master_name).c_str());
  return ok ? 0 : 1;
}
