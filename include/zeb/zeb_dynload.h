/* zeb_dynload: binding the zeb libraries by name at run time.
 *
 * For hosts that load a library by file name and look up each export, as
 * most host trading programs do: one function-pointer type per export, and
 * a small loader that fills a struct per library in one call.
 *
 *     zebfollower_api follower;
 *     const char* missing = zebfollower_load(&follower, "zebfollower.dll");
 *     if (missing) { ... report "could not load <missing>" ... }
 *     if (follower.Init("C:\\trades", "copier-1", "Alpha") != 1) { ... follower.ErrorMsg() ... }
 *     ...
 *     zebfollower_unload(&follower);
 *
 * Each struct holds its own library's functions, so one program can bind
 * both libraries (which both export Init, ErrorCode and ErrorMsg). Load a
 * library once per process: a second load of the same file shares the first
 * one's state. Header-only, C90 and C++; on POSIX systems link with -ldl
 * where the C library needs it. */
#ifndef ZEB_ZEB_DYNLOAD_H
#define ZEB_ZEB_DYNLOAD_H

#include <string.h>

#include "zeb_call.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

#if defined(__cplusplus)
#  define ZEB_DYNLOAD_FN static inline
#elif defined(__GNUC__)
#  define ZEB_DYNLOAD_FN static __inline__
#elif defined(_MSC_VER)
#  define ZEB_DYNLOAD_FN static __inline
#else
#  define ZEB_DYNLOAD_FN static
#endif

ZEB_EXTERN_C_BEGIN

/* zebmaster's exports. */
typedef int(ZEB_CALL* zebmaster_Init_fn)(const char* root, const char* master);
typedef int(ZEB_CALL* zebmaster_Write_fn)(void);
typedef void(ZEB_CALL* zebmaster_SetCmd_fn)(int cmd);
typedef void(ZEB_CALL* zebmaster_SetTicket_fn)(int ticket);
typedef void(ZEB_CALL* zebmaster_SetType_fn)(int type);
typedef void(ZEB_CALL* zebmaster_SetSymbol_fn)(const char* symbol);
typedef void(ZEB_CALL* zebmaster_SetLot_fn)(double lot);
typedef void(ZEB_CALL* zebmaster_SetOpenPrice_fn)(double price);
typedef void(ZEB_CALL* zebmaster_SetSL_fn)(double price);
typedef void(ZEB_CALL* zebmaster_SetTP_fn)(double price);
typedef void(ZEB_CALL* zebmaster_SetClosePrice_fn)(double price);
typedef void(ZEB_CALL* zebmaster_SetTimeLocal_fn)(int time);
typedef void(ZEB_CALL* zebmaster_SetTimeServer_fn)(int time);
typedef int(ZEB_CALL* zebmaster_ErrorCode_fn)(void);
typedef const char*(ZEB_CALL* zebmaster_ErrorMsg_fn)(void);

/* zebfollower's exports. */
typedef int(ZEB_CALL* zebfollower_Init_fn)(const char* root, const char* follower, const char* master);
typedef int(ZEB_CALL* zebfollower_Read_fn)(void);
typedef int(ZEB_CALL* zebfollower_Commit_fn)(void);
typedef int(ZEB_CALL* zebfollower_GetCmd_fn)(void);
typedef int(ZEB_CALL* zebfollower_GetTicket_fn)(void);
typedef int(ZEB_CALL* zebfollower_GetType_fn)(void);
typedef const char*(ZEB_CALL* zebfollower_GetSymbol_fn)(void);
typedef double(ZEB_CALL* zebfollower_GetLot_fn)(void);
typedef double(ZEB_CALL* zebfollower_GetOpenPrice_fn)(void);
typedef double(ZEB_CALL* zebfollower_GetSL_fn)(void);
typedef double(ZEB_CALL* zebfollower_GetTP_fn)(void);
typedef double(ZEB_CALL* zebfollower_GetClosePrice_fn)(void);
typedef int(ZEB_CALL* zebfollower_GetTimeLocal_fn)(void);
typedef int(ZEB_CALL* zebfollower_GetTimeServer_fn)(void);
typedef int(ZEB_CALL* zebfollower_ErrorCode_fn)(void);
typedef const char*(ZEB_CALL* zebfollower_ErrorMsg_fn)(void);

/* One loaded zebmaster: its module handle and every export. */
typedef struct zebmaster_api {
  void* module;
  zebmaster_Init_fn Init;
  zebmaster_Write_fn Write;
  zebmaster_SetCmd_fn SetCmd;
  zebmaster_SetTicket_fn SetTicket;
  zebmaster_SetType_fn SetType;
  zebmaster_SetSymbol_fn SetSymbol;
  zebmaster_SetLot_fn SetLot;
  zebmaster_SetOpenPrice_fn SetOpenPrice;
  zebmaster_SetSL_fn SetSL;
  zebmaster_SetTP_fn SetTP;
  zebmaster_SetClosePrice_fn SetClosePrice;
  zebmaster_SetTimeLocal_fn SetTimeLocal;
  zebmaster_SetTimeServer_fn SetTimeServer;
  zebmaster_ErrorCode_fn ErrorCode;
  zebmaster_ErrorMsg_fn ErrorMsg;
} zebmaster_api;

