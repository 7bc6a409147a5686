#include "direct_read.h"
#include "host_messages.h"

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

// Nearly always the oldest record above the cursor is the file named for the
// next number: opening it by name costs the same at any channel size, where
// the listing grows with every record ever written. `none` leaves the choice
// to the listing (a gap, a short file, an entry that will not open), which
// then decides as if this attempt had never been made.
NextRecord load_following(FollowerState& state, int32_t& number, Path& path) {
  number = state.cursor + 1;
  path = state.paths.record(number);
  switch (load_record_file(path.c_str(), state.received)) {
    case RecordLoad::loaded:
      return NextRecord::loaded;
    case RecordLoad::read_failed:
      // The listing would take this same file first and fail on it the same way.
      return NextRecord::read_failed;
    case RecordLoad::open_failed:
    case RecordLoad::incomplete:
      break;
  }
  return NextRecord::none;
}

bool read_next(FollowerState& state) {
  if (!state.counter.is_open()) return error_fail(state.error, messages::kReadNotInitialised);
  if (keep_channel_counter(state.counter, state.error, "Read", state.paths.master(), OrphanCheck::when_due) ==
      Kept::failed)
    return false;
  if (!channel_directories_exist(state)) return false;
  int32_t count = state.counter.read();
  if (state.cursor == count) return false;
  // The channel holds fewer records than this follower has taken: it was
  // started anew, or its index went back. Going on once the count passes the
  // cursor would skip the new records up to it without a word.
  if (state.cursor > count)
    return error_fail(state.error, messages::kReadCursorAhead, static_cast<int>(state.cursor),
                      static_cast<int>(count));

  Path path;
  int32_t number = 0;
  switch (load_after_cursor(state, count, number, path)) {
    case NextRecord::loaded:
      state.pending = number;
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

NextRecord load_after_cursor(FollowerState& state, int32_t count, int32_t& number, Path& path) {
  NextRecord next = load_following(state, number, path);
  // Every entry whose name reads as a number above the cursor and up to the
  // count is a candidate. One above the count belongs to a Write that has not
  // returned and may still withdraw it; the count always names the newest
  // Write that succeeded, so nothing published is passed over.
  if (next == NextRecord::none)
    next = load_next_record(state.paths, state.cursor, count, state.received, number, path);
  return next;
}

bool follower_read(FollowerState& state) {
  error_reset(state.error);
  try {
    return read_next(state);
  } catch (...) {
    // Nothing may escape to the host, e.g. a candidate list that cannot grow.
    return error_fail(state.error, messages::kReadUnknown);
  }
}

}  // namespace zeb
