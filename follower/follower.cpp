#include "follower.h"

#include "channel_names.h"

namespace zeb {

int32_t follower_init(FollowerState& state, const char* root, const char* follower,
                      const char* master) {
  error_reset(state.error);
  // An Init that fails at any step leaves the state bound to nothing, as
  // before the first Init: no counter, no names, so Read and Commit refuse
  // and no index file is written under names this Init did not bind.
  state.counter.Close();
  state.root[0] = '\0';
  state.follower[0] = '\0';
  state.master[0] = '\0';
  if (!check_root(state.error, root) || !check_name(state.error, follower, "follower name") ||
      !check_name(state.error, master, "master name") ||
      !check_channel_paths(state.error, root, master, follower) ||
      !check_channel_paths(state.error, root, master, master))
    return 0;

  if (!ensure_channel_directories(state.error, "Init", root, master)) return 0;

  // An index file that is there but cannot be read must not pass for 0: a
  // cursor of 0 would replay every record, a seed of 0 would hide them all.
  PathBuffer own_index;
  join_path(own_index, {root, master, kSystemDirectoryName, follower});
  int32_t cursor;
  if (!load_index(own_index, &cursor))
    return error_fail(state.error, "Init: could not read %s file.", own_index);
  if (!open_channel_counter(state.counter, state.error, master)) return 0;

  // Nobody held the counter: this follower is the first to open it since the
  // last holder went away, so it seeds it from what the master persisted.
  // A held counter that still reads 0 was never seeded (its creator may have
  // died before seeding it) and is seeded the same way; a count some live
  // process published is trusted.
  if (!state.counter.already_existed() || state.counter.read() == 0) {
    PathBuffer master_index;
    join_path(master_index, {root, master, kSystemDirectoryName, master});
    int32_t count;
    if (!load_index(master_index, &count)) {
      state.counter.Close();
      return error_fail(state.error, "Init: could not read %s file.", master_index);
    }
    state.counter.raise_to(count);
  }

  copy_name(state.root, root);
  copy_name(state.follower, follower);
  copy_name(state.master, master);
  // Records are numbered from 1; a negative cursor means nothing more than 0.
  state.cursor = cursor < 0 ? 0 : cursor;
  // A Commit before the next successful Read rewrites this cursor unchanged.
  state.pending = state.cursor;
  return 1;
}

int32_t follower_commit(FollowerState& state) {
  error_reset(state.error);
  if (state.follower[0] == '\0')
    return error_fail(state.error, "Commit: Init has not been called.");
  PathBuffer own_index;
  join_path(own_index, {state.root, state.master, kSystemDirectoryName, state.follower});
  // The cursor moves even when its file cannot be written: the host has acted
  // on the record, so the next Read of this run moves on instead of handing
  // it out again. The file keeps the older cursor until a Commit succeeds
  // (retrying is safe); pending never falls below the cursor, so the file
  // never moves backwards.
  state.cursor = state.pending;
  return write_index(state.error, own_index, state.pending);
}

}  // namespace zeb
