#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zebctl {

// A channel named on the command line. Paths are composed the way the
// libraries compose them.
struct Channel {
  std::string root;
  std::string master;

  std::string master_dir() const;
  std::string entry_path(const std::string& name) const;  // an entry of the master directory
  std::string system_dir() const;
  std::string index_path(const std::string& owner) const;
};

// Checks a participant name the way Init does; a bad one is bad usage.
void check_name(const std::string& name, const char* role);

// Checks ROOT and MASTER the way Init does (bad usage), then that the channel
// is there: a missing root or master directory is a failure naming it.
Channel existing_channel(const std::string& root, const std::string& master);

// The count followers act on: the live shared counter when some process
// holds it, otherwise the master index, which a follower starting now would
// seed the counter with. Nothing is created, held or seeded to learn it.
struct Published {
  bool live;
  int32_t count;
};
Published published_count(const Channel& channel);

int32_t master_index(const Channel& channel);

// The record numbers on disk: how many distinct numbers, the highest, and
// the numbers from 1 to the highest that have no file.
struct Gap {
  int32_t first;
  int32_t last;
};
struct DiskRecords {
  int64_t count = 0;
  int32_t highest = 0;
  int64_t missing = 0;
  std::vector<Gap> gaps;
};
DiskRecords disk_records(const Channel& channel);

// Every follower index file in the system directory, by name.
struct FollowerCursor {
  std::string name;
  int32_t cursor;
};
std::vector<FollowerCursor> follower_cursors(const Channel& channel);

}  // namespace zebctl
