#include "interrupt.h"

#include <chrono>
#include <csignal>
#include <thread>

namespace tools {

namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void request_stop(int signal) {
  stop_requested = signal;
}

}  // namespace

void stop_on_interrupt() {
  std::signal(SIGINT, request_stop);
  std::signal(SIGTERM, request_stop);
}

bool interrupted() {
  return stop_requested != 0;
}

int stop_status() {
  return stop_requested != 0 ? 128 + stop_requested : 0;
}

void pause_between_polls() {
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace tools
