/* Calling convention and linkage shared by the zeb libraries' exports.
 *
 * ZEB_CALL is the calling convention of every export: stdcall on Windows (the
 * callee removes its arguments; on 64-bit Windows there is one convention and
 * the keyword changes nothing), exported under the plain, undecorated name.
 * On other systems the exports are plain C functions with default visibility;
 * everything else in the libraries is hidden. ZEB_API marks a declaration as
 * an export. Both headers are plain C89 and C++: no handles, no structs. */
#ifndef ZEB_ZEB_CALL_H
#define ZEB_ZEB_CALL_H

#if defined(_WIN32)
#  define ZEB_CALL __stdcall
#  define ZEB_API
#else
#  define ZEB_CALL
#  define ZEB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define ZEB_EXTERN_C_BEGIN extern "C" {
#  define ZEB_EXTERN_C_END }
#else
#  define ZEB_EXTERN_C_BEGIN
#  define ZEB_EXTERN_C_END
#endif

#endif