/* One loaded zebfollower: its module handle and every export. */
typedef struct zebfollower_api {
  void* module;
  zebfollower_Init_fn Init;
  zebfollower_Read_fn Read;
  zebfollower_Commit_fn Commit;
  zebfollower_GetCmd_fn GetCmd;
  zebfollower_GetTicket_fn GetTicket;
  zebfollower_GetType_fn GetType;
  zebfollower_GetSymbol_fn GetSymbol;
  zebfollower_GetLot_fn GetLot;
  zebfollower_GetOpenPrice_fn GetOpenPrice;
  zebfollower_GetSL_fn GetSL;
  zebfollower_GetTP_fn GetTP;
  zebfollower_GetClosePrice_fn GetClosePrice;
  zebfollower_GetTimeLocal_fn GetTimeLocal;
  zebfollower_GetTimeServer_fn GetTimeServer;
  zebfollower_ErrorCode_fn ErrorCode;
  zebfollower_ErrorMsg_fn ErrorMsg;
} zebfollower_api;

/* Any function pointer; each export is cast to its own type once bound. */
typedef void (*zeb_dynload_any_fn)(void);

ZEB_DYNLOAD_FN void* zeb_dynload_open(const char* path) {
#if defined(_WIN32)
  return (void*)LoadLibraryA(path);
#else
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
}

ZEB_DYNLOAD_FN void zeb_dynload_close(void* module) {
  if (!module) return;
#if defined(_WIN32)
  FreeLibrary((HMODULE)module);
#else
  dlclose(module);
#endif
}

ZEB_DYNLOAD_FN zeb_dynload_any_fn zeb_dynload_symbol(void* module, const char* name) {
#if defined(_WIN32)
  return (zeb_dynload_any_fn)GetProcAddress((HMODULE)module, name);
#else
  /* ISO C has no cast from an object pointer to a function pointer; POSIX
   * makes them the same size, so the bytes are copied. */
  void* address = dlsym(module, name);
  zeb_dynload_any_fn function;
  memcpy(&function, &address, sizeof function);
  return function;
#endif
}

/* Binds API->NAME of library PREFIX, or unloads and returns NAME. */
#define ZEB_DYNLOAD_BIND(api, prefix, name)                                          \
  (api)->name = (prefix##_##name##_fn)zeb_dynload_symbol((api)->module, #name);     \
  if (!(api)->name) {                                                                \
    zeb_dynload_close((api)->module);                                                \
    memset((api), 0, sizeof *(api));                                                 \
    return #name;                                                                    \
  }

/* Loads zebmaster from PATH (a file name, or a path) and binds every export.
 * Returns 0 when all are bound; otherwise what was missing: PATH itself when
 * the library could not be loaded, else the export's name. On failure API is
 * all zero and nothing stays loaded. */
ZEB_DYNLOAD_FN const char* zebmaster_load(zebmaster_api* api, const char* path) {
  memset(api, 0, sizeof *api);
  api->module = zeb_dynload_open(path);
  if (!api->module) return path;
  ZEB_DYNLOAD_BIND(api, zebmaster, Init)
  ZEB_DYNLOAD_BIND(api, zebmaster, Write)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetCmd)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetTicket)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetType)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetSymbol)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetLot)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetOpenPrice)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetSL)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetTP)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetClosePrice)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetTimeLocal)
  ZEB_DYNLOAD_BIND(api, zebmaster, SetTimeServer)
  ZEB_DYNLOAD_BIND(api, zebmaster, ErrorCode)
  ZEB_DYNLOAD_BIND(api, zebmaster, ErrorMsg)
  return 0;
}

/* Loads zebfollower from PATH and binds every export; as zebmaster_load. */
ZEB_DYNLOAD_FN const char* zebfollower_load(zebfollower_api* api, const char* path) {
  memset(api, 0, sizeof *api);
  api->module = zeb_dynload_open(path);
  if (!api->module) return path;
  ZEB_DYNLOAD_BIND(api, zebfollower, Init)
  ZEB_DYNLOAD_BIND(api, zebfollower, Read)
  ZEB_DYNLOAD_BIND(api, zebfollower, Commit)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetCmd)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetTicket)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetType)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetSymbol)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetLot)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetOpenPrice)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetSL)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetTP)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetClosePrice)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetTimeLocal)
  ZEB_DYNLOAD_BIND(api, zebfollower, GetTimeServer)
  ZEB_DYNLOAD_BIND(api, zebfollower, ErrorCode)
  ZEB_DYNLOAD_BIND(api, zebfollower, ErrorMsg)
  return 0;
}

/* Unloads a library bound by zebmaster_load; API becomes all zero. */
ZEB_DYNLOAD_FN void zebmaster_unload(zebmaster_api* api) {
  zeb_dynload_close(api->module);
  memset(api, 0, sizeof *api);
}

/* Unloads a library bound by zebfollower_load; API becomes all zero. */
ZEB_DYNLOAD_FN void zebfollower_unload(zebfollower_api* api) {
  zeb_dynload_close(api->module);
  memset(api, 0, sizeof *api);
}

ZEB_EXTERN_C_END

#endif
