/* A host that links zebfollower.dll through its import library, as
 * INTEGRATION.md describes for mingw-w64 (-lzebfollower): reads COUNT trades
 * with every getter, prints each one, and commits it.
 *
 *   linked_follower ROOT FOLLOWER MASTER COUNT
 *
 * Exit status 0 when COUNT trades were read and committed. */
#include <stdio.h>
#include <stdlib.h>

#include <zeb/zebfollower.h>

int main(int argc, char** argv) {
  int i, count;
  if (argc != 5) {
    fprintf(stderr, "usage: linked_follower ROOT FOLLOWER MASTER COUNT\n");
    return 2;
  }
  if (Init(argv[1], argv[2], argv[3]) != 1) {
    fprintf(stderr, "Init failed: %s\n", ErrorMsg());
    return 1;
  }
  count = atoi(argv[4]);
  for (i = 0; i < count; ++i) {
    if (Read() != 1) {
      fprintf(stderr, "Read found no trade %d: %s\n", i + 1, ErrorCode() != 0 ? ErrorMsg() : "nothing new");
      return 1;
    }
    printf("%d %d %d %s %.17g %.17g %.17g %.17g %.17g %d %d\n", GetCmd(), GetTicket(), GetType(), GetSymbol(),
           GetLot(), GetOpenPrice(), GetSL(), GetTP(), GetClosePrice(), GetTimeLocal(), GetTimeServer());
    if (Commit() != 1) {
      fprintf(stderr, "Commit failed: %s\n", ErrorMsg());
      return 1;
    }
  }
  return 0;
}
