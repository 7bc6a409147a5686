/* A host program that binds both zeb libraries by name at run time with
 * zeb/zeb_dynload.h: its master publishes three trades, its follower takes
 * them in order, prints each and commits it.
 *
 *   zeb_host ROOT MASTER [MASTER_LIBRARY FOLLOWER_LIBRARY]
 *
 * Without library paths it loads zebmaster.dll and zebfollower.dll from its
 * own folder on Windows, libzebmaster.so.1 and libzebfollower.so.1 from the
 * library search path elsewhere. Exit status 0 when every trade arrived. */
#include <stdio.h>
#include <string.h>

#include <zeb/zeb_dynload.h>

#if defined(_WIN32)
#  define MASTER_LIBRARY "zebmaster.dll"
#  define FOLLOWER_LIBRARY "zebfollower.dll"
#else
#  define MASTER_LIBRARY "libzebmaster.so.1"
#  define FOLLOWER_LIBRARY "libzebfollower.so.1"
#endif

#define TRADES 3

static const char* const symbols[TRADES] = {"EURUSD", "XAUUSD", "GBPUSD"};

static int publish(zebmaster_api* master) {
  int i;
  for (i = 0; i < TRADES; ++i) {
    master->SetCmd(0);
    master->SetTicket(5001 + i);
    master->SetSymbol(symbols[i]);
    master->SetLot(0.5 * (i + 1));
    if (master->Write() != 1) {
      fprintf(stderr, "Write failed: %s\n", master->ErrorMsg());
      return 0;
    }
  }
  return 1;
}

static int follow(zebfollower_api* follower) {
  int i;
  for (i = 0; i < TRADES; ++i) {
    if (follower->Read() != 1) {
      fprintf(stderr, "Read found no trade %d: %s\n", i + 1, follower->ErrorMsg());
      return 0;
    }
    printf("ticket %d %s lot %.2f\n", follower->GetTicket(), follower->GetSymbol(), follower->GetLot());
    if (follower->GetTicket() != 5001 + i || strcmp(follower->GetSymbol(), symbols[i]) != 0) {
      fprintf(stderr, "trade %d arrived as another\n", i + 1);
      return 0;
    }
    if (follower->Commit() != 1) {
      fprintf(stderr, "Commit failed: %s\n", follower->ErrorMsg());
      return 0;
    }
  }
  return 1;
}

/* Master first, so the follower finds the channel's directories. */
static int run(zebmaster_api* master, zebfollower_api* follower, const char* root, const char* name) {
  if (master->Init(root, name) != 1) {
    fprintf(stderr, "master Init failed: %s\n", master->ErrorMsg());
    return 0;
  }
  if (follower->Init(root, "example-follower", name) != 1) {
    fprintf(stderr, "follower Init failed: %s\n", follower->ErrorMsg());
    return 0;
  }
  return publish(master) && follow(follower);
}

int main(int argc, char** argv) {
  zebmaster_api master;
  zebfollower_api follower;
  const char* missing;
  int ok;
  if (argc != 3 && argc != 5) {
    fprintf(stderr, "usage: zeb_host ROOT MASTER [MASTER_LIBRARY FOLLOWER_LIBRARY]\n");
    return 2;
  }
  missing = zebmaster_load(&master, argc == 5 ? argv[3] : MASTER_LIBRARY);
  if (missing) {
    fprintf(stderr, "could not load %s\n", missing);
    return 1;
  }
  missing = zebfollower_load(&follower, argc == 5 ? argv[4] : FOLLOWER_LIBRARY);
  if (missing) {
    fprintf(stderr, "could not load %s\n", missing);
    zebmaster_unload(&master);
    return 1;
  }
  ok = run(&master, &follower, argv[1], argv[2]);
  zebfollower_unload(&follower);
  zebmaster_unload(&master);
  return ok ? 0 : 1;
}
