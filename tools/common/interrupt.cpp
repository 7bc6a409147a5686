#include "interrupt.h"

#include "platform/tool_os.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace tools {

namespace {

// Set by a signal handler or by a handler thread: lock-free, so it serves both.
static_assert(std::atomic<int>::is_always_lock_free);
std::atomic<int> stop_requested{0};

}  // namespace

void request_stop(int signal) {
  stop_requested = signal;
}

void stop_on_interrupt() {
  zeb::platform::call_on_stop_request(request_stop);
}

bool interrupted() {
  return stop_requested != 0;
}

int stop_status() {
  int signal = stop_requested;
  return signal != 0 ? 128 + signal : 0;
}

void pause_between_polls() {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void sharpen_pauses() {
  zeb::platform::sharpen_pauses();
}

}  // namespace tools
