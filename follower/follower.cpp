#include "follower.h"

#include "channel_names.h"
#include "host_messages.h"
#include "index_file.h"

namespace zeb {

bool follower_init(FollowerState& state, const char* root, const char* follower, const char* master) {
  error_reset(state.error);
  // An Init that fails at any step leaves the state bound to nothing, as
  // before the first Init: no counter, no paths, so Read and Commit refuse
  // and no index file is written under names this Init did not bind.
  state.counter.close();
  state.paths = ChannelPaths();
  ChannelPaths paths;
  if (!check_root(state.error, root) || !check_name(state.error, follower, "follower name") ||
      !check_name(state.error, master, "master name"))
    return false;
  // Its index file would be the master's, which its Commit would rewrite.
  if (platform::same_name(follower, master))
    return error_fail(state.error, "Init: follower name must not be the master name: %s", follower);
  if (!paths.set(state.error, root, master, follower) || !ensure_channel_directories(state.error, "Init", paths) ||
      !paths.name_counter_as_stored(state.error))
    return false;

  // An index file that is there but cannot be read must not pass for 0: a
  // cursor of 0 would replay every record, a seed of 0 would hide them all.
  Path own_index = paths.index(follower);
  IndexNumber cursor = read_index(own_index.c_str());
  if (!cursor.known) return error_fail(state.error, messages::kInitIndexUnreadable, own_index.c_str());
  if (!open_channel_counter(state.counter, state.error, paths)) return false;

  // Nobody held the counter: this follower is the first to open it since the
  // last holder went away, so it seeds it from what the master persisted.
  // A held counter that still reads 0 was never seeded (its creator may have
  // died before seeding it) and is seeded the same way; a count some live
  // process published is trusted.
  if (!state.counter.already_existed() || state.counter.read() == 0) {
    Path master_index = paths.index(master);
    IndexNumber count = read_index(master_index.c_str());
    if (!count.known) {
      state.counter.close();
      return error_fail(state.error, messages::kInitIndexUnreadable, master_index.c_str());
    }
    state.counter.raise_to(count.value);
  }

  state.paths = paths;
  // Records are numbered from 1; a negative cursor means nothing more than 0.
  state.cursor = cursor.value < 0 ? 0 : cursor.value;
  // A Commit before the next successful Read rewrites this cursor unchanged.
  state.pending = state.cursor;
  return true;
}

bool follower_commit(FollowerState& state) {
  error_reset(state.error);
  const ChannelPaths& paths = state.paths;
  if (!paths.is_set()) return error_fail(state.error, messages::kCommitNotInitialised);
  const char* follower = paths.owner();
  // The cursor moves even when its file cannot be written: the host has acted
  // on the record, so the next Read of this run moves on instead of handing
  // it out again. The file keeps the older cursor until a Commit succeeds
  // (retrying is safe); pending never falls below the cursor, so the file
  // never moves backwards.
  state.cursor = state.pending;
  return write_index(state.error, paths.index(follower).c_str(), paths.index_temp(follower).c_str(), state.pending);
}

bool follower_commit_at(FollowerState& state, int32_t number) {
  if (number < state.cursor) {
    error_reset(state.error);
    return error_fail(state.error, "Commit: record %d is below the cursor %d.", static_cast<int>(number),
                      static_cast<int>(state.cursor));
  }
  state.pending = number;
  return follower_commit(state);
}

LoadedRecord follower_loaded(const FollowerState& state) {
  return {state.pending, state.received};
}

int32_t follower_published(const FollowerState& state) {
  return state.counter.is_open() ? state.counter.read() : 0;
}

const ChannelPaths& follower_paths(const FollowerState& state) {
  return state.paths;
}

const ErrorState& follower_error(const FollowerState& state) {
  return state.error;
}

PublishedCount published_count(const ChannelPaths& paths) {
  int32_t live = 0;
  platform::Peek peek = platform::counter_peek(paths.counter_name(), &live);
  if (peek == platform::Peek::live) return {true, live, false};
  return {false, read_index(paths.index(paths.master()).c_str()).value, peek == platform::Peek::denied};
}

}  // namespace zeb
