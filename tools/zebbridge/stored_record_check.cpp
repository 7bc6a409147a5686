#include "stored_record_check.h"

#include <cstring>

#include "bridge.h"
#include "record_files.h"

namespace zebbridge {

StoredMatch compare_stored_record(const zeb::ChannelPaths& paths, const StoredRecord& stored) {
  zeb::TradeRecord local;
  zeb::Path path;
  int32_t number = 0;
  switch (zeb::load_record_after(paths, stored.number - 1, stored.number, local, number, path)) {
    case zeb::NextRecord::loaded:
      return std::memcmp(&local, &stored.record, sizeof local) == 0 ? StoredMatch::same : StoredMatch::other;
    case zeb::NextRecord::none:
      return StoredMatch::missing;
    case zeb::NextRecord::cannot_list:
    case zeb::NextRecord::open_failed:
    case zeb::NextRecord::read_failed:
      break;
  }
  return StoredMatch::unreadable;
}

bool check_stored_record(const zeb::ChannelPaths& paths, const BridgeConfig& config, const StoredRecord& stored,
                         const std::string& advice, Report& report) {
  StoredMatch match = compare_stored_record(paths, stored);
  if (match == StoredMatch::same) return true;
  std::string held = "stream " + config.stream() + " holds record " + std::to_string(stored.number);
  if (match == StoredMatch::missing) refuse(held + ", which this channel does not hold: " + advice);
  if (match == StoredMatch::other) refuse(held + " unlike this channel's: " + advice);
  report.error("cannot read record " + std::to_string(stored.number) + " in " + paths.master_dir() +
               " to compare it with the stream's");
  return false;
}

}  // namespace zebbridge
