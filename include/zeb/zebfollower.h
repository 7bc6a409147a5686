/* zebfollower: the consuming side of a zeb channel.
 *
 * Any number of followers per channel, each under its own name. Call Init
 * once, then poll Read: 1 means a record was loaded (take its fields with the
 * getters, act on it, then Commit); 0 with ErrorCode() 0 means nothing is
 * new; 0 with ErrorCode() -1 means Read failed and ErrorMsg() says why.
 * Records come in order of number; a record read but not committed is read
 * again, also after a restart.
 *
 * Init, Read and Commit return 1 on success and 0 otherwise. Every call other
 * than ErrorCode and ErrorMsg (getters included) clears the last report, so
 * read it first. Strings are NUL-terminated single-byte text.
 *
 * Both zeb libraries export Init, ErrorCode and ErrorMsg: a host that uses
 * both binds each library's functions by name from its own module (for
 * instance GetProcAddress or dlsym on each library's handle), and includes
 * only one of the two headers per source file. */
#ifndef ZEB_ZEBFOLLOWER_H
#define ZEB_ZEBFOLLOWER_H

#include "zeb_call.h"

ZEB_EXTERN_C_BEGIN

/* Binds the library to `root`, this follower's name `follower` and the
 * `master` it follows (names are plain path components; a follower named
 * like its master would keep its cursor in the master's index file); creates
 * missing directories, joins the master's shared counter and loads this
 * follower's cursor, so it resumes after its last Commit. 0 when a name is
 * refused or too long, a directory cannot be created or the counter cannot
 * be opened. */
ZEB_API int ZEB_CALL Init(const char* root, const char* follower, const char* master);

/* Loads the oldest complete record after the cursor. Numbers the master
 * skipped and files shorter than a record are passed over. 0 with
 * ErrorCode() -1 without a successful Init, when a channel directory is
 * missing, or when the next record file cannot be opened or read; the
 * cursor and the loaded record stay as they were. */
ZEB_API int ZEB_CALL Read(void);

/* Makes the record last loaded by Read the cursor and saves it in this
 * follower's index file (without a Read since Init it saves the cursor
 * unchanged). 0 without Init, or when the index file cannot be written; the
 * next Read then still moves on, but after a restart the record comes again. */
ZEB_API int ZEB_CALL Commit(void);

/* The getters hand out the fields of the record last loaded by Read (all
 * zero before the first). They never fail. GetSymbol points into the
 * library's own record: the same pointer for the library's life, always
 * terminated within the 20-byte symbol field, changing with the next Read. */
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

/* The last call's result: 0, or -1 after a failure. Changes nothing. */
ZEB_API int ZEB_CALL ErrorCode(void);
/* The last failure's message, empty after success. The pointer stays the
 * same for the library's life; the text holds until the next other call. */
ZEB_API const char* ZEB_CALL ErrorMsg(void);

ZEB_EXTERN_C_END

#endif
