#include "channel_view.h"

#include <algorithm>

#include "channel_names.h"
#include "command_line.h"
#include "map_file.h"
#include "record_files.h"

namespace zebctl {

namespace {

std::string joined(std::initializer_list<const char*> parts) {
  zeb::PathBuffer path;
  zeb::join_path(path, parts);
  return path;
}

// Init's checks report "Init: <what is wrong>"; zebctl names its own command.
void refuse_unless(bool passed, const zeb::ErrorState& error) {
  if (passed) return;
  const std::string prefix = "Init: ";
  std::string message = error.message;
  if (message.compare(0, prefix.size(), prefix) == 0) message.erase(0, prefix.size());
  bad_usage(message);
}

}  // namespace

std::string Channel::master_dir() const {
  return joined({root.c_str(), master.c_str()});
}

std::string Channel::entry_path(const std::string& name) const {
  return joined({root.c_str(), master.c_str(), name.c_str()});
}

std::string Channel::system_dir() const {
  return joined({root.c_str(), master.c_str(), zeb::kSystemDirectoryName});
}

std::string Channel::index_path(const std::string& owner) const {
  return joined({root.c_str(), master.c_str(), zeb::kSystemDirectoryName, owner.c_str()});
}

void check_name(const std::string& name, const char* role) {
  zeb::ErrorState error;
  refuse_unless(zeb::check_name(error, name.c_str(), role), error);
}

Channel existing_channel(const std::string& root, const std::string& master) {
  zeb::ErrorState error;
  refuse_unless(zeb::check_root(error, root.c_str()), error);
  check_name(master, "master name");
  refuse_unless(zeb::check_channel_paths(error, root.c_str(), master.c_str(), master.c_str()), error);
  Channel channel{root, master};
  if (!zeb::platform::path_exists(root.c_str())) fail("root directory not found: " + root);
  if (!zeb::platform::path_exists(channel.master_dir().c_str()))
    fail("no channel of master " + master + " under " + root + ": " + channel.master_dir() + " not found");
  return channel;
}

int32_t master_index(const Channel& channel) {
  return zeb::read_index(channel.index_path(channel.master).c_str());
}

Published published_count(const Channel& channel) {
  zeb::CounterName name;
  zeb::channel_counter_name(name, channel.master.c_str());
  int32_t live = 0;
  if (zeb::platform::counter_peek(name, &live)) return {true, live};
  return {false, master_index(channel)};
}

DiskRecords disk_records(const Channel& channel) {
  std::vector<zeb::RecordEntry> entries;
  if (!zeb::list_records(channel.master_dir().c_str(), 0, INT32_MAX, entries))
    fail("could not list " + channel.master_dir());
  DiskRecords records;
  int32_t previous = 0;
  for (const zeb::RecordEntry& entry : entries) {
    if (entry.number == previous) continue;  // "7" beside "000007"
    if (entry.number > previous + 1) {
      records.gaps.push_back({previous + 1, entry.number - 1});
      records.missing += entry.number - 1 - previous;
    }
    ++records.count;
    previous = entry.number;
  }
  records.highest = previous;
  return records;
}

std::vector<FollowerCursor> follower_cursors(const Channel& channel) {
  std::vector<FollowerCursor> followers;
  std::string prefix = zeb::kIndexTempPrefix;
  zeb::for_each_entry(channel.system_dir().c_str(), [&](const char* name) {
    std::string owner = name;
    if (owner == channel.master || owner.compare(0, prefix.size(), prefix) == 0) return;
    followers.push_back({owner, zeb::read_index(channel.index_path(owner).c_str())});
  });
  std::sort(followers.begin(), followers.end(),
            [](const FollowerCursor& a, const FollowerCursor& b) { return a.name < b.name; });
  return followers;
}

}  // namespace zebctl
