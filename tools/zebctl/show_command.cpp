// zebctl show: one record, decoded.
#include <cstdio>
#include <string>

#include "channel_view.h"
#include "commands.h"
#include "follower.h"
#include "record_files.h"
#include "record_text.h"

namespace zebctl {

namespace {

const char kHelp[] =
    "usage: zebctl show ROOT MASTER N|latest [--json]\n"
    "\n"
    "Prints the eleven fields of record N of MASTER's channel under ROOT, or of the\n"
    "newest complete record with \"latest\". While some process holds the channel's\n"
    "counter (a master is running), only published records are read, so zebctl\n"
    "never opens a file the master may be writing.\n"
    "\n"
    "  --json   one JSON object: {\"number\", \"file\", \"cmd\", \"ticket\", \"type\",\n"
    "           \"symbol\", \"lot\", \"open_price\", \"sl\", \"tp\", \"close_price\",\n"
    "           \"time_local\", \"time_server\", \"raw\"}. \"raw\" is the record's 80 bytes\n"
    "           in hex as the file holds them (the symbol area's last byte read as\n"
    "           0), for what the fields cannot give back: a symbol byte that is not\n"
    "           UTF-8 becomes the code point of its value, NaN keeps no payload.\n";

struct Found {
  int32_t number;
  std::string file;
  zeb::TradeRecord record;
};

// Why an entry numbered as asked could not be shown.
std::string refusal(zeb::RecordLoad load, int32_t number, const std::string& path) {
  switch (load) {
    case zeb::RecordLoad::incomplete:
      return "record " + std::to_string(number) + " is incomplete: " + tools::readable(path) +
             " holds fewer than 80 bytes (a failed Write left it; followers pass over it)";
    case zeb::RecordLoad::open_failed:
      return "could not open record " + std::to_string(number) + ": " + tools::readable(path);
    default:
      return "could not read record " + std::to_string(number) + ": " + tools::readable(path);
  }
}

Found find_record(const Channel& channel, const std::string& which) {
  zeb::PublishedCount published = zeb::published_count(channel);
  int32_t up_to = published.live ? published.count : INT32_MAX;
  bool latest = which == "latest";
  int32_t number = latest ? 0 : tools::parse_int(which, "N", 1);
  if (number > up_to)
    tools::fail("record " + which + " is not published yet (the live count is " + std::to_string(up_to) + ")");

  std::vector<zeb::RecordEntry> entries;
  if (!zeb::list_records(channel.master_dir(), latest ? 0 : number - 1, latest ? up_to : number,
                         entries))
    tools::fail("could not list " + tools::readable(channel.master_dir()));
  // Newest first for "latest"; for N, every entry read as N ("7", "000007").
  std::string first_refusal;
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
    Found found{entry->number, channel.entry(entry->name.c_str()).c_str(), {}};
    zeb::RecordLoad load = zeb::load_record_file(found.file.c_str(), found.record);
    if (load == zeb::RecordLoad::loaded) return found;
    if (first_refusal.empty()) first_refusal = refusal(load, entry->number, found.file);
  }
  if (latest) tools::fail("no complete record in " + tools::readable(channel.master_dir()));
  if (!first_refusal.empty()) tools::fail(first_refusal);
  tools::fail("record " + std::to_string(number) + " not found in " + tools::readable(channel.master_dir()));
}

int run_show(const tools::Arguments& args) {
  Channel channel = existing_channel(args.positionals[0], args.positionals[1]);
  Found found = find_record(channel, args.positionals[2]);
  if (args.has("--json")) {
    std::printf("%s\n", tools::record_json(found.number, found.record, found.file).c_str());
    return 0;
  }
  std::printf("%-12s %d\n%-12s %s\n", "record", found.number, "file", tools::readable(found.file).c_str());
  for (const tools::FieldText& field : tools::record_fields(found.record))
    std::printf("%-12s %s\n", field.name, field.text.c_str());
  return 0;
}

}  // namespace

const Command kShowCommand = {"show",
                              "one record's eleven fields, decoded",
                              kHelp,
                              {{"ROOT", "MASTER", "N|latest"}, {}, {"--json"}},
                              run_show};

}  // namespace zebctl
