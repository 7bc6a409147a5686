/* The follower header compiles as strict C, and declares each export with
 * the types a host binds it with: a changed type fails this build. */
#include "zeb/zebfollower.h"

typedef int(ZEB_CALL* InitFn)(const char*, const char*, const char*);
typedef int(ZEB_CALL* IntFn)(void);
typedef double(ZEB_CALL* DoubleFn)(void);
typedef const char*(ZEB_CALL* TextFn)(void);

InitFn zeb_check_init = Init;
IntFn zeb_check_status[] = {Read, Commit, ErrorCode};
IntFn zeb_check_int_getters[] = {GetCmd, GetTicket, GetType, GetTimeLocal, GetTimeServer};
DoubleFn zeb_check_double_getters[] = {GetLot, GetOpenPrice, GetSL, GetTP, GetClosePrice};
TextFn zeb_check_text[] = {GetSymbol, ErrorMsg};

/* The loader's types are the header's: each field takes its export. */
#include "zeb/zeb_dynload.h"

zebfollower_api zeb_check_api = {0, Init, Read, Commit, GetCmd, GetTicket, GetType, GetSymbol,
                                 GetLot, GetOpenPrice, GetSL, GetTP, GetClosePrice,
                                 GetTimeLocal, GetTimeServer, ErrorCode, ErrorMsg};
