#pragma once

#include <cstdint>

#include "channel_store.h"
#include "error_state.h"
#include "map_file.h"
#include "trade_record.h"

namespace zeb {

// Everything the master library knows. The library keeps one in static
// storage; tests make as many as they like.
struct MasterState {
  PathBuffer root = {};
  PathBuffer master = {};
  int32_t count = 0;  // number of the last record Write took a number for
  TradeRecord staged = {};
  MapFile counter;
  ErrorState error;
};

// Binds the state to a root and master name, makes sure the channel's
// directories exist, opens the shared counter and restores the count.
int32_t master_init(MasterState& state, const char* root, const char* master);

// Publishes the staged record as the next numbered record file.
int32_t master_write(MasterState& state);

}  // namespace zeb
