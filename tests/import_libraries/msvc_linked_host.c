/* A host linked the way MSVC links a program: compiled by clang for the MSVC
 * target and linked by lld-link against one import library of the release
 * archive, with no C runtime. Built as the master (the default), it stages
 * one record with every setter and publishes it on the channel msvc-linked
 * under the folder msvc-root of its working directory; built with
 * ZEB_LINK_FOLLOWER, it reads that record as msvc-follower and checks every
 * field. Exit status 0 when all of it worked. */
#if defined(ZEB_LINK_FOLLOWER)
#  include <zeb/zebfollower.h>
#else
#  include <zeb/zebmaster.h>
#endif

__declspec(dllimport) void __stdcall ExitProcess(unsigned code);

/* Defined by the C runtime in other programs: compilers refer to it from
 * any code that uses floating point. */
int _fltused;

static const char kSymbol[] = "MSVC";

#if defined(ZEB_LINK_FOLLOWER)
static int symbol_arrived(const char* symbol) {
  int i;
  for (i = 0; kSymbol[i] != '\0'; ++i) {
    if (symbol[i] != kSymbol[i]) return 0;
  }
  return symbol[i] == '\0';
}

static int run(void) {
  return Init("msvc-root", "msvc-follower", "msvc-linked") == 1 && Read() == 1 && GetCmd() == 1 &&
         GetTicket() == 7001 && GetType() == 2 && symbol_arrived(GetSymbol()) && GetLot() == 0.25 &&
         GetOpenPrice() == 1.5 && GetSL() == 1.25 && GetTP() == 1.75 && GetClosePrice() == 0 &&
         GetTimeLocal() == 1718000000 && GetTimeServer() == 1718007200 && Commit() == 1 &&
         ErrorCode() == 0 && ErrorMsg()[0] == '\0';
}
#else
static int run(void) {
  SetCmd(1);
  SetTicket(7001);
  SetType(2);
  SetSymbol(kSymbol);
  SetLot(0.25);
  SetOpenPrice(1.5);
  SetSL(1.25);
  SetTP(1.75);
  SetClosePrice(0);
  SetTimeLocal(1718000000);
  SetTimeServer(1718007200);
  return Init("msvc-root", "msvc-linked") == 1 && Write() == 1 && ErrorCode() == 0 && ErrorMsg()[0] == '\0';
}
#endif

void __stdcall start(void) {
  ExitProcess(run() ? 0 : 1);
}
