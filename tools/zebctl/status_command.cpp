// zebctl status: where a channel stands, without touching it.
#include <algorithm>
#include <cstdio>
#include <string>

#include "channel_view.h"
#include "commands.h"
#include "json_text.h"
#include "map_file.h"
#include "record_text.h"

namespace zebctl {

namespace {

const char kHelp[] =
    "usage: zebctl status ROOT MASTER [--json]\n"
    "\n"
    "Shows where the channel of MASTER under ROOT stands:\n"
    "  master index     the count in the master's index file\n"
    "  published        the live shared counter, when some process holds it; it is\n"
    "                   read without being created, held or seeded\n"
    "  records on disk  how many numbered record files there are, the highest, and\n"
    "                   the numbers missing below it (gaps that followers pass over)\n"
    "  followers        every follower index file: its cursor (last record committed)\n"
    "                   and its lag behind the published count (the master index\n"
    "                   when no process holds the counter)\n"
    "\n"
    "  --json   one JSON object instead of the table:\n"
    "           {\"root\", \"master\", \"master_index\", \"live\", \"published\" (null when\n"
    "           not live), \"records\", \"highest\", \"missing\", \"gaps\" ([first, last]\n"
    "           pairs), \"followers\" ([{\"name\", \"cursor\", \"lag\"}])}\n";

// Gaps for people: "4, 9-11", at most a few ranges.
std::string gap_list(const std::vector<Gap>& gaps) {
  constexpr size_t kShown = 10;
  std::string text;
  for (size_t i = 0; i < gaps.size() && i < kShown; ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(gaps[i].first);
    if (gaps[i].last != gaps[i].first) text += "-" + std::to_string(gaps[i].last);
  }
  if (gaps.size() > kShown) text += ", ... (" + std::to_string(gaps.size() - kShown) + " more ranges)";
  return text;
}

void print_table(const Channel& channel, int32_t index, const Published& published,
                 const DiskRecords& records, const std::vector<FollowerCursor>& followers) {
  zeb::CounterName counter;
  zeb::channel_counter_name(counter, channel.master.c_str());
  std::printf("channel          %s\n", channel.master_dir().c_str());
  std::printf("master index     %d\n", index);
  if (published.live)
    std::printf("published        %d (live counter %s)\n", published.count, counter);
  else
    std::printf("published        - (no process holds %s)\n", counter);
  std::printf("records on disk  %lld, highest %d\n", static_cast<long long>(records.count), records.highest);
  if (records.gaps.empty())
    std::printf("gaps             none\n");
  else
    std::printf("gaps             %lld missing: %s\n", static_cast<long long>(records.missing),
                gap_list(records.gaps).c_str());
  std::printf("followers        %d%s\n", static_cast<int>(followers.size()),
              followers.empty() ? ""
              : published.live  ? " (lag behind the published count)"
                                : " (lag behind the master index)");
  if (followers.empty()) return;
  size_t width = 8;
  for (const FollowerCursor& follower : followers) width = std::max(width, printable(follower.name).size());
  std::printf("  %-*s  %10s  %10s\n", static_cast<int>(width), "FOLLOWER", "CURSOR", "LAG");
  for (const FollowerCursor& follower : followers)
    std::printf("  %-*s  %10d  %10lld\n", static_cast<int>(width), printable(follower.name).c_str(),
                follower.cursor, static_cast<long long>(published.count) - follower.cursor);
}

void print_json(const Channel& channel, int32_t index, const Published& published, const DiskRecords& records,
                const std::vector<FollowerCursor>& followers) {
  std::string json =
      "{\"root\":" + json_string(channel.root) + ",\"master\":" + json_string(channel.master) +
      ",\"master_index\":" + std::to_string(index) + ",\"live\":" + (published.live ? "true" : "false") +
      ",\"published\":" + (published.live ? std::to_string(published.count) : "null") +
      ",\"records\":" + std::to_string(records.count) + ",\"highest\":" + std::to_string(records.highest) +
      ",\"missing\":" + std::to_string(records.missing) + ",\"gaps\":[";
  for (size_t i = 0; i < records.gaps.size(); ++i)
    json += (i > 0 ? ",[" : "[") + std::to_string(records.gaps[i].first) + "," +
            std::to_string(records.gaps[i].last) + "]";
  json += "],\"followers\":[";
  for (size_t i = 0; i < followers.size(); ++i)
    json += std::string(i > 0 ? "," : "") + "{\"name\":" + json_string(followers[i].name) +
            ",\"cursor\":" + std::to_string(followers[i].cursor) +
            ",\"lag\":" + std::to_string(static_cast<long long>(published.count) - followers[i].cursor) + "}";
  std::printf("%s]}\n", json.c_str());
}

int run_status(const Arguments& args) {
  Channel channel = existing_channel(args.positionals[0], args.positionals[1]);
  // The counter first: the files it covers are complete before it is raised.
  Published published = published_count(channel);
  int32_t index = master_index(channel);
  DiskRecords records = disk_records(channel);
  std::vector<FollowerCursor> followers = follower_cursors(channel);
  if (args.has("--json"))
    print_json(channel, index, published, records, followers);
  else
    print_table(channel, index, published, records, followers);
  return 0;
}

}  // namespace

const Command kStatusCommand = {"status",
                                "where a channel stands: counts, gaps, followers and their lag",
                                kHelp,
                                {{"ROOT", "MASTER"}, {}, {"--json"}},
                                run_status};

}  // namespace zebctl
