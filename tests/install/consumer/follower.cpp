// A follower in C++: receives the two trades in order, then nothing more.
//   consumer_follower ROOT FOLLOWER MASTER
#include <zeb/zebfollower.h>

#include <cstdio>
#include <cstring>

namespace {

bool receive(int ticket, const char* symbol, double lot) {
  if (Read() != 1) {
    std::fprintf(stderr, "Read found nothing: %s\n", ErrorMsg());
    return false;
  }
  bool same = GetCmd() == 1 && GetTicket() == ticket && std::strcmp(GetSymbol(), symbol) == 0 && GetLot() == lot;
  if (!same) std::fprintf(stderr, "record %d arrived garbled\n", ticket);
  return same && Commit() == 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  if (Init(argv[1], argv[2], argv[3]) != 1) {
    std::fprintf(stderr, "Init failed: %s\n", ErrorMsg());
    return 1;
  }
  if (!receive(101, "EURUSD", 0.5) || !receive(102, "XAUUSD", 0.25)) return 1;
  bool idle = Read() == 0 && ErrorCode() == 0;
  return idle ? 0 : 1;
}
