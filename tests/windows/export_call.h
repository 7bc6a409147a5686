#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "zeb/zeb_call.h"
#include "zeb/zeb_dynload.h"

// Calls into the DLLs the way a host trading program does: through a stdcall
// function pointer that zeb_dynload.h bound by the plain name. On 32-bit
// Windows every call also checks that the callee removed exactly its own
// arguments from the stack, as stdcall requires.
namespace zeb::wintest {

// The argument bytes a stdcall callee removes: whole 4-byte slots.
template <typename... A>
constexpr uint32_t stack_bytes() {
  return (0u + ... + static_cast<uint32_t>((sizeof(A) + 3) / 4 * 4));
}

#if defined(__i386__)
// A trampoline (stack_probe_i686.cpp) that calls zeb_probe_target with the
// arguments its caller pushed, stores in zeb_probe_removed how many bytes the
// target removed, and returns as a correct stdcall callee of
// zeb_probe_expected bytes would, so the caller goes on either way.
extern "C" {
extern void* zeb_probe_target asm("zeb_probe_target");
extern uint32_t zeb_probe_expected asm("zeb_probe_expected");
extern uint32_t zeb_probe_removed asm("zeb_probe_removed");
void zeb_probe() asm("zeb_probe");
}
#endif

template <typename R, typename... A>
R call_checked(R(ZEB_CALL* fn)(A...), const char* name, A... args) {
#if defined(__i386__)
  zeb_probe_target = reinterpret_cast<void*>(fn);
  zeb_probe_expected = stack_bytes<A...>();
  struct Check {
    const char* name;
    ~Check() {
      EXPECT_EQ(zeb_probe_removed, zeb_probe_expected) << name << " moved the stack pointer";
    }
  } check{name};
  return reinterpret_cast<R(ZEB_CALL*)(A...)>(&zeb_probe)(args...);
#else
  (void)name;
  return fn(args...);
#endif
}

// The export last bound into one member of an API struct, and its name, for
// the checked stand-in below: one pair per member.
template <auto member, typename R, typename... A>
inline R(ZEB_CALL* checked_target)(A...) = nullptr;
template <auto member>
inline const char* checked_name = nullptr;

// A stdcall function of the export's own type that calls it through
// call_checked.
template <auto member, typename R, typename... A>
R ZEB_CALL checked_call(A... args) {
  return call_checked<R, A...>(checked_target<member, R, A...>, checked_name<member>, args...);
}

// Has every later call through `slot`, the member `member` of an API struct
// that zeb_dynload.h filled, go through the check.
template <auto member, typename R, typename... A>
void check_export(R(ZEB_CALL*& slot)(A...), const char* name) {
  checked_target<member, R, A...> = slot;
  checked_name<member> = name;
  slot = &checked_call<member, R, A...>;
}

}  // namespace zeb::wintest
