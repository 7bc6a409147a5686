// zeb demo: a master and two followers, each a separate process loading its
// library the way a host trading program does, carry a short stream of
// trades end to end. One follower is killed midway and restarted; it resumes
// after the last record it committed.
//
//   zeb_demo [ROOT]      ROOT defaults to a fresh temporary directory
#include <dlfcn.h>
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
constexpr int kKillAfter = 5;     // copier-2 is killed once it has committed this record
constexpr int kRestartAfter = 8;  // and started again once the master has published this one
constexpr useconds_t kPace = 150000;

const char* const kMaster = "DemoMaster";
const char* const kFollowers[] = {"copier-1", "copier-2"};

// Shared between the demo's processes (an anonymous mapping made before they
// fork): when each record's Write returned, for the latency column, and how
// far each side has got, for the choreography.
struct Board {
  double written_at[kRecords + 1];
  volatile int published;
  volatile int committed[2];
};
Board* board;
double started;

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
  (void)!::write(1, text, static_cast<size_t>(length));
}

std::string describe(int cmd, int ticket, int type, const char* symbol, double lot, double price,
                     double sl, double tp, double close) {
  char text[200];
  const char* side = type == 0 ? "BUY " : "SELL";
  int digits = std::strstr(symbol, "JPY") ? 3 : std::strstr(symbol, "XAU") ? 2 : 5;
  if (cmd < kOpen || cmd > kClose) cmd = 0;
  if (cmd == kClose)
    std::snprintf(text, sizeof text, "%-6s %s %-6s %.2f  closed at %-8.*f                  ticket %d",
                  kCmdNames[cmd], side, symbol, lot, digits, close, ticket);
  else
    std::snprintf(text, sizeof text, "%-6s %s %-6s %.2f  @ %-8.*f sl %-8.*f tp %-8.*f ticket %d",
                  kCmdNames[cmd], side, symbol, lot, digits, price, digits, sl, digits, tp, ticket);
  return text;
}

void* load(const std::string& path) {
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "zeb_demo: %s\n", ::dlerror());
    std::exit(2);
  }
  return library;
}

template <typename Signature>
Signature* fn(void* library, const char* name) {
  return reinterpret_cast<Signature*>(::dlsym(library, name));
}

int read_number_file(const std::string& path) {
  std::ifstream in(path);
  int value = 0;
  in >> value;
  return value;
}

[[noreturn]] void run_master(const std::string& root) {
  void* lib = load(ZEB_MASTER_LIBRARY);
  auto error_msg = fn<const char*()>(lib, "ErrorMsg");
  if (fn<int(const char*, const char*)>(lib, "Init")(root.c_str(), kMaster) != 1) {
    say("master", "Init failed: %s", error_msg());
    ::_exit(1);
  }
  for (int n = 1; n <= kRecords; ++n) {
    const Trade& t = kScript[n - 1];
    fn<void(int)>(lib, "SetCmd")(t.cmd);
    fn<void(int)>(lib, "SetTicket")(t.ticket);
    fn<void(int)>(lib, "SetType")(t.type);
    fn<void(const char*)>(lib, "SetSymbol")(t.symbol);
    fn<void(double)>(lib, "SetLot")(t.lot);
    fn<void(double)>(lib, "SetOpenPrice")(t.open_price);
    fn<void(double)>(lib, "SetSL")(t.sl);
    fn<void(double)>(lib, "SetTP")(t.tp);
    fn<void(double)>(lib, "SetClosePrice")(t.close_price);
    fn<void(int)>(lib, "SetTimeLocal")(static_cast<int>(::time(nullptr)));
    fn<void(int)>(lib, "SetTimeServer")(static_cast<int>(::time(nullptr)) + 7200);
    say("master", "#%-3d %s", n,
        describe(t.cmd, t.ticket, t.type, t.symbol, t.lot, t.open_price, t.sl, t.tp, t.close_price).c_str());
    board->written_at[n] = now();
    if (fn<int()>(lib, "Write")() != 1) {
      say("master", "Write failed: %s", error_msg());
      ::_exit(1);
    }
    board->published = n;
    ::usleep(kPace);
  }
  ::_exit(0);
}

