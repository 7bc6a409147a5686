#pragma once

#include <string>

#include "bridge_config.h"
#include "bridge_report.h"
#include "channel_paths.h"
#include "nats_link.h"

namespace zebbridge {

enum class StoredMatch { same, missing, other, unreadable };

// Whether the channel's record of `stored.number` holds the stream's bytes,
// is missing, holds other bytes, or cannot be read now.
StoredMatch compare_stored_record(const zeb::ChannelPaths& paths, const StoredRecord& stored);

// Refuses, giving `advice`, when the channel's record of `stored.number` is
// missing or holds other bytes than the stream's: the stream is then not
// this channel's, or the channel was started anew. False when the channel
// cannot be read now.
bool check_stored_record(const zeb::ChannelPaths& paths, const BridgeConfig& config, const StoredRecord& stored,
                         const std::string& advice, Report& report);

}  // namespace zebbridge
