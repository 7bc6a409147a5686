#include <algorithm>

#include "follower.h"
#include "host_messages.h"
#include "record_files.h"

namespace zeb {

namespace {

// Reports a missing channel directory; true when all three exist.
bool channel_directories_exist(FollowerState& state) {
  const ChannelPaths& paths = state.paths;
  if (!platform::path_exists(paths.root()))
    return error_fail(state.error, messages::kReadNoRoot, paths.root());
  if (!platform::path_exists(paths.master_dir()))
    return error_fail(state.error, messages::kReadNoMasterDirectory, paths.master_dir());
  if (!platform::path_exists(paths.system_dir()))
    return error_fail(state.error, messages::kReadNoSystemDirectory, paths.system_dir());
  return true;
}

// Loads the oldest complete record above `after` into `record`; `taken` is
// the highest number the caller has had, which the count must not be below.
// Unless `directories_first`, the channel's directories are looked at only
// when no record loads, which is enough to report one that is missing.
bool read_next(FollowerState& state, int32_t after, int32_t taken, TradeRecord& record, int32_t& number,
               bool directories_first) {
  if (!state.counter.is_open()) return error_fail(state.error, messages::kReadNotInitialised);
  if (keep_channel_counter(state.counter, state.error, "Read", state.paths.master(), OrphanCheck::when_due) ==
      Kept::failed)
    return false;
  if (directories_first && !channel_directories_exist(state)) return false;
  int32_t count = state.counter.read();
  // The channel holds fewer records than this follower has taken: it was
  // started anew, or its index went back. Going on once the count passes the
  // cursor would skip the new records up to it without a word.
  if (taken > count)
    return error_fail(state.error, messages::kReadCursorAhead, static_cast<int>(taken), static_cast<int>(count));
  if (after == count) return false;

  Path path;
  // Every entry whose name reads as a number above the cursor and up to the
  // count is a candidate. One above the count belongs to a Write that has not
  // returned and may still withdraw it; the count always names the newest
  // Write that succeeded, so nothing published is passed over.
  NextRecord found = load_record_after(state.paths, after, count, record, number, path);
  if (found == NextRecord::loaded) return true;
  if (!directories_first && !channel_directories_exist(state)) return false;
  switch (found) {
    case NextRecord::loaded:
      return true;
    case NextRecord::cannot_list:
      return error_fail(state.error, messages::kReadListFailed);
    case NextRecord::open_failed:
      return error_fail(state.error, messages::kReadOpenFailed, path.c_str());
    case NextRecord::read_failed:
      return error_fail(state.error, messages::kReadFailed, path.c_str());
    case NextRecord::none:
      break;
  }
  return error_fail(state.error, messages::kReadUnknown);
}

}  // namespace

bool follower_read(FollowerState& state) {
  error_reset(state.error);
  try {
    int32_t number = 0;
    if (!read_next(state, state.cursor, state.cursor, state.received, number, true)) return false;
    state.pending = number;
    return true;
  } catch (...) {
    // Nothing may escape to the host, e.g. a candidate list that cannot grow.
    return error_fail(state.error, messages::kReadUnknown);
  }
}

bool follower_read_after(FollowerState& state, int32_t after, LoadedRecord& loaded) {
  error_reset(state.error);
  try {
    return read_next(state, after, std::max(after, state.cursor), loaded.record, loaded.number, false);
  } catch (...) {
    return error_fail(state.error, messages::kReadUnknown);
  }
}

}  // namespace zeb
