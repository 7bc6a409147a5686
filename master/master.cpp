#include "master.h"

#include <algorithm>
#include <cstring>

#include "channel_names.h"
#include "conflict_retry.h"
#include "record_files.h"

namespace zeb {

namespace {

// Whether the master directory's entry `name` holds a whole record, as a
// follower would load it.
bool holds_whole_record(const char* root, const char* master, const char* name) {
  PathBuffer path;
  TradeRecord record;
  return join_path(path, {root, master, name}) && load_record_file(path, record) == RecordLoad::loaded;
}

// The master directory's records, numbered the way a follower reads names.
struct RecordsOnDisk {
  int32_t highest;       // the highest number of any entry
  int32_t newest_whole;  // the highest number of an entry holding a whole record
};

// Surveys the entries numbered above `floor`; false when the directory
// cannot be listed. Only an entry above the newest whole one found so far
// is read, so in any listing order few are.
bool survey_records(const char* root, const char* master, int32_t floor, RecordsOnDisk& found) {
  PathBuffer directory;
  join_path(directory, {root, master});
  found = {floor, floor};
  return for_each_entry(directory, [&](const char* name) {
    int32_t number = parse_number(name);
    if (number > found.highest) found.highest = number;
    if (number > found.newest_whole && holds_whole_record(root, master, name)) found.newest_whole = number;
  });
}

// Whether the file holds exactly these 80 bytes.
bool holds_exactly(const char* path, const TradeRecord& record) {
  TradeRecord found;
  size_t got = 0;
  return retry_conflicts([&] { return platform::read_file(path, &found, sizeof found, &got); }) ==
             platform::FileResult::ok &&
         got == sizeof found && std::memcmp(&found, &record, sizeof found) == 0;
}

// Settles a Write that failed (reported in state.error) once its record file
// may hold the record: a host told 0 sends the trade again, so no follower
// may ever deliver this one. The file is cut to zero bytes, a gap that Read
// passes over. A file that cannot be cut but holds the whole record will be
// delivered anyway, so it is published and the Write succeeds; the index
// file catches up at the next Write.
int32_t withdraw_or_publish(MasterState& state, const char* record_path, bool known_whole) {
  if (retry_conflicts([&] { return platform::truncate_file(record_path); }) == platform::FileResult::ok)
    return 0;
  if (!known_whole && !holds_exactly(record_path, state.staged)) return 0;
  error_reset(state.error);
  state.counter.publish(state.count);
  return 1;
}

}  // namespace

int32_t master_init(MasterState& state, const char* root, const char* master) {
  error_reset(state.error);
  // An Init that fails at any step leaves the state bound to nothing, as
  // before the first Init: no counter, no names, so Write refuses. Closing
  // the counter also gives up the claim on the old master name.
  state.counter.Close();
  state.root[0] = '\0';
  state.master[0] = '\0';
  if (!check_root(state.error, root) || !check_name(state.error, master, "master name") ||
      !check_channel_paths(state.error, root, master, master))
    return 0;

  if (!ensure_channel_directories(state.error, "Init", root, master)) return 0;
  if (!open_channel_counter(state.counter, state.error, master)) return 0;
  // One master per master name on the machine: the counter is named after
  // the master alone, so a second one under any root would share its count.
  if (!claim_channel_counter(state.counter, state.error, master)) return 0;

  // Resume after the newest record, whether the index file says so or only
  // the directory does (an index file lost or rolled back must never make
  // Write overwrite records, or publish numbers followers have passed).
  PathBuffer index_path;
  join_path(index_path, {root, master, kSystemDirectoryName, master});
  RecordsOnDisk on_disk;
  if (!survey_records(root, master, std::max(read_index(index_path), 0), on_disk)) {
    state.counter.Close();
    PathBuffer directory;
    join_path(directory, {root, master});
    return error_fail(state.error, "Init: could not list %s directory.", directory);
  }
  copy_name(state.root, root);
  copy_name(state.master, master);
  state.count = on_disk.highest;
  // But publish no further than the newest whole record: the newest file may
  // be one a killed Write left half written, which no follower can load.
  state.counter.publish(on_disk.newest_whole);
  return 1;
}

int32_t master_write(MasterState& state) {
  error_reset(state.error);
  if (!state.counter.is_open())
    return error_fail(state.error, "Write: could not get MapFile pointer.");
  if (!keep_channel_counter(state.counter, state.error, "Write", state.master, OrphanCheck::every_call))
    return 0;
  if (!ensure_channel_directories(state.error, "Write", state.root, state.master)) return 0;
  if (state.count == INT32_MAX)
    return error_fail(state.error, "Write: no record number is left after %d.",
                      static_cast<int>(state.count));

  // The number is taken before anything is written and never given back: a
  // failed Write leaves a gap that followers pass over.
  ++state.count;
  char name[16];
  record_file_name(name, state.count);
  PathBuffer record_path;
  join_path(record_path, {state.root, state.master, name});
  switch (retry_conflicts(
      [&] { return platform::write_file(record_path, &state.staged, sizeof state.staged); })) {
    case platform::FileResult::ok:
      break;
    case platform::FileResult::open_failed:
    case platform::FileResult::conflict:
      return error_fail(state.error, "Write: could not open %s file.", record_path);
    case platform::FileResult::io_failed:
      error_fail(state.error, "Write: WriteFile %s failed.", record_path);
      return withdraw_or_publish(state, record_path, false);
  }

  // Record complete and closed, then the index, and only then the published
  // count: a follower that sees the new count finds both files finished.
  PathBuffer index_path;
  join_path(index_path, {state.root, state.master, kSystemDirectoryName, state.master});
  if (!write_index(state.error, index_path, state.count))
    return withdraw_or_publish(state, record_path, true);
  state.counter.publish(state.count);
  return 1;
}

}  // namespace zeb
