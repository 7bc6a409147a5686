#include "tool_os.h"

#include <windows.h>

#include <csignal>

namespace zeb::platform {

namespace {

void (*stop_requested)(int) = nullptr;

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
      stop_requested(SIGINT);
      return TRUE;
    case CTRL_BREAK_EVENT:
      stop_requested(SIGBREAK);
      return TRUE;
    case CTRL_LOGOFF_EVENT:
      if (runs_as_service()) return TRUE;
      [[fallthrough]];
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      stop_requested(SIGTERM);
      ::Sleep(kLongestWaitMs);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void call_on_stop_request(void (*on_stop)(int signal)) {
  stop_requested = on_stop;
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

EntryInfo entry_info(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) return {EntryType::missing, 0};
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return {EntryType::other, 0};
  return {EntryType::regular, (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow};
}

// An anonymous pipe's writer learns that the reader is gone only by writing.
void report_broken_pipes() {
  // Windows raises no signal for a broken pipe: the write fails.
}

bool output_abandoned() {
  return false;
}

std::string library_load_error() {
  return "LoadLibrary failed with error " + std::to_string(::GetLastError());
}

void sharpen_pauses() {
  // Sleeps last whole ticks of the system timer whatever is asked.
}

}  // namespace zeb::platform
