#pragma once

#include "trade_record.h"
#include "zeb/zeb_dynload.h"

namespace tools {

// Hands `record` to a loaded master library through its setters, ready for
// its Write.
void stage_record(const zebmaster_api& master, const zeb::TradeRecord& record);

// The record the last Read of a loaded follower library took, as its getters
// hand it out.
zeb::TradeRecord received_record(const zebfollower_api& follower);

}  // namespace tools
