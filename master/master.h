#pragma once

#include <cstdint>

#include "channel_paths.h"
#include "error_state.h"
#include "shared_counter.h"
#include "trade_record.h"

namespace zeb {

// Everything the master library knows. The library keeps one in static
// storage; tests make as many as they like.
struct MasterState {
  ChannelPaths paths;  // empty until an Init succeeds
  int32_t count = 0;   // number of the last record Write took a number for
  TradeRecord staged = {};
  SharedCounter counter;
  ErrorState error;
};

// Binds the state to a root and master name, makes sure the channel's
// directories exist, opens the shared counter and restores the count.
bool master_init(MasterState& state, const char* root, const char* master);

// Publishes the staged record as the next numbered record file.
bool master_write(MasterState& state);

// Publishes the staged record under `number`, which must lie above the
// published count; numbers skipped stay gaps. For a copy of a channel that
// keeps its source's numbers; hosts never get it.
bool master_write_numbered(MasterState& state, int32_t number);

}  // namespace zeb
