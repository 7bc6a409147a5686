#pragma once

#include <cstdint>

#include "channel_paths.h"
#include "error_state.h"
#include "shared_counter.h"
#include "trade_record.h"

namespace zeb {

// Everything the follower library knows. The library keeps one in static
// storage; tests make as many as they like.
struct FollowerState {
  ChannelPaths paths;   // owned by the follower; empty until an Init succeeds
  int32_t cursor = 0;   // number of the last record this follower committed
  int32_t pending = 0;  // number of the record the last successful Read loaded
  TradeRecord received = {};
  SharedCounter counter;
  ErrorState error;
};

// Binds the state to a root, follower name and master name, makes sure the
// channel's directories exist, joins (and if new, seeds) the master's counter
// and loads the cursor.
bool follower_init(FollowerState& state, const char* root, const char* follower, const char* master);

// Loads the oldest complete record after the cursor. True when a record was
// loaded; false with code 0 when there is nothing new, with code -1 on failure.
bool follower_read(FollowerState& state);

// Makes the record last loaded the cursor and persists it.
bool follower_commit(FollowerState& state);

// What tools ask of a follower, so that none reaches into its state. Hosts
// get none of it.

// The record the last successful Read loaded, and its number.
struct LoadedRecord {
  int32_t number;
  TradeRecord record;
};
LoadedRecord follower_loaded(const FollowerState& state);

// For a tool that keeps records in hand between Read and Commit (the out
// bridge, with many publishes in flight): loads into `loaded` the oldest
// complete record numbered above `after`, by Read's rule and with Read's
// checks, where `after` may lie above or below the cursor. Leaves what Read
// and Commit use untouched. Results as Read's, except that a missing channel
// directory is looked for only when no record loads (a record that loads
// shows them there, and a tool reading many saves the look); a record read
// ahead that the published count fell below fails as a cursor above the
// count does.
bool follower_read_after(FollowerState& state, int32_t after, LoadedRecord& loaded);

// Makes record `number`, one that follower_read_after loaded, the cursor and
// persists it; a number below the cursor fails, as the cursor never goes back.
bool follower_commit_at(FollowerState& state, int32_t number);

// The published count, as the shared counter holds it now (0 before Init).
int32_t follower_published(const FollowerState& state);

// The channel the last successful Init bound (empty before), and what the
// last call reported.
const ChannelPaths& follower_paths(const FollowerState& state);
const ErrorState& follower_error(const FollowerState& state);

// The count followers act on, learnt from outside: the live counter when some
// process holds it (read without creating, joining or seeding it), else the
// master index, which a follower starting now would seed it with. `denied`:
// the counter is there, but this user may not read it.
struct PublishedCount {
  bool live;
  int32_t count;
  bool denied;
};
PublishedCount published_count(const ChannelPaths& paths);

}  // namespace zeb
