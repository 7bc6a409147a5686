// zebctl status: where a channel stands, without touching it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "channel_view.h"
#include "commands.h"
#include "follower.h"
#include "json_text.h"
#include "prometheus_text.h"
#include "record_text.h"

namespace zebctl {

namespace {

const char kHelp[] =
    "usage: zebctl status ROOT MASTER [--json | --prometheus]\n"
    "\n"
    "Shows where the channel of MASTER under ROOT stands:\n"
    "  master index     the count in the master's index file\n"
    "  published        the live shared counter, when some process holds it; it is\n"
    "                   read without being created, held or seeded\n"
    "  warning          when the live count is not this root's master index: the\n"
    "                   counter is named after the master alone, so a master of the\n"
    "                   same name under another root shares it\n"
    "  records on disk  how many whole record files there are, and the highest\n"
    "  short files      numbered files under 80 bytes (left by a failed Write):\n"
    "                   followers pass over them like gaps\n"
    "  blocking entries numbered entries that are not files (a directory named\n"
    "                   000009): a follower's Read stops there until it is removed\n"
    "  gaps             the numbers below the highest entry that have no entry at\n"
    "                   all (followers pass over them)\n"
    "  followers        every follower index file: its cursor (last record committed),\n"
    "                   its lag behind the published count (the master index when no\n"
    "                   process holds the counter), where it is blocked, and whether\n"
    "                   its cursor is ahead of the count (the channel was started\n"
    "                   anew): its Read fails until the count passes the cursor\n"
    "Names and paths are printed with control bytes, and bytes that are not UTF-8,\n"
    "written as \\xNN.\n"
    "\n"
    "  --json   one JSON object instead of the table:\n"
    "           {\"root\", \"master\", \"master_index\", \"live\", \"published\" (null when\n"
    "           not live), \"counter_warning\" (null or the warning), \"records\",\n"
    "           \"highest\", \"short_files\", \"short\", \"blocking_entries\", \"blocking\",\n"
    "           \"missing\", \"gaps\" (the lists as [first, last] pairs), \"followers\"\n"
    "           ([{\"name\", \"cursor\", \"lag\", \"blocked_at\" (null when not blocked),\n"
    "           \"ahead\"}]), \"counter_denied\" (true when this user may not read\n"
    "           the counter)}\n"
    "  --prometheus\n"
    "           the same in Prometheus' text format, labelled with root and master\n"
    "           (and follower), for node_exporter's or windows_exporter's textfile\n"
    "           collector: zeb_channel_live, zeb_channel_published_records,\n"
    "           zeb_channel_master_index_records, zeb_channel_records_on_disk,\n"
    "           zeb_channel_highest_record, zeb_channel_short_files,\n"
    "           zeb_channel_blocking_entries, zeb_channel_missing_records,\n"
    "           zeb_follower_cursor_record, zeb_follower_lag_records,\n"
    "           zeb_follower_blocked_at_record (0 when not blocked) and\n"
    "           zeb_follower_ahead (1 when its cursor is above the count)\n";

// Number ranges for people: "4, 9-11", at most a few ranges.
std::string span_list(const std::vector<Span>& spans) {
  constexpr size_t kShown = 10;
  std::string text;
  for (size_t i = 0; i < spans.size() && i < kShown; ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(spans[i].first);
    if (spans[i].last != spans[i].first) text += "-" + std::to_string(spans[i].last);
  }
  if (spans.size() > kShown) text += ", ... (" + std::to_string(spans.size() - kShown) + " more ranges)";
  return text;
}

std::string json_spans(const std::vector<Span>& spans) {
  std::string json = "[";
  for (size_t i = 0; i < spans.size(); ++i)
    json += (i > 0 ? ",[" : "[") + std::to_string(spans[i].first) + "," + std::to_string(spans[i].last) + "]";
  return json + "]";
}

// A snapshot of the channel, counter first: the files it covers are
// complete before it is raised.
struct Snapshot {
  zeb::PublishedCount published;
  int32_t index;
  DiskRecords records;
  std::vector<FollowerCursor> followers;
  std::string counter_warning;  // empty when the live count fits this root
};

// The counter is named after the master alone, so masters of one name under
// two roots share it. The live count tells which root it serves only when it
// is above every entry under this one.
std::string counter_warning(const Channel& channel, const Snapshot& snapshot) {
  if (!snapshot.published.live || snapshot.published.count == snapshot.index) return "";
  std::string live = std::to_string(snapshot.published.count);
  std::string name = tools::readable(channel.counter_name());
  int32_t top = snapshot.records.numbers.empty() ? 0 : snapshot.records.numbers.back().number;
  if (snapshot.published.count > top)
    return "the live count " + live + " is above every record under this root: " + name +
           " is counting for a master of the same name under another root";
  return "the live count " + live + " is not this root's master index " + std::to_string(snapshot.index) +
         ": a master of the same name under another root may share " + name;
}

Snapshot take_snapshot(const Channel& channel) {
  Snapshot snapshot{zeb::published_count(channel), master_index(channel), disk_records(channel),
                    follower_cursors(channel), ""};
  snapshot.counter_warning = counter_warning(channel, snapshot);
  return snapshot;
}

void print_table(const Channel& channel, const Snapshot& snapshot) {
  const zeb::PublishedCount& published = snapshot.published;
  const DiskRecords& records = snapshot.records;
  std::string counter = tools::readable(channel.counter_name());
  std::printf("channel          %s\n", tools::readable(channel.master_dir()).c_str());
  std::printf("master index     %d\n", snapshot.index);
  if (published.live)
    std::printf("published        %d (live counter %s)\n", published.count, counter.c_str());
  else if (published.denied)
    std::printf("published        - (this user may not read %s)\n", counter.c_str());
  else
    std::printf("published        - (no process holds %s)\n", counter.c_str());
  if (!snapshot.counter_warning.empty()) std::printf("warning          %s\n", snapshot.counter_warning.c_str());
  std::printf("records on disk  %lld, highest %d\n", static_cast<long long>(records.count), records.highest);
  auto print_spans = [](const char* label, int64_t count, const char* counted, const std::vector<Span>& spans,
                        const char* note) {
    if (spans.empty())
      std::printf("%-16s none\n", label);
    else
      std::printf("%-16s %lld%s: %s%s\n", label, static_cast<long long>(count), counted, span_list(spans).c_str(),
                  note);
  };
  print_spans("short files", records.short_count, "", records.short_files,
              " (under 80 bytes: followers pass over them)");
  print_spans("blocking entries", records.blocking_count, "", records.blocking,
              " (not files: Read stops there)");
  print_spans("gaps", records.missing, " missing", records.gaps, "");

  int blocked = 0;
  for (const FollowerCursor& follower : snapshot.followers)
    blocked += blocked_at(records, follower.cursor, published.count) != 0;
  std::string blocked_note = blocked > 0 ? ", " + std::to_string(blocked) + " blocked" : "";
  std::printf("followers        %d%s%s\n", static_cast<int>(snapshot.followers.size()),
              snapshot.followers.empty() ? ""
              : published.live           ? " (lag behind the published count)"
                                         : " (lag behind the master index)",
              blocked_note.c_str());
  if (snapshot.followers.empty()) return;
  size_t width = 8;
  for (const FollowerCursor& follower : snapshot.followers)
    width = std::max(width, tools::printable(follower.name).size());
  std::printf("  %-*s  %10s  %10s\n", static_cast<int>(width), "FOLLOWER", "CURSOR", "LAG");
  for (const FollowerCursor& follower : snapshot.followers) {
    int32_t stop = blocked_at(records, follower.cursor, published.count);
    std::string state = stop != 0 ? "  blocked at " + std::to_string(stop) : "";
    if (follower.cursor > published.count) state += "  ahead of the count: Read fails";
    std::printf("  %-*s  %10d  %10lld%s\n", static_cast<int>(width), tools::printable(follower.name).c_str(),
                follower.cursor, static_cast<long long>(published.count) - follower.cursor, state.c_str());
  }
}

void print_json(const Channel& channel, const Snapshot& snapshot) {
  const zeb::PublishedCount& published = snapshot.published;
  const DiskRecords& records = snapshot.records;
  std::string json =
      "{\"root\":" + tools::json_string(channel.root()) + ",\"master\":" + tools::json_string(channel.master()) +
      ",\"master_index\":" + std::to_string(snapshot.index) + ",\"live\":" + (published.live ? "true" : "false") +
      ",\"published\":" + (published.live ? std::to_string(published.count) : "null") +
      ",\"counter_warning\":" +
      (snapshot.counter_warning.empty() ? "null" : tools::json_string(snapshot.counter_warning)) +
      ",\"records\":" + std::to_string(records.count) + ",\"highest\":" + std::to_string(records.highest) +
      ",\"short_files\":" + std::to_string(records.short_count) + ",\"short\":" + json_spans(records.short_files) +
      ",\"blocking_entries\":" + std::to_string(records.blocking_count) +
      ",\"blocking\":" + json_spans(records.blocking) + ",\"missing\":" + std::to_string(records.missing) +
      ",\"gaps\":" + json_spans(records.gaps) + ",\"followers\":[";
  for (size_t i = 0; i < snapshot.followers.size(); ++i) {
    const FollowerCursor& follower = snapshot.followers[i];
    int32_t stop = blocked_at(records, follower.cursor, published.count);
    json += std::string(i > 0 ? "," : "") + "{\"name\":" + tools::json_string(follower.name) +
            ",\"cursor\":" + std::to_string(follower.cursor) +
            ",\"lag\":" + std::to_string(static_cast<long long>(published.count) - follower.cursor) +
            ",\"blocked_at\":" + (stop != 0 ? std::to_string(stop) : "null") +
            ",\"ahead\":" + (follower.cursor > published.count ? "true" : "false") + "}";
  }
  std::printf("%s],\"counter_denied\":%s}\n", json.c_str(), published.denied ? "true" : "false");
}

void print_prometheus(const Channel& channel, const Snapshot& snapshot) {
  const zeb::PublishedCount& published = snapshot.published;
  const DiskRecords& records = snapshot.records;
  tools::PrometheusText out;
  tools::PrometheusText::Labels labels = {{"root", channel.root()}, {"master", channel.master()}};
  auto channel_gauge = [&](const char* name, const char* help, int64_t value) {
    out.family(name, "gauge", help);
    out.sample(labels, value);
  };
  channel_gauge("zeb_channel_live", "1 while some process holds the channel's shared counter.", published.live);
  channel_gauge("zeb_channel_published_records",
                "The count followers act on: the live counter, else the master index.", published.count);
  channel_gauge("zeb_channel_master_index_records", "The count in the master's index file.", snapshot.index);
  channel_gauge("zeb_channel_records_on_disk", "Whole record files in the master directory.", records.count);
  channel_gauge("zeb_channel_highest_record", "The highest number of a whole record file.", records.highest);
  channel_gauge("zeb_channel_short_files", "Numbered files under 80 bytes, which followers pass over.",
                records.short_count);
  channel_gauge("zeb_channel_blocking_entries", "Numbered entries that are not files, where Read stops.",
                records.blocking_count);
  channel_gauge("zeb_channel_missing_records", "Numbers below the highest entry that have no entry.",
                records.missing);
  struct FollowerGauge {
    const char* name;
    const char* help;
    int64_t (*value)(const FollowerCursor&, const DiskRecords&, int32_t);
  };
  const FollowerGauge gauges[] = {
      {"zeb_follower_cursor_record", "The last record the follower committed.",
       [](const FollowerCursor& f, const DiskRecords&, int32_t) { return int64_t{f.cursor}; }},
      {"zeb_follower_lag_records", "Records published that the follower has not committed.",
       [](const FollowerCursor& f, const DiskRecords&, int32_t count) { return int64_t{count} - f.cursor; }},
      {"zeb_follower_blocked_at_record", "The entry that stops the follower's Read, 0 when none does.",
       [](const FollowerCursor& f, const DiskRecords& r, int32_t count) {
         return int64_t{blocked_at(r, f.cursor, count)};
       }},
      {"zeb_follower_ahead", "1 when the follower's cursor is above the count: the channel was started anew.",
       [](const FollowerCursor& f, const DiskRecords&, int32_t count) { return int64_t{f.cursor > count}; }},
  };
  for (const FollowerGauge& gauge : gauges) {
    out.family(gauge.name, "gauge", gauge.help);
    for (const FollowerCursor& follower : snapshot.followers) {
      tools::PrometheusText::Labels follower_labels = labels;
      follower_labels.push_back({"follower", follower.name});
      out.sample(follower_labels, gauge.value(follower, records, published.count));
    }
  }
  std::fputs(out.text().c_str(), stdout);
}

int run_status(const tools::Arguments& args) {
  if (args.has("--json") && args.has("--prometheus")) tools::bad_usage("--json and --prometheus exclude each other");
  Channel channel = existing_channel(args.positionals[0], args.positionals[1]);
  Snapshot snapshot = take_snapshot(channel);
  // A master's Write rewrites its index just before it raises the counter:
  // a second look tells that moment from a counter another root shares.
  if (!snapshot.counter_warning.empty()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    snapshot = take_snapshot(channel);
  }
  if (args.has("--json"))
    print_json(channel, snapshot);
  else if (args.has("--prometheus"))
    print_prometheus(channel, snapshot);
  else
    print_table(channel, snapshot);
  return 0;
}

}  // namespace

const Command kStatusCommand = {"status",
                                "where a channel stands: counts, gaps, followers and their lag",
                                kHelp,
                                {{"ROOT", "MASTER"}, {}, {"--json", "--prometheus"}},
                                run_status};

}  // namespace zebctl
