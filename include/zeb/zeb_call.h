/* Calling convention and linkage shared by the zeb libraries' exports.
 *
 * On Windows every export is a stdcall function (the callee removes its
 * arguments) exported under its plain, undecorated name. On other systems the
 * exports are plain C functions with default visibility; everything else in
 * the libraries is hidden. */
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
