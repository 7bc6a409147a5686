#include <windows.h>

#include <csignal>

#include "interrupt.h"

namespace tools {

namespace {

// Windows ends the process as soon as the handler returns from a console
// close, logoff or shutdown, and on its own a few seconds later. So the
// handler holds on while the program sees the flag, finishes the record at
// hand and returns from main, which ends the process and this thread with
// it, at the latest until this bound: a program that hangs still ends.
constexpr DWORD kLongestWaitMs = 5000;

// A process in session 0 is a service (or runs under one): every user's
// logoff reaches it, and none of them is a reason to stop.
bool runs_as_service() {
  DWORD session = 0;
  return ::ProcessIdToSessionId(::GetCurrentProcessId(), &session) && session == 0;
}

BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      request_stop(SIGINT);
      return TRUE;
    case CTRL_BREAK_EVENT:
      request_stop(SIGBREAK);
      return TRUE;
    case CTRL_LOGOFF_EVENT:
      if (runs_as_service()) return TRUE;
      [[fallthrough]];
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      request_stop(SIGTERM);
      ::Sleep(kLongestWaitMs);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void stop_on_interrupt() {
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

void sharpen_pauses() {}

}  // namespace tools
