/* A master in C: publishes two trades.   consumer_master ROOT MASTER */
#include <stdio.h>

#include <zeb/zebmaster.h>

static int publish(int ticket, const char* symbol, double lot) {
  SetCmd(1);
  SetTicket(ticket);
  SetSymbol(symbol);
  SetLot(lot);
  if (Write() != 1) {
    fprintf(stderr, "Write failed: %s\n", ErrorMsg());
    return 0;
  }
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  if (Init(argv[1], argv[2]) != 1) {
    fprintf(stderr, "Init failed: %s\n", ErrorMsg());
    return 1;
  }
  return publish(101, "EURUSD", 0.5) && publish(102, "XAUUSD", 0.25) ? 0 : 1;
}
