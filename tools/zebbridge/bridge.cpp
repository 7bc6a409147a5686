#include "bridge.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "command_line.h"
#include "interrupt.h"
#include "record_files.h"

namespace zebbridge {

void refuse(const std::string& message) {
  throw tools::Failure{kRefused, message};
}

void Backoff::wait() {
  for (unsigned waited = 0; waited < delay_ms_ && !tools::interrupted(); waited += 50)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  delay_ms_ = std::min(delay_ms_ * 2, kLastMs);
}

bool check_stored_record(const zeb::ChannelPaths& paths, const BridgeConfig& config, const StoredRecord& stored,
                         const std::string& advice, Report& report) {
  zeb::TradeRecord local;
  zeb::Path path;
  int32_t number = 0;
  zeb::NextRecord found = zeb::load_record_after(paths, stored.number - 1, stored.number, local, number, path);
  if (found == zeb::NextRecord::loaded && std::memcmp(&local, &stored.record, sizeof local) == 0) return true;
  std::string held = "stream " + config.stream() + " holds record " + std::to_string(stored.number);
  if (found == zeb::NextRecord::none) refuse(held + ", which this channel does not hold: " + advice);
  if (found == zeb::NextRecord::loaded) refuse(held + " unlike this channel's: " + advice);
  report.error("cannot read record " + std::to_string(stored.number) + " in " + paths.master_dir() +
               " to compare it with the stream's");
  return false;
}

bool note_connection(NatsLink& link, Report& report) {
  if (link.take_disconnected()) report.event("disconnected", "disconnected from the server; reconnecting");
  if (!link.take_connected()) return false;
  report.event("connected", "connected to the server");
  return true;
}

}  // namespace zebbridge
