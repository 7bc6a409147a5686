// zebctl publish: one record through the master library.
#include <cstdio>
#include <string>

#include "channel_view.h"
#include "commands.h"
#include "copy_position.h"
#include "file_calls.h"
#include "follower.h"
#include "record_text.h"
#include "trade_record.h"
#include "zeb_library.h"

namespace zebctl {

namespace {

const char kHelp[] =
    "usage: zebctl publish ROOT MASTER [--cmd N] [--ticket N] [--type N] [--symbol S]\n"
    "           [--lot X] [--open-price X] [--sl X] [--tp X] [--close-price X]\n"
    "           [--time-local N] [--time-server N] [--force]\n"
    "\n"
    "Publishes one record on MASTER's channel under ROOT through the master library,\n"
    "as a master trading program would: Init, the eleven setters, Write. Fields not\n"
    "given are 0 and the symbol empty; a symbol holds at most 19 characters. ROOT\n"
    "must exist; the channel is created if it is new. For trials and scripts.\n"
    "\n"
    "Only for channels without a running master: two masters on one channel take\n"
    "the same record numbers, so one would overwrite the other's records.\n"
    "\n"
    "  --force  publish also into a copy that zebbridge in keeps (its master\n"
    "           directory holds bridge.position), whose numbers belong to the\n"
    "           source channel: the bridge refuses to go on with such a copy\n";

int run_publish(const tools::Arguments& args) {
  const std::string& root = args.positionals[0];
  const std::string& master = args.positionals[1];
  check_name(master, "master name");
  std::string symbol = args.values.count("--symbol") ? args.values.at("--symbol") : "";
  if (symbol.size() >= zeb::kSymbolSize)
    tools::bad_usage("--symbol holds at most " + std::to_string(zeb::kSymbolSize - 1) + " characters, not " +
                     std::to_string(symbol.size()));
  // Every value is checked before anything is published.
  int32_t cmd = tools::int_option(args, "--cmd", 0), ticket = tools::int_option(args, "--ticket", 0),
          type = tools::int_option(args, "--type", 0),
          time_local = tools::int_option(args, "--time-local", 0),
          time_server = tools::int_option(args, "--time-server", 0);
  double lot = tools::double_option(args, "--lot", 0),
         open_price = tools::double_option(args, "--open-price", 0),
         sl = tools::double_option(args, "--sl", 0), tp = tools::double_option(args, "--tp", 0),
         close_price = tools::double_option(args, "--close-price", 0);
  // Init would create a missing root; a mistyped one must not become a channel.
  if (!zeb::path_exists(root.c_str())) tools::fail("root directory not found: " + tools::readable(root));
  // A copy's master claim is held only while its bridge runs.
  zeb::ErrorState error;
  zeb::ChannelPaths paths;
  if (paths.set(error, root.c_str(), master.c_str(), master.c_str()) &&
      zeb::path_exists(paths.entry(tools::kCopyPositionName).c_str()) && !args.has("--force"))
    tools::fail(tools::readable(paths.master_dir()) + " is a copy that zebbridge in keeps (it holds " +
                tools::kCopyPositionName + "): a record published there takes a number of the source channel, and " +
                "the bridge refuses to go on; give --force to publish anyway");

  MasterLibrary lib(ZEB_MASTER_FILE);
  if (lib->Init(root.c_str(), master.c_str()) != 1) tools::fail(lib->ErrorMsg());
  lib->SetCmd(cmd);
  lib->SetTicket(ticket);
  lib->SetType(type);
  lib->SetSymbol(symbol.c_str());
  lib->SetLot(lot);
  lib->SetOpenPrice(open_price);
  lib->SetSL(sl);
  lib->SetTP(tp);
  lib->SetClosePrice(close_price);
  lib->SetTimeLocal(time_local);
  lib->SetTimeServer(time_server);
  if (lib->Write() != 1) tools::fail(lib->ErrorMsg());

  // After a Write, the live count is the number it took: the master library
  // in this process holds the counter.
  Channel channel = existing_channel(root, master);
  int32_t number = zeb::published_count(channel).count;
  std::printf("published record %d: %s\n", number, tools::readable(channel.record(number).c_str()).c_str());
  return 0;
}

}  // namespace

const Command kPublishCommand = {"publish",
                                 "one record through the master library (no master may be running)",
                                 kHelp,
                                 {{"ROOT", "MASTER"},
                                  {"--cmd", "--ticket", "--type", "--symbol", "--lot", "--open-price", "--sl",
                                   "--tp", "--close-price", "--time-local", "--time-server"},
                                  {"--force"}},
                                 run_publish};

}  // namespace zebctl
