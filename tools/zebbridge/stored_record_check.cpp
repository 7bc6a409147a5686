#include "stored_record_check.h"

#include <cstring>

#include "bridge.h"
#include "record_files.h"

namespace zebbridge {

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

}  // namespace zebbridge
