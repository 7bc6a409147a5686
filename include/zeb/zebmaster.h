/* zebmaster: the publishing side of a zeb channel.
 *
 * Stage a record with the setters, then call Write to publish it as the next
 * numbered record of the channel. Init binds the library to a root directory
 * and a master name; call it before Write.
 *
 * Init, Write return 1 on success and 0 on failure; after a failure ErrorCode()
 * is -1 and ErrorMsg() says what failed. Every other call (setters included)
 * clears that report, so read it first.
 *
 * Both zeb libraries export Init, ErrorCode and ErrorMsg: a host that uses
 * both binds each library's functions by name from its own module. */
#ifndef ZEB_ZEBMASTER_H
#define ZEB_ZEBMASTER_H

#include "zeb_call.h"

ZEB_EXTERN_C_BEGIN

ZEB_API int ZEB_CALL Init(const char* root, const char* master);
ZEB_API int ZEB_CALL Write(void);

ZEB_API void ZEB_CALL SetCmd(int cmd);
ZEB_API void ZEB_CALL SetTicket(int ticket);
ZEB_API void ZEB_CALL SetType(int type);
ZEB_API void ZEB_CALL SetSymbol(const char* symbol);
ZEB_API void ZEB_CALL SetLot(double lot);
ZEB_API void ZEB_CALL SetOpenPrice(double price);
ZEB_API void ZEB_CALL SetSL(double price);
ZEB_API void ZEB_CALL SetTP(double price);
ZEB_API void ZEB_CALL SetClosePrice(double price);
ZEB_API void ZEB_CALL SetTimeLocal(int time);
ZEB_API void ZEB_CALL SetTimeServer(int time);

ZEB_API int ZEB_CALL ErrorCode(void);
ZEB_API const char* ZEB_CALL ErrorMsg(void);

ZEB_EXTERN_C_END

#endif
