// zebctl tail: records as they are published, seen by a read-only observer.
#include <cstdio>
#include <string>

#include "channel_view.h"
#include "commands.h"
#include "follower.h"
#include "interrupt.h"
#include "output.h"
#include "record_files.h"
#include "record_text.h"

namespace zebctl {

namespace {

const char kHelp[] =
    "usage: zebctl tail ROOT MASTER [--from N] [--count K] [--json]\n"
    "\n"
    "Prints the records of MASTER's channel under ROOT as they are published, one\n"
    "line each, until Ctrl-C (which ends it with status 130). A read-only observer:\n"
    "it writes no cursor, never holds the channel's counter and never opens a record\n"
    "above the published count, so it is safe beside a running master and its\n"
    "followers. Records are picked as followers pick them: in order of number,\n"
    "passing over gaps. Output that cannot be written ends tail with status 1, and\n"
    "so, on Linux, does a pipe whose reader has gone (zebctl tail ... | head -3 ends\n"
    "with head).\n"
    "\n"
    "  --from N    start at record N (records already there come first); by\n"
    "              default only records published after tail starts\n"
    "  --count K   stop after K records\n"
    "  --json      one JSON object per line, with the fields of zebctl show --json\n";

int run_tail(const tools::Arguments& args) {
  Channel channel = existing_channel(args.positionals[0], args.positionals[1]);
  bool json = args.has("--json");
  int32_t limit = tools::int_option(args, "--count", 0, 1);
  int32_t cursor =
      args.has("--from") ? tools::int_option(args, "--from", 1, 1) - 1 : zeb::published_count(channel).count;
  tools::stop_on_interrupt();
  for (int32_t printed = 0; !tools::interrupted() && (limit == 0 || printed < limit);) {
    zeb::PublishedCount published = zeb::published_count(channel);
    if (published.count <= cursor) {
      check_output_open();
      tools::pause_between_polls();
      continue;
    }
    zeb::TradeRecord record;
    int32_t number = 0;
    zeb::Path path;
    switch (zeb::load_record_after(channel, cursor, published.count, record, number, path)) {
      case zeb::NextRecord::loaded:
        print_record(number, record, json, path.c_str());
        cursor = number;
        ++printed;
        break;
      case zeb::NextRecord::none:
        // No complete file up to the count: gaps, as followers see them.
        cursor = published.count;
        break;
      case zeb::NextRecord::open_failed:
      case zeb::NextRecord::read_failed:
        std::fprintf(stderr,
                     "zebctl tail: passing over record %d: could not read %s (followers stop there)\n",
                     number, tools::readable(path.c_str()).c_str());
        cursor = number;
        break;
      case zeb::NextRecord::cannot_list:
        tools::fail("could not list " + tools::readable(channel.master_dir()));
    }
  }
  return tools::stop_status();
}

}  // namespace

const Command kTailCommand = {"tail",
                              "records as they are published, without writing any cursor",
                              kHelp,
                              {{"ROOT", "MASTER"}, {"--from", "--count"}, {"--json"}},
                              run_tail};

}  // namespace zebctl
