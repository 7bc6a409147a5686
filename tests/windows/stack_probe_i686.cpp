// The stack check of export_call.h, for 32-bit Windows only. It uses ECX
// alone, which both cdecl and stdcall let a callee clobber, so the target's
// results in EAX, EDX and ST(0) reach the caller untouched.
#include "export_call.h"

namespace zeb::wintest {

extern "C" {
void* zeb_probe_target = nullptr;
uint32_t zeb_probe_expected = 0;
uint32_t zeb_probe_removed = 0;
uint32_t zeb_probe_return asm("zeb_probe_return") = 0;
uint32_t zeb_probe_entry asm("zeb_probe_entry") = 0;
}

asm(R"(
  .text
  .globl zeb_probe
zeb_probe:
  popl %ecx
  movl %ecx, zeb_probe_return
  movl %esp, zeb_probe_entry
  call *zeb_probe_target
  movl %esp, %ecx
  subl zeb_probe_entry, %ecx
  movl %ecx, zeb_probe_removed
  movl zeb_probe_entry, %esp
  addl zeb_probe_expected, %esp
  pushl zeb_probe_return
  ret
)");

}  // namespace zeb::wintest
