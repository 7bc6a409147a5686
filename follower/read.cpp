#include "follower.h"
#include "record_files.h"

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

int32_t read_next(FollowerState& state) {
  if (!state.counter.is_open()) return error_fail(state.error, "Read: could not get MapFile pointer.");
  if (!channel_directories_exist(state)) return 0;
  if (state.cursor >= state.counter.read()) return 0;

  // Every entry whose name reads as a number above the cursor is a
  // candidate, also above the published count.
  PathBuffer path;
  int32_t number = 0;
  switch (load_next_record(state.root, state.master, state.cursor, INT32_MAX, state.received, number,
                           path)) {
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
