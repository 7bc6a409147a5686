/* zebmaster: the publishing side of a zeb channel.
 *
 * One master per channel (root directory and master name). Call Init once,
 * then for each trade stage the record with the setters and call Write, which
 * stores it as the next numbered record file and publishes it to followers.
 *
 * Init and Write return 1 on success and 0 on failure; after a failure
 * ErrorCode() is -1 and ErrorMsg() says what failed, naming the path where
 * there is one. Every other call (setters included) clears that report, so
 * read it first. Strings are NUL-terminated single-byte text.
 *
 * Both zeb libraries export Init, ErrorCode and ErrorMsg: a host that uses
 * both binds each library's functions by name from its own module (for
 * instance GetProcAddress or dlsym on each library's handle), and includes
 * only one of the two headers per source file. */
#ifndef ZEB_ZEBMASTER_H
#define ZEB_ZEBMASTER_H

#include "zeb_call.h"

ZEB_EXTERN_C_BEGIN

/* Binds the library to `root` (any directory path) and `master` (one plain
 * path component: not empty, no '/' or '\', not "." or ".."); creates the
 * root, master and system directories if missing, opens the shared counter
 * and resumes numbering after the newest record already on disk. Call again
 * to rebind. 0 when a name is refused or too long, a directory cannot be
 * created or the counter cannot be opened. */
ZEB_API int ZEB_CALL Init(const char* root, const char* master);

/* Publishes the staged record as the next record number. The staged record
 * stays as it is: fields not set again are written again. 0 without a
 * successful Init, or when a directory, the record file or the master index
 * cannot be written; the number taken by a failed Write is then skipped and
 * followers pass over it. */
ZEB_API int ZEB_CALL Write(void);

/* The setters stage one field each, unchanged and unchecked; they never
 * fail and work before Init. SetSymbol keeps at most 19 characters; a null
 * pointer stages an empty symbol. */
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

/* The last call's result: 0, or -1 after a failure. Changes nothing. */
ZEB_API int ZEB_CALL ErrorCode(void);
/* The last failure's message, empty after success. The pointer stays the
 * same for the library's life; the text holds until the next other call. */
ZEB_API const char* ZEB_CALL ErrorMsg(void);

ZEB_EXTERN_C_END

#endif