[[noreturn]] void run_follower(const std::string& root, int which) {
  const char* name = kFollowers[which];
  void* lib = load(ZEB_FOLLOWER_LIBRARY);
  auto error_msg = fn<const char*()>(lib, "ErrorMsg");
  auto read = fn<int()>(lib, "Read");
  auto error_code = fn<int()>(lib, "ErrorCode");
  if (fn<int(const char*, const char*, const char*)>(lib, "Init")(root.c_str(), name, kMaster) != 1) {
    say(name, "Init failed: %s", error_msg());
    ::_exit(1);
  }
  // The cursor this follower committed last, from its index file.
  int number = read_number_file(root + "/" + kMaster + "/system/" + name);
  say(name, number == 0 ? "started, nothing committed yet" : "started, resumes after #%d", number);
  while (number < kRecords) {
    if (read() != 1) {
      if (error_code() != 0) say(name, "Read failed: %s", error_msg());
      ::usleep(1000);
      continue;
    }
    ++number;
    double latency_ms = (now() - board->written_at[number]) * 1000;
    int lag = board->published > number ? board->published - number : 0;
    const Trade& t = kScript[number - 1];
    std::string got = describe(fn<int()>(lib, "GetCmd")(), fn<int()>(lib, "GetTicket")(),
                               fn<int()>(lib, "GetType")(), fn<const char*()>(lib, "GetSymbol")(),
                               fn<double()>(lib, "GetLot")(), fn<double()>(lib, "GetOpenPrice")(),
                               fn<double()>(lib, "GetSL")(), fn<double()>(lib, "GetTP")(),
                               fn<double()>(lib, "GetClosePrice")());
    std::string expected = describe(t.cmd, t.ticket, t.type, t.symbol, t.lot, t.open_price, t.sl,
                                    t.tp, t.close_price);
    if (got != expected) {
      say(name, "#%-3d MISMATCH: got %s", number, got.c_str());
      ::_exit(1);
    }
    if (fn<int()>(lib, "Commit")() != 1) {
      say(name, "Commit failed: %s", error_msg());
      ::_exit(1);
    }
    board->committed[which] = number;
    say(name, "#%-3d %s  lag %d, %.2f ms", number, got.c_str(), lag, latency_ms);
  }
  ::_exit(0);
}

pid_t start(void (*role)(const std::string&, int), const std::string& root, int which) {
  std::fflush(stdout);
  pid_t pid = ::fork();
  if (pid == 0) role(root, which);
  return pid;
}

void master_role(const std::string& root, int) { run_master(root); }
void follower_role(const std::string& root, int which) { run_follower(root, which); }

bool finished_ok(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  bool temporary = argc < 2;
  std::string root;
  if (temporary) {
    char pattern[] = "/tmp/zeb-demo-XXXXXX";
    root = ::mkdtemp(pattern);
  } else {
    root = argv[1];
    // The script numbers its trades from 1, so it needs a channel of its own.
    if (std::filesystem::exists(root + "/" + kMaster)) {
      std::fprintf(stderr, "zeb_demo: %s already holds a channel named %s; give a new or empty directory\n",
                   root.c_str(), kMaster);
      return 2;
    }
  }
  board = static_cast<Board*>(
      ::mmap(nullptr, sizeof(Board), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  started = now();

  std::printf("zeb demo: one master, two followers, %d trades\n", kRecords);
  std::printf("  root       %s\n", root.c_str());
  std::printf("  master     %s (loads %s)\n", kMaster, ZEB_MASTER_LIBRARY);
  std::printf("  followers  %s, %s (each loads %s)\n", kFollowers[0], kFollowers[1], ZEB_FOLLOWER_LIBRARY);
  std::printf("  each follower line ends with its lag: how many newer records the master had\n"
              "  already published, and the time from the master's Write call to this Read.\n\n");
  std::printf("   time  who       rec  trade\n");

  pid_t followers[2] = {start(follower_role, root, 0), start(follower_role, root, 1)};
  ::usleep(50000);
  pid_t master = start(master_role, root, 0);

  // Kill copier-2 as a crash would, right after it committed a record.
  while (board->committed[1] < kKillAfter) ::usleep(1000);
  ::kill(followers[1], SIGKILL);
  ::waitpid(followers[1], nullptr, 0);
  say("demo", "killed %s (SIGKILL) after it committed #%d", kFollowers[1], board->committed[1]);
  while (board->published < kRestartAfter) ::usleep(1000);
  say("demo", "restarting %s while the master has published #%d", kFollowers[1], board->published);
  followers[1] = start(follower_role, root, 1);

  bool ok = finished_ok(master);
  bool follower_ok[2] = {finished_ok(followers[0]), finished_ok(followers[1])};

  std::printf("\nsummary\n");
  std::printf("  %-9s published %d records; index file says %d\n", kMaster, board->published,
              read_number_file(root + "/" + kMaster + "/system/" + kMaster));
  for (int i = 0; i < 2; ++i) {
    int cursor = read_number_file(root + "/" + kMaster + "/system/" + kFollowers[i]);
    follower_ok[i] = follower_ok[i] && cursor == kRecords;
    std::printf("  %-9s %s; committed cursor %d%s\n", kFollowers[i],
                follower_ok[i] ? "received every record in order" : "did NOT receive every record",
                cursor, i == 1 ? " (killed once, resumed after its last commit)" : "");
    ok = ok && follower_ok[i];
  }
  std::printf("  result    %s\n", ok ? "OK: every trade reached every follower, in order" : "FAILED");
  if (temporary) std::filesystem::remove_all(root);
  return ok ? 0 : 1;
}
