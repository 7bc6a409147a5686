// zebctl follow: a real follower through the follower library.
#include <algorithm>
#include <cstdio>
#include <string>

#include "channel_view.h"
#include "commands.h"
#include "index_file.h"
#include "interrupt.h"
#include "library_record.h"
#include "output.h"
#include "record_files.h"
#include "record_text.h"
#include "zeb_library.h"

namespace zebctl {

namespace {

const char kHelp[] =
    "usage: zebctl follow ROOT FOLLOWER MASTER [--count K] [--json]\n"
    "\n"
    "Follows MASTER's channel under ROOT as the follower FOLLOWER, through the\n"
    "follower library as a host trading program would: Read, print the record,\n"
    "Commit, until Ctrl-C (status 130). Its cursor is FOLLOWER's index file, so it\n"
    "resumes after the last record committed under that name; a record printed but\n"
    "not committed (the process killed in between) is printed again next time. The\n"
    "channel must exist already (a master or zebctl publish has run), so a mistyped\n"
    "name makes no new channel. A record is committed only once its line is written:\n"
    "output that cannot be written (a full disk, a closed pipe) ends follow with\n"
    "status 1 and the record uncommitted, as does, on Linux, a pipe whose reader has\n"
    "gone.\n"
    "\n"
    "  --count K   stop after K records\n"
    "  --json      one JSON object per line, with the fields of zebctl show --json;\n"
    "              \"raw\" is the record as the library's getters give it (zeros\n"
    "              after the symbol's NUL)\n";

// The library keeps the number of the record it loaded to itself; Read's own
// rule, applied from the cursor, names it and its file: the file named for
// the next number, at the same cost at any channel size (0 and no file in the
// unlikely case that the record is gone by now).
struct Loaded {
  int32_t number = 0;
  std::string file;
};
Loaded loaded_entry(const Channel& channel, int32_t cursor) {
  zeb::TradeRecord record;
  Loaded loaded;
  zeb::Path path;
  zeb::NextRecord next = zeb::load_record_after(channel, cursor, INT32_MAX, record, loaded.number, path);
  if (next != zeb::NextRecord::loaded) return {};
  loaded.file = path.c_str();
  return loaded;
}

int run_follow(const tools::Arguments& args) {
  const std::string& name = args.positionals[1];
  Channel channel = existing_channel(args.positionals[0], args.positionals[2]);
  check_name(name, "follower name");
  if (name == channel.master())
    tools::bad_usage(
        "follower name must differ from the master name: its cursor would overwrite the master index");
  bool json = args.has("--json");
  int32_t limit = tools::int_option(args, "--count", 0, 1);

  FollowerLibrary library(ZEB_FOLLOWER_FILE);
  const zebfollower_api& follower = *library;
  if (follower.Init(channel.root(), name.c_str(), channel.master()) != 1)
    tools::fail(follower.ErrorMsg());
  zeb::Path index = channel.index(name.c_str());
  int32_t cursor = std::max(zeb::read_index(index.c_str()).value, 0);

  tools::stop_on_interrupt();
  std::string last_error;
  for (int32_t printed = 0; !tools::interrupted() && (limit == 0 || printed < limit);) {
    if (follower.Read() != 1) {
      // Report a failing Read once, not on every poll.
      std::string error = follower.ErrorCode() != 0 ? follower.ErrorMsg() : "";
      if (!error.empty() && error != last_error) std::fprintf(stderr, "zebctl follow: %s\n", error.c_str());
      last_error = error;
      check_output_open();
      tools::pause_between_polls();
      continue;
    }
    last_error.clear();
    zeb::TradeRecord record = tools::received_record(follower);
    Loaded loaded = loaded_entry(channel, cursor);
    // A record is committed only once its line is out: print_record ends the
    // command on a write error.
    print_record(loaded.number, record, json, loaded.file);
    if (follower.Commit() != 1)
      tools::fail(std::string(follower.ErrorMsg()) + " (the record is delivered again to " + name + ")");
    cursor = zeb::read_index(index.c_str()).value;
    ++printed;
  }
  return tools::stop_status();
}

}  // namespace

const Command kFollowCommand = {"follow",
                                "a real follower: read, print, commit, until Ctrl-C",
                                kHelp,
                                {{"ROOT", "FOLLOWER", "MASTER"}, {"--count"}, {"--json"}},
                                run_follow};

}  // namespace zebctl
