/* zebfollower: the consuming side of a zeb channel.
 *
 * Init binds the library to a root directory, this follower's name and the
 * master's name. Poll Read: 1 means a record was loaded (take its fields with
 * the getters, act on it, then Commit); 0 with ErrorCode() 0 means nothing is
 * new; 0 with ErrorCode() -1 means Read failed and ErrorMsg() says why.
 * A record read but not committed is read again, also after a restart.
 *
 * Every call other than ErrorCode and ErrorMsg (getters included) clears the
 * last report, so read it first.
 *
 * Both zeb libraries export Init, ErrorCode and ErrorMsg: a host that uses
 * both binds each library's functions by name from its own module. */
#ifndef ZEB_ZEBFOLLOWER_H
#define ZEB_ZEBFOLLOWER_H

#include "zeb_call.h"

ZEB_EXTERN_C_BEGIN

ZEB_API int ZEB_CALL Init(const char* root, const char* follower, const char* master);
ZEB_API int ZEB_CALL Read(void);
ZEB_API int ZEB_CALL Commit(void);

ZEB_API int ZEB_CALL GetCmd(void);
ZEB_API int ZEB_CALL GetTicket(void);
ZEB_API int ZEB_CALL GetType(void);
ZEB_API const char* ZEB_CALL GetSymbol(void);
ZEB_API double ZEB_CALL GetLot(void);
ZEB_API double ZEB_CALL GetOpenPrice(void);
ZEB_API double ZEB_CALL GetSL(void);
ZEB_API double ZEB_CALL GetTP(void);
ZEB_API double ZEB_CALL GetClosePrice(void);
ZEB_API int ZEB_CALL GetTimeLocal(void);
ZEB_API int ZEB_CALL GetTimeServer(void);

ZEB_API int ZEB_CALL ErrorCode(void);
ZEB_API const char* ZEB_CALL ErrorMsg(void);

ZEB_EXTERN_C_END

#endif
