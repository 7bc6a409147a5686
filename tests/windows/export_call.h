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

template <typename Signature>
class Export;

// One export of a loaded DLL, bound by its plain name.
template <typename R, typename... A>
class Export<R(A...)> {
 public:
  Export(HMODULE module, const char* name)
      : fn_(reinterpret_cast<Fn>(zeb_dynload_symbol(module, name))),
        name_(name) {
    EXPECT_NE(fn_, nullptr) << "no export named " << name;
  }
  R operator()(A... args) const { return call_checked<R, A...>(fn_, name_, args...); }
  // Without the stack check, whose trampoline keeps its state in globals:
  // for calls from several threads at once.
  R unchecked(A... args) const { return fn_(args...); }

 private:
  using Fn = R(ZEB_CALL*)(A...);
  Fn fn_;
  const char* name_;
};

}  // namespace zeb::wintest
