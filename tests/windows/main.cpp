// The Windows test program: runs the suite, or plays one role of a
// multi-process case when its first argument names one (roles.h).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "roles.h"

namespace {

// An exception nobody handles ends the process at once with a failing exit
// code, instead of waiting for a debugger (Wine starts one by default).
LONG WINAPI end_on_crash(EXCEPTION_POINTERS* crash) {
  std::fprintf(stderr, "unhandled exception 0x%08lX\n",
               static_cast<unsigned long>(crash->ExceptionRecord->ExceptionCode));
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
  // A crash ends the process with an exit code instead of a dialog.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::SetUnhandledExceptionFilter(end_on_crash);
  if (argc > 1 && zeb::wintest::is_role(argv[1])) return zeb::wintest::run_role(argc - 1, argv + 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
