#include "channel_view.h"

#include <algorithm>

#include "channel_names.h"
#include "command_line.h"
#include "file_calls.h"
#include "index_file.h"
#include "listing.h"
#include "platform/tool_os.h"
#include "record_files.h"
#include "record_text.h"

namespace zebctl {

namespace {

void add_to_spans(std::vector<Span>& spans, int32_t number) {
  if (!spans.empty() && spans.back().last == number - 1)
    spans.back().last = number;
  else
    spans.push_back({number, number});
}

// Init's checks report "Init: <what is wrong>"; zebctl names its own command.
void refuse_unless(bool passed, const zeb::ErrorState& error) {
  if (passed) return;
  const std::string prefix = "Init: ";
  std::string message = error.message;
  if (message.compare(0, prefix.size(), prefix) == 0) message.erase(0, prefix.size());
  tools::bad_usage(message);
}

}  // namespace

void check_name(const std::string& name, const char* role) {
  zeb::ErrorState error;
  refuse_unless(zeb::check_name(error, name.c_str(), role), error);
}

Channel existing_channel(const std::string& root, const std::string& master) {
  zeb::ErrorState error;
  refuse_unless(zeb::check_root(error, root.c_str()), error);
  check_name(master, "master name");
  Channel channel;
  refuse_unless(channel.set(error, root.c_str(), master.c_str(), master.c_str()), error);
  if (!zeb::path_exists(root.c_str())) tools::fail("root directory not found: " + tools::readable(root));
  if (!zeb::path_exists(channel.master_dir()))
    tools::fail("no channel of master " + tools::readable(master) + " under " + tools::readable(root) + ": " +
                tools::readable(channel.master_dir()) + " not found");
  if (!channel.name_counter_as_stored(error)) tools::fail(error.message);
  return channel;
}

int32_t master_index(const Channel& channel) {
  return zeb::read_index(channel.index(channel.master()).c_str()).value;
}

namespace {

NumberHolds what_entry_holds(const Channel& channel, const std::string& name) {
  zeb::platform::EntryInfo info = zeb::platform::entry_info(channel.entry(name.c_str()).c_str());
  if (info.type == zeb::platform::EntryType::other) return NumberHolds::blocking_entry;
  // One that vanished since the listing holds nothing Read could use.
  return info.type == zeb::platform::EntryType::regular && info.size >= sizeof(zeb::TradeRecord) ? NumberHolds::record
                                                                                  : NumberHolds::short_file;
}

// Of two entries read as one number ("7" beside "000007"), one that stops
// Read counts first, then a whole record.
NumberHolds stronger(NumberHolds a, NumberHolds b) {
  if (a == NumberHolds::blocking_entry || b == NumberHolds::blocking_entry) return NumberHolds::blocking_entry;
  return a == NumberHolds::record || b == NumberHolds::record ? NumberHolds::record : NumberHolds::short_file;
}

}  // namespace

DiskRecords disk_records(const Channel& channel) {
  std::vector<zeb::RecordEntry> entries;
  if (!zeb::list_records(channel.master_dir(), 0, INT32_MAX, entries))
    tools::fail("could not list " + tools::readable(channel.master_dir()));
  DiskRecords records;
  for (const zeb::RecordEntry& entry : entries) {
    NumberHolds holds = what_entry_holds(channel, entry.name);
    if (!records.numbers.empty() && records.numbers.back().number == entry.number)
      records.numbers.back().holds = stronger(records.numbers.back().holds, holds);
    else
      records.numbers.push_back({entry.number, holds});
  }
  int32_t previous = 0;
  for (const NumberedEntry& entry : records.numbers) {
    if (entry.number > previous + 1) {
      records.gaps.push_back({previous + 1, entry.number - 1});
      records.missing += entry.number - 1 - previous;
    }
    previous = entry.number;
    switch (entry.holds) {
      case NumberHolds::record:
        ++records.count;
        records.highest = entry.number;
        break;
      case NumberHolds::short_file:
        ++records.short_count;
        add_to_spans(records.short_files, entry.number);
        break;
      case NumberHolds::blocking_entry:
        ++records.blocking_count;
        add_to_spans(records.blocking, entry.number);
        break;
    }
  }
  return records;
}

int32_t blocked_at(const DiskRecords& records, int32_t cursor, int32_t published) {
  auto next = std::upper_bound(records.numbers.begin(), records.numbers.end(), cursor,
                               [](int32_t value, const NumberedEntry& entry) { return value < entry.number; });
  for (; next != records.numbers.end() && next->number <= published; ++next) {
    if (next->holds == NumberHolds::record) return 0;
    if (next->holds == NumberHolds::blocking_entry) return next->number;
  }
  return 0;
}

std::vector<FollowerCursor> follower_cursors(const Channel& channel) {
  std::vector<FollowerCursor> followers;
  std::string prefix = zeb::kIndexTempPrefix;
  zeb::for_each_entry(channel.system_dir(), [&](const char* name) {
    std::string owner = name;
    if (owner == channel.master() || owner.compare(0, prefix.size(), prefix) == 0) return;
    zeb::Path index = channel.index(name);
    if (zeb::platform::entry_info(index.c_str()).type != zeb::platform::EntryType::regular) return;
    followers.push_back({owner, zeb::read_index(index.c_str()).value});
  });
  std::sort(followers.begin(), followers.end(),
            [](const FollowerCursor& a, const FollowerCursor& b) { return a.name < b.name; });
  return followers;
}

}  // namespace zebctl
