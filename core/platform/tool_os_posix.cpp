#include "tool_os.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

namespace zeb::platform {

namespace {

void (*stop_requested)(int) = nullptr;

extern "C" void on_signal(int signal) {
  stop_requested(signal);
}

}  // namespace

void call_on_stop_request(void (*on_stop)(int signal)) {
  stop_requested = on_stop;
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
}

EntryInfo entry_info(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return {EntryType::missing, 0};
  if (!S_ISREG(info.st_mode)) return {EntryType::other, 0};
  return {EntryType::regular, static_cast<uint64_t>(info.st_size)};
}

void report_broken_pipes() {
  ::signal(SIGPIPE, SIG_IGN);
}

bool output_abandoned() {
  // A pipe whose reader has gone reports an error to poll; a file or a
  // terminal that can still be written reports nothing when nothing is asked.
  pollfd out = {STDOUT_FILENO, 0, 0};
  return ::poll(&out, 1, 0) > 0 && (out.revents & (POLLERR | POLLHUP)) != 0;
}

std::string library_load_error() {
  const char* reason = ::dlerror();
  return reason != nullptr ? reason : "no reason given";
}

void sharpen_pauses() {
  // One microsecond of slack instead of fifty.
  ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
}

}  // namespace zeb::platform
