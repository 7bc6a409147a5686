#include <csignal>

#include "interrupt.h"

namespace tools {

namespace {

extern "C" void on_signal(int signal) {
  request_stop(signal);
}

}  // namespace

void stop_on_interrupt() {
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
}

}  // namespace tools
