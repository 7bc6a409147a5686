/* The master header compiles as strict C, and declares each export with the
 * types a host binds it with: a changed type fails this build. */
#include "zeb/zebmaster.h"

typedef int(ZEB_CALL* InitFn)(const char*, const char*);
typedef int(ZEB_CALL* StatusFn)(void);
typedef void(ZEB_CALL* SetIntFn)(int);
typedef void(ZEB_CALL* SetDoubleFn)(double);
typedef void(ZEB_CALL* SetTextFn)(const char*);
typedef const char*(ZEB_CALL* TextFn)(void);

InitFn zeb_check_init = Init;
StatusFn zeb_check_write = Write;
SetIntFn zeb_check_int_setters[] = {SetCmd, SetTicket, SetType, SetTimeLocal, SetTimeServer};
SetDoubleFn zeb_check_double_setters[] = {SetLot, SetOpenPrice, SetSL, SetTP, SetClosePrice};
SetTextFn zeb_check_set_symbol = SetSymbol;
StatusFn zeb_check_error_code = ErrorCode;
TextFn zeb_check_error_msg = ErrorMsg;

/* The loader's types are the header's: each field takes its export. */
#include "zeb/zeb_dynload.h"
#include "zeb/version.h"

zebmaster_api zeb_check_api = {0, Init, Write, SetCmd, SetTicket, SetType, SetSymbol, SetLot,
                               SetOpenPrice, SetSL, SetTP, SetClosePrice, SetTimeLocal,
                               SetTimeServer, ErrorCode, ErrorMsg};
const char zeb_check_version[] = ZEB_VERSION_STRING;
