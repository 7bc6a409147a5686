#include "bridge.h"

#include <algorithm>

#include "command_line.h"
#include "interrupt.h"
#include "platform/platform.h"

namespace zebbridge {

void refuse(const std::string& message) {
  throw zebctl::Failure{kRefused, message};
}

void Backoff::wait() {
  for (unsigned waited = 0; waited < delay_ms_ && !zebctl::interrupted(); waited += 50) zeb::platform::sleep_ms(50);
  delay_ms_ = std::min(delay_ms_ * 2, kLastMs);
}

bool note_connection(NatsLink& link, Report& report) {
  if (link.take_disconnected()) report.event("disconnected", "disconnected from the server; reconnecting");
  if (!link.take_connected()) return false;
  report.event("connected", "connected to the server");
  return true;
}

}  // namespace zebbridge
