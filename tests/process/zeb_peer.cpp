// A host program for multi-process tests: loads one zeb library by path and
// plays a master or a follower through its exports only.
//
//   zeb_peer master   LIBRARY ROOT MASTER COUNT [LOG]
//       publishes records 1..COUNT as fast as it can. With LOG, appends
//       every n whose Write returned 1 to LOG, and a restarted master goes
//       on after the last n logged.
//   zeb_peer follower LIBRARY ROOT FOLLOWER MASTER COUNT LOG
//       reads, checks and commits until it has record COUNT; appends every
//       record number it received to LOG before committing it. Fails when
//       no record comes for a minute.
//
// A last log line without its newline (a kill mid-append) is cut off and
// counts for nothing.
//
// Record n carries ticket 100000+n and fields derived from n, so a follower
// can tell a garbled record from a good one. A master killed in Write and
// restarted writes its record n again, so a follower may receive n twice in
// a row, never anything out of order. Exit status 0 means success.
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/number_log.h"
#include "support/sample_record.h"
#include "zeb/zeb_dynload.h"

namespace {

// How long a follower waits for its next record before it fails.
constexpr std::chrono::seconds kPatience{60};

void* library;

template <typename Signature>
Signature* fn(const char* name) {
  zeb_dynload_any_fn symbol = zeb_dynload_symbol(library, name);
  if (symbol == nullptr) {
    std::fprintf(stderr, "zeb_peer: missing export %s\n", name);
    std::exit(3);
  }
  return reinterpret_cast<Signature*>(symbol);
}

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "zeb_peer: %s: %s\n", what.c_str(), fn<const char*()>("ErrorMsg")());
  std::exit(1);
}

// Opens a log for appending after its last finished line (number_log.h).
int open_log(const char* path) {
  zeb::test::drop_torn_line(path);
  return ::open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
}

void append_number(int log, int n) {
  std::string line = std::to_string(n) + "\n";
  if (::write(log, line.data(), line.size()) != static_cast<ssize_t>(line.size())) fail("log");
}

int run_master(const char* root, const char* master, int count, const char* log_path) {
  if (fn<int(const char*, const char*)>("Init")(root, master) != 1) fail("master Init");
  int log = log_path == nullptr ? -1 : open_log(log_path);
  auto set_int = [](const char* name, int value) { fn<void(int)>(name)(value); };
  auto set_double = [](const char* name, double value) { fn<void(double)>(name)(value); };
  auto write = fn<int()>("Write");
  for (int n = log_path == nullptr ? 1 : zeb::test::last_logged(log_path) + 1; n <= count; ++n) {
    zeb::TradeRecord r = zeb::test::sample_record(n);
    set_int("SetCmd", r.cmd);
    set_int("SetTicket", r.ticket);
    set_int("SetType", r.type);
    fn<void(const char*)>("SetSymbol")(r.symbol);
    set_double("SetLot", r.lot);
    set_double("SetOpenPrice", r.open_price);
    set_double("SetSL", r.sl);
    set_double("SetTP", r.tp);
    set_double("SetClosePrice", r.close_price);
    set_int("SetTimeLocal", r.time_local);
    set_int("SetTimeServer", r.time_server);
    if (write() != 1) fail("Write of record " + std::to_string(n));
    if (log >= 0) append_number(log, n);
  }
  return 0;
}

// The record the getters show now, field by field.
zeb::TradeRecord received() {
  zeb::TradeRecord r = {};
  r.cmd = fn<int()>("GetCmd")();
  r.ticket = fn<int()>("GetTicket")();
  r.type = fn<int()>("GetType")();
  zeb::record_set_symbol(r, fn<const char*()>("GetSymbol")());
  r.lot = fn<double()>("GetLot")();
  r.open_price = fn<double()>("GetOpenPrice")();
  r.sl = fn<double()>("GetSL")();
  r.tp = fn<double()>("GetTP")();
  r.close_price = fn<double()>("GetClosePrice")();
  r.time_local = fn<int()>("GetTimeLocal")();
  r.time_server = fn<int()>("GetTimeServer")();
  return r;
}

bool same_fields(const zeb::TradeRecord& a, const zeb::TradeRecord& b) {
  return a.cmd == b.cmd && a.ticket == b.ticket && a.type == b.type &&
         std::strcmp(a.symbol, b.symbol) == 0 && a.lot == b.lot && a.open_price == b.open_price &&
         a.sl == b.sl && a.tp == b.tp && a.close_price == b.close_price &&
         a.time_local == b.time_local && a.time_server == b.time_server;
}

int run_follower(const char* root, const char* follower, const char* master, int count,
                 const char* log_path) {
  if (fn<int(const char*, const char*, const char*)>("Init")(root, follower, master) != 1)
    fail("follower Init");
  // Killed after taking the last record, it has nothing left to wait for.
  if (zeb::test::last_logged(log_path) == count) return 0;
  int log = open_log(log_path);
  auto read = fn<int()>("Read");
  auto commit = fn<int()>("Commit");
  auto error_code = fn<int()>("ErrorCode");
  int last = -1;
  // A follower left waiting by a lost record gives up rather than poll forever.
  auto give_up_at = std::chrono::steady_clock::now() + kPatience;
  while (last != count) {
    int result = read();
    if (result == 0) {
      if (error_code() != 0) fail("Read");
      if (std::chrono::steady_clock::now() > give_up_at)
        fail("no record after " + std::to_string(last) + " for " +
             std::to_string(kPatience.count()) + " s");
      sched_yield();
      continue;
    }
    give_up_at = std::chrono::steady_clock::now() + kPatience;
    zeb::TradeRecord got = received();
    int n = got.ticket - 100000;
    if (n < 1 || n > count || !same_fields(got, zeb::test::sample_record(n)))
      fail("garbled record with ticket " + std::to_string(got.ticket));
    if (last != -1 && n != last + 1 && n != last)
      fail("record " + std::to_string(n) + " after " + std::to_string(last));
    append_number(log, n);
    if (commit() != 1) fail("Commit");
    last = n;
  }
  ::close(log);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string role = argv[1];
  library = zeb_dynload_open(argv[2]);
  if (library == nullptr) {
    std::fprintf(stderr, "zeb_peer: %s\n", ::dlerror());
    return 3;
  }
  if (role == "master" && (argc == 6 || argc == 7))
    return run_master(argv[3], argv[4], std::atoi(argv[5]), argc == 7 ? argv[6] : nullptr);
  if (role == "follower" && argc == 8)
    return run_follower(argv[3], argv[4], argv[5], std::atoi(argv[6]), argv[7]);
  return 2;
}
