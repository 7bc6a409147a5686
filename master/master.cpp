#include "master.h"

#include <algorithm>
#include <cstring>

#include "channel_names.h"
#include "file_calls.h"
#include "host_messages.h"
#include "index_file.h"
#include "listing.h"
#include "record_files.h"

namespace zeb {

namespace {

// The master directory's records, numbered the way a follower reads names.
struct RecordsOnDisk {
  int32_t highest;       // the highest number of any entry
  int32_t newest_whole;  // the highest number of an entry holding a whole record
};

// Whether the master directory's entry `name` holds a whole record, as a
// follower would load it.
bool holds_whole_record(const ChannelPaths& paths, const char* name) {
  Path path = paths.entry(name);
  TradeRecord record;
  return !path.empty() && load_record_file(path.c_str(), record) == RecordLoad::loaded;
}

// Surveys the entries numbered above `floor`; false when the directory
// cannot be listed. Only an entry above the newest whole one found so far
// is read, so in any listing order few are.
bool survey_records(const ChannelPaths& paths, int32_t floor, RecordsOnDisk& found) {
  found = {floor, floor};
  return for_each_entry(paths.master_dir(), [&](const char* name) {
    int32_t number = parse_number(name);
    if (number > found.highest) found.highest = number;
    if (number > found.newest_whole && holds_whole_record(paths, name)) found.newest_whole = number;
  });
}

enum class ReadBack { same, other, unreadable };

// Whether the file holds exactly these 80 bytes, something else, or cannot
// be read.
ReadBack read_back(const char* path, const TradeRecord& record) {
  TradeRecord found;
  size_t got = 0;
  if (read_file_retried(path, &found, sizeof found, &got) != platform::FileResult::ok)
    return ReadBack::unreadable;
  bool same = got == sizeof found && std::memcmp(&found, &record, sizeof found) == 0;
  return same ? ReadBack::same : ReadBack::other;
}

// Settles a Write that failed (reported in state.error) once its record file
// may hold the record: a host told 0 sends the trade again, so no follower
// may ever deliver this one. The file is cut to zero bytes, a gap that Read
// passes over. A file that cannot be cut may be delivered anyway once a
// later Write publishes past it, so unless it can be read back as not
// holding the record, it is published and the Write succeeds: a retry must
// never deliver the trade twice. The index file catches up at the next Write.
bool withdraw_or_publish(MasterState& state, const char* record_path, bool known_whole) {
  if (truncate_file_retried(record_path) == platform::FileResult::ok)
    return false;
  if (!known_whole && read_back(record_path, state.staged) == ReadBack::other) return false;
  error_reset(state.error);
  state.counter.publish(state.count);
  return true;
}

// Raises the count past every number anyone may have used while this master
// was apart from the channel's counter (its name was removed, and others may
// have published under a new one): what that counter holds and what is on
// disk.
bool catch_up_after_rejoin(MasterState& state) {
  RecordsOnDisk on_disk;
  int32_t floor = std::max(state.count, state.counter.read());
  if (!survey_records(state.paths, floor, on_disk))
    return error_fail(state.error, messages::kWriteListFailed, state.paths.master_dir());
  state.count = on_disk.highest;
  return true;
}

// What every Write does before it takes a number.
bool ready_to_write(MasterState& state) {
  if (!state.counter.is_open()) return error_fail(state.error, messages::kWriteNotInitialised);
  const ChannelPaths& paths = state.paths;
  switch (keep_channel_counter(state.counter, state.error, "Write", paths.master(), OrphanCheck::every_call)) {
    case Kept::same:
      break;
    case Kept::rejoined:
      if (!catch_up_after_rejoin(state)) return false;
      break;
    case Kept::failed:
      return false;
  }
  return ensure_channel_directories(state.error, "Write", paths);
}

// Publishes the staged record under the number state.count holds.
bool write_taken_number(MasterState& state) {
  const ChannelPaths& paths = state.paths;
  Path record = paths.record(state.count);
  switch (write_file_retried(record.c_str(), &state.staged, sizeof state.staged)) {
    case platform::FileResult::ok:
      break;
    case platform::FileResult::open_failed:
    case platform::FileResult::conflict:
      return error_fail(state.error, messages::kWriteOpenFailed, record.c_str());
    case platform::FileResult::io_failed:
      error_fail(state.error, messages::kWriteFailed, record.c_str());
      return withdraw_or_publish(state, record.c_str(), false);
  }

  // Record complete and closed, then the index, and only then the published
  // count: a follower that sees the new count finds both files finished.
  if (!write_index(state.error, paths.index(paths.master()).c_str(), paths.index_temp(paths.master()).c_str(),
                   state.count))
    return withdraw_or_publish(state, record.c_str(), true);
  state.counter.publish(state.count);
  return true;
}

}  // namespace

bool master_init(MasterState& state, const char* root, const char* master) {
  error_reset(state.error);
  // An Init that fails at any step leaves the state bound to nothing, as
  // before the first Init: no counter, no paths, so Write refuses. Closing
  // the counter also gives up the claim on the old master name.
  state.counter.close();
  state.paths = ChannelPaths();
  ChannelPaths paths;
  if (!check_root(state.error, root) || !check_name(state.error, master, "master name") ||
      !paths.set(state.error, root, master, master))
    return false;

  if (!ensure_channel_directories(state.error, "Init", paths) || !paths.name_counter_as_stored(state.error))
    return false;
  // One master per master name on the machine: the counter is named after
  // the master alone, so a second one under any root would share its count.
  // The master directory's lock keeps a second one off this root even when
  // the counter's name is removed under a running master.
  if (!claim_channel_counter(state.counter, state.error, paths)) return false;

  // Resume after the newest record, whether the index file says so or only
  // the directory does (an index file lost or rolled back must never make
  // Write overwrite records, or publish numbers followers have passed).
  RecordsOnDisk on_disk;
  int32_t indexed = read_index(paths.index(master).c_str()).value;
  if (!survey_records(paths, std::max(indexed, 0), on_disk)) {
    state.counter.close();
    return error_fail(state.error, messages::kInitListFailed, paths.master_dir());
  }
  state.paths = paths;
  state.count = on_disk.highest;
  state.written = 0;
  // But publish no further than the newest whole record: the newest file may
  // be one a killed Write left half written, which no follower can load.
  state.counter.publish(on_disk.newest_whole);
  return true;
}

bool master_write(MasterState& state) {
  error_reset(state.error);
  if (!ready_to_write(state)) return false;
  if (state.count == INT32_MAX)
    return error_fail(state.error, messages::kWriteNoNumberLeft, static_cast<int>(state.count));
  // The number is taken before anything is written and never given back: a
  // failed Write leaves a gap that followers pass over.
  ++state.count;
  return write_taken_number(state);
}

bool master_write_unpublished(MasterState& state, int32_t number, const TradeRecord& record) {
  error_reset(state.error);
  // The checks of a Write, once for all the records published together.
  if (state.written == 0 && !ready_to_write(state)) return false;
  int32_t published = state.counter.read();
  if (number <= published)
    return error_fail(state.error, "Write: record %d is not above the published count %d.",
                      static_cast<int>(number), static_cast<int>(published));
  // The newest record written may be written again (after its publish failed).
  if (number < state.written)
    return error_fail(state.error, "Write: record %d is below record %d, written before it.",
                      static_cast<int>(number), static_cast<int>(state.written));
  Path path = state.paths.record(number);
  switch (write_file_retried(path.c_str(), &record, sizeof record)) {
    case platform::FileResult::ok:
      state.count = state.written = number;
      return true;
    case platform::FileResult::open_failed:
    case platform::FileResult::conflict:
      return error_fail(state.error, messages::kWriteOpenFailed, path.c_str());
    case platform::FileResult::io_failed:
      break;
  }
  return error_fail(state.error, messages::kWriteFailed, path.c_str());
}

bool master_publish_written(MasterState& state) {
  error_reset(state.error);
  if (state.written == 0) return true;
  const ChannelPaths& paths = state.paths;
  if (!write_index(state.error, paths.index(paths.master()).c_str(), paths.index_temp(paths.master()).c_str(),
                   state.written))
    return false;
  state.counter.publish(state.written);
  state.written = 0;
  return true;
}

bool master_write_numbered(MasterState& state, int32_t number, const TradeRecord& record) {
  return master_write_unpublished(state, number, record) && master_publish_written(state);
}

int32_t master_published(const MasterState& state) {
  return state.counter.is_open() ? state.counter.read() : 0;
}

const ChannelPaths& master_paths(const MasterState& state) {
  return state.paths;
}

const ErrorState& master_error(const MasterState& state) {
  return state.error;
}

NamedClaim MachineClaim::take(const char* name, const ChannelPaths& paths) {
  return claim_named_counter(holder_, name, paths.master_dir(), nullptr);
}

}  // namespace zeb
