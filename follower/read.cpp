#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "follower.h"

namespace zeb {

namespace {

struct Candidate {
  int32_t number;
  std::string name;
};

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

enum class Load { loaded, incomplete, open_failed, read_failed };

// Loads one record file into the received record. Only a complete 80-byte
// read replaces it: a shorter file (left by a Write that failed) is never
// handed out, so no caller sees a record stitched from two trades.
Load load_record(FollowerState& state, const char* path, int32_t number) {
  TradeRecord scratch;
  size_t got = 0;
  switch (platform::read_file(path, &scratch, sizeof scratch, &got)) {
    case platform::FileResult::ok:
      break;
    case platform::FileResult::open_failed:
      return Load::open_failed;
    case platform::FileResult::io_failed:
      return Load::read_failed;
  }
  if (got < sizeof scratch) return Load::incomplete;
  state.received = scratch;
  record_terminate_symbol(state.received);
  state.pending = number;
  return Load::loaded;
}

// Reports a record file that failed to open or to read; returns 0.
int32_t report_load_failure(FollowerState& state, Load load, const char* path) {
  if (load == Load::read_failed) return error_fail(state.error, "Read: ReadFile %s error.", path);
  return error_fail(state.error, "Read: could not open %s file.", path);
}

// Finds the oldest record above the cursor among every entry of the master
// directory.
int32_t read_listed(FollowerState& state) {
  // Every entry whose name reads as a number above the cursor is a
  // candidate, also above the published count.
  PathBuffer master_dir;
  join_path(master_dir, {state.root, state.master});
  std::vector<Candidate> candidates;
  bool listed = for_each_entry(master_dir, [&](const char* name) {
    int32_t number = parse_number(name);
    if (number > state.cursor) candidates.push_back({number, name});
  });
  if (!listed) return error_fail(state.error, "Read: FindFirstFile failed.");
  std::sort(candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.number < b.number; });

  // The smallest number wins; incomplete files are passed over like gaps.
  for (const Candidate& candidate : candidates) {
    PathBuffer path;
    if (!join_path(path, {state.root, state.master, candidate.name.c_str()})) continue;
    Load load = load_record(state, path, candidate.number);
    if (load == Load::loaded) return 1;
    if (load != Load::incomplete) return report_load_failure(state, load, path);
  }
  return error_fail(state.error, "Read: unknown exception");
}

// Nearly always the oldest record above the cursor is the file named for the
// next number: opening it by name costs the same at any channel size, where
// the listing grows with every record ever written. Anything else (a gap, a
// short file, an entry that will not open) is left to the listing, which
// decides as if this attempt had never been made.
int32_t read_next(FollowerState& state, Route route) {
  if (!state.counter.is_open()) return error_fail(state.error, "Read: could not get MapFile pointer.");
  if (!channel_directories_exist(state)) return 0;
  if (state.cursor >= state.counter.read()) return 0;
  if (route == Route::listing) return read_listed(state);

  int32_t next = state.cursor + 1;
  char name[16];
  record_file_name(name, next);
  PathBuffer path;
  join_path(path, {state.root, state.master, name});
  Load load = load_record(state, path, next);
  if (load == Load::loaded) return 1;
  // The listing would pick this same file first and fail on it the same way.
  if (load == Load::read_failed) return report_load_failure(state, load, path);
  return read_listed(state);
}

}  // namespace

int32_t follower_read(FollowerState& state, Route route) {
  error_reset(state.error);
  try {
    return read_next(state, route);
  } catch (...) {
    // Nothing may escape to the host, e.g. a candidate list that cannot grow.
    return error_fail(state.error, "Read: unknown exception");
  }
}

}  // namespace zeb
