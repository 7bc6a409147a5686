#include "direct_read.h"

namespace zeb {

namespace {

// Reports a missing channel directory; true when all three exist.
bool channel_directories_exist(FollowerState& state) {
  PathBuffer master_dir, system_dir;
  join_path(master_dir, {state.root, state.master});
  join_path(system_dir, {state.root, state.master, kSystemDirectoryName});
  if (!platform::path_exists(state.root))
    return error_fail(state.error, "Read: root directory not found: %s", state.root);
  if (!platform::path_exists(master_dir))
    return error_fail(state.error, "Read: master directory not found: %s", master_dir);
  if (!platform::path_exists(system_dir))
    return error_fail(state.error, "Read: system directory not found: %s", system_dir);
  return true;
}

// Nearly always the oldest record above the cursor is the file named for the
// next number: opening it by name costs the same at any channel size, where
// the listing grows with every record ever written. `none` leaves the choice
// to the listing (a gap, a short file, an entry that will not open), which
// then decides as if this attempt had never been made.
NextRecord load_following(FollowerState& state, int32_t& number, PathBuffer& path) {
  number = state.cursor + 1;
  char name[16];
  record_file_name(name, number);
  join_path(path, {state.root, state.master, name});
  switch (load_record_file(path, state.received)) {
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

int32_t read_next(FollowerState& state) {
  if (!state.counter.is_open()) return error_fail(state.error, "Read: could not get MapFile pointer.");
  if (!keep_channel_counter(state.counter, state.error, "Read", state.master, OrphanCheck::when_due))
    return 0;
  if (!channel_directories_exist(state)) return 0;
  int32_t count = state.counter.read();
  if (state.cursor >= count) return 0;

  PathBuffer path;
  int32_t number = 0;
  switch (load_after_cursor(state, count, number, path)) {
    case NextRecord::loaded:
      state.pending = number;
      return 1;
    case NextRecord::cannot_list:
      return error_fail(state.error, "Read: FindFirstFile failed.");
    case NextRecord::open_failed:
      return error_fail(state.error, "Read: could not open %s file.", path);
    case NextRecord::read_failed:
      return error_fail(state.error, "Read: ReadFile %s error.", path);
    case NextRecord::none:
      break;
  }
  return error_fail(state.error, "Read: unknown exception");
}

}  // namespace

NextRecord load_after_cursor(FollowerState& state, int32_t count, int32_t& number, PathBuffer& path) {
  NextRecord next = load_following(state, number, path);
  // Every entry whose name reads as a number above the cursor and up to the
  // count is a candidate. One above the count belongs to a Write that has not
  // returned and may still withdraw it; the count always names the newest
  // Write that succeeded, so nothing published is passed over.
  if (next == NextRecord::none)
    next = load_next_record(state.root, state.master, state.cursor, count, state.received, number, path);
  return next;
}

int32_t follower_read(FollowerState& state) {
  error_reset(state.error);
  try {
    return read_next(state);
  } catch (...) {
    // Nothing may escape to the host, e.g. a candidate list that cannot grow.
    return error_fail(state.error, "Read: unknown exception");
  }
}

}  // namespace zeb
