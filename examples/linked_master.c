/* A host that links zebmaster.dll through its import library, as
 * INTEGRATION.md describes for mingw-w64 (-lzebmaster finds
 * lib\x86\libzebmaster.dll.a or lib\x64\libzebmaster.dll.a): publishes three
 * trades with every setter and prints each one as linked_follower prints
 * what it reads, so the two outputs match line for line.
 *
 *   linked_master ROOT MASTER
 *
 * A program links one zeb DLL at most: both export Init, ErrorCode and
 * ErrorMsg. Exit status 0 when every trade was written. */
#include <stdio.h>

#include <zeb/zebmaster.h>

#define TRADES 3

static const char* const symbols[TRADES] = {"EURUSD", "XAUUSD", "GBPUSD"};

int main(int argc, char** argv) {
  int i;
  if (argc != 3) {
    fprintf(stderr, "usage: linked_master ROOT MASTER\n");
    return 2;
  }
  if (Init(argv[1], argv[2]) != 1) {
    fprintf(stderr, "Init failed: %s\n", ErrorMsg());
    return 1;
  }
  for (i = 0; i < TRADES; ++i) {
    int cmd = i % 2, ticket = 5001 + i, type = i, time_local = 1718000000 + 60 * i;
    int time_server = time_local + 7200;
    double lot = 0.1 * (i + 1), open_price = 1.08412 + i, sl = open_price - 0.01, tp = open_price + 0.02;
    double close_price = i == 2 ? open_price + 0.005 : 0;
    SetCmd(cmd);
    SetTicket(ticket);
    SetType(type);
    SetSymbol(symbols[i]);
    SetLot(lot);
    SetOpenPrice(open_price);
    SetSL(sl);
    SetTP(tp);
    SetClosePrice(close_price);
    SetTimeLocal(time_local);
    SetTimeServer(time_server);
    if (Write() != 1 || ErrorCode() != 0) {
      fprintf(stderr, "Write failed: %s\n", ErrorMsg());
      return 1;
    }
    printf("%d %d %d %s %.17g %.17g %.17g %.17g %.17g %d %d\n", cmd, ticket, type, symbols[i], lot, open_price,
           sl, tp, close_price, time_local, time_server);
  }
  return 0;
}
