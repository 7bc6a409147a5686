#pragma once

#include <string>

#include "channels.h"

// The in-process cases, measured by Google Benchmark. Each registers the
// channel's operation beside its references under names that say what and
// where ("write/tmpfs", "read_floor/1000/disk"); the objects they work on
// must outlive the run.
namespace zeb::bench {

struct Timing {
  double min_time;  // seconds per repetition
  int repetitions;
};

// Write per record; the floor (create and write one record file, rewrite
// one index file); SQLite's publish.
void register_write_cases(const Medium& medium, Channel& channel, SqliteQueue& peer,
                          const Timing& timing);

// Read with nothing new, of the logic and through the follower library's
// export; the floor (three stat calls and one atomic load).
void register_idle_cases(const Medium& medium, Channel& channel, const Timing& timing);

// Read+Commit per record on a filled channel, from its middle onwards: the
// follower's Read, the listing (load_record_by_listing) alone, the floor (open,
// read and close the record, rewrite one index file) and SQLite's consume.
void register_read_cases(const Medium& medium, FilledChannel& filled, const Timing& timing);

// The case name for a measure at a size on a medium: "read/1000/tmpfs".
std::string case_name(const std::string& measure, const Medium& medium, int32_t size = 0);

}  // namespace zeb::bench
