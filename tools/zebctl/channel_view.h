#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channel_paths.h"

namespace zebctl {

// A channel named on the command line, by the paths the libraries use for it.
using Channel = zeb::ChannelPaths;

// Checks a participant name the way Init does; a bad one is bad usage.
void check_name(const std::string& name, const char* role);

// Checks ROOT and MASTER the way Init does (bad usage), then that the channel
// is there: a missing root or master directory is a failure naming it.
Channel existing_channel(const std::string& root, const std::string& master);

int32_t master_index(const Channel& channel);

// What each record number on disk holds, as Read meets it: a whole record,
// only a short file (under 80 bytes, passed over like a gap), or an entry
// that is not a file (a numbered directory), which Read fails to open and
// so stops at. Entries are looked at without being opened.
enum class NumberHolds { record, short_file, blocking_entry };
struct NumberedEntry {
  int32_t number;
  NumberHolds holds;
};

struct Span {
  int32_t first;
  int32_t last;
};

struct DiskRecords {
  std::vector<NumberedEntry> numbers;  // ascending, one per number
  int64_t count = 0;                   // whole records
  int32_t highest = 0;                 // the highest whole record
  int64_t short_count = 0;
  std::vector<Span> short_files;
  int64_t blocking_count = 0;
  std::vector<Span> blocking;
  int64_t missing = 0;     // numbers with no entry at all, below the highest entry
  std::vector<Span> gaps;  // of those
};
DiskRecords disk_records(const Channel& channel);

// The blocking entry a follower at `cursor` meets next, reading up to
// `published`; 0 when its next record is a whole one or none is there yet.
int32_t blocked_at(const DiskRecords& records, int32_t cursor, int32_t published);

// Every follower index file (a regular file) in the system directory, by name.
struct FollowerCursor {
  std::string name;
  int32_t cursor;
};
std::vector<FollowerCursor> follower_cursors(const Channel& channel);

}  // namespace zebctl
