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
  int32_t written = 0;  // the newest record written unpublished, 0 when none
  TradeRecord staged = {};
  SharedCounter counter;
  ErrorState error;
};

// Binds the state to a root and master name, makes sure the channel's
// directories exist, opens the shared counter and restores the count.
bool master_init(MasterState& state, const char* root, const char* master);

// Publishes the staged record as the next numbered record file.
bool master_write(MasterState& state);

// What tools ask of a master, so that none reaches into its state. Hosts
// get none of it.

// For a copy of a channel that keeps its source's numbers: writes `record`
// as record `number`, which must lie above the published count and not
// below the records written before it, and leaves it unpublished; numbers
// skipped stay gaps. master_publish_written then writes the index and
// publishes the count up to the newest record written, once for all the
// records written since the last publish: followers see none of them
// before. A write that fails leaves a file above the count, which no
// follower reads and which the same number written again replaces; a crash
// before the publish leaves whole records, which the next Init publishes.
bool master_write_unpublished(MasterState& state, int32_t number, const TradeRecord& record);
bool master_publish_written(MasterState& state);
// Both for one record.
bool master_write_numbered(MasterState& state, int32_t number, const TradeRecord& record);

// The published count, as the shared counter holds it now (0 before Init).
int32_t master_published(const MasterState& state);

// The channel the last successful Init bound (empty before), and what the
// last call reported.
const ChannelPaths& master_paths(const MasterState& state);
const ErrorState& master_error(const MasterState& state);

// A name claimed across the whole machine the way Init claims the master
// name: one holder at a time, from take() until the claim is destroyed or
// its process ends, however it ends. The out bridge claims its channel id
// this way, so that a second one on the machine is refused.
class MachineClaim {
 public:
  // Only once. `paths` is the channel the name belongs to: the name's
  // counter takes the access of its master directory. open_failed leaves
  // the reason in error_text().
  NamedClaim take(const char* name, const ChannelPaths& paths);
  const char* error_text() const { return holder_.error_text(); }

 private:
  SharedCounter holder_;
};

}  // namespace zeb
