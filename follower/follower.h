#pragma once

#include <cstdint>

#include "channel_store.h"
#include "error_state.h"
#include "map_file.h"
#include "trade_record.h"

namespace zeb {

// Everything the follower library knows. The library keeps one in static
// storage; tests make as many as they like.
struct FollowerState {
  PathBuffer root = {};
  PathBuffer follower = {};
  PathBuffer master = {};
  int32_t cursor = 0;   // number of the last record this follower committed
  int32_t pending = 0;  // number of the record the last successful Read loaded
  TradeRecord received = {};
  MapFile counter;
  ErrorState error;
};

// Binds the state to a root, follower name and master name, makes sure the
// channel's directories exist, joins (and if new, seeds) the master's counter
// and loads the cursor.
int32_t follower_init(FollowerState& state, const char* root, const char* follower,
                      const char* master);

// Loads the oldest complete record after the cursor. 1 when a record was
// loaded; 0 with code 0 when there is nothing new; 0 with code -1 on failure.
int32_t follower_read(FollowerState& state);

// Makes the record last loaded the cursor and persists it.
int32_t follower_commit(FollowerState& state);

}  // namespace zeb
