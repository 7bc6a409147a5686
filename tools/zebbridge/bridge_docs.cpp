#include "bridge_docs.h"

#include "bridge_config.h"

namespace zebbridge {

namespace {

const std::vector<std::string> kSynopsis = {
    "zebbridge out ROOT MASTER --server URL [--channel ID] [OPTIONS]",
    "zebbridge in ROOT MASTER --server URL [--channel ID] [OPTIONS]",
};

const char kDescription[] =
    "Carries the channel of MASTER under ROOT across machines over NATS JetStream: every record reaches the "
    "far channel exactly once, in order, under the number it has at the source. The two bridges may start in "
    "any order, and each reconnects to the server for as long as it runs.";

const std::vector<tools::DocEntry> kModes = {
    {"out", "on the master's machine: follows the channel as bridge-ID and publishes each record to the stream "
            "ZEB_ID (which it creates when missing), committing the record once the server stored it"},
    {"in", "on a far machine: the master of the local copy ROOT/MASTER, writing each record under its number "
           "at the source; followers there read the copy with the follower library"},
};

const std::vector<tools::DocEntry> kExitStatuses = {
    {"0", "SIGINT or SIGTERM ended the bridge (on Windows: Ctrl-C, Ctrl-Break, closing the console, logoff or "
          "shutdown)"},
    {"1", "it could not run (the local Init failed, for instance; the message says why)"},
    {"2", "called wrongly"},
    {"3", "it refused to go on, because going on would lose or duplicate records"},
};

const std::vector<tools::DocEntry> kExamples = {
    {"On the master's machine, carry the channel of master Alpha to the server:",
     "zebbridge out /srv/channels Alpha --server nats://nats.example:4222"},
    {"On a far machine, keep a copy of it that local followers read:",
     "zebbridge in /srv/channels Alpha --server nats://nats.example:4222"},
    {"A copy on the master's own machine needs a master name of its own (master names are machine-wide), so "
     "its bridge gives the channel id, the master name Alpha in hex:",
     "zebbridge in /srv/copies Alpha-copy --server nats://127.0.0.1:4222 --channel 416c706861"},
    {"A copy whose stream is gone goes on from a new stream that an out bridge fills from the channel's first "
     "record under a new channel id (here alpha-2): point the copy's position at that id and the stream's start, "
     "and the in bridge checks the records the copy holds against the new stream before it goes on:",
     "printf 'alpha-2 0\\n' > /srv/channels/Alpha/bridge.position; zebbridge in /srv/channels Alpha --server "
     "nats://nats.example:4222 --channel alpha-2"},
    {"Watch the copy's lag with Prometheus, through node_exporter's textfile collector:",
     "zebbridge in /srv/channels Alpha --server nats://nats.example:4222 --metrics-file "
     "/var/lib/node_exporter/zebbridge_Alpha.prom"},
};

// "--server URL", and its help with the environment variable that stands in.
std::vector<tools::DocEntry> option_entries() {
  std::vector<tools::DocEntry> entries;
  for (const BridgeOption& option : kBridgeOptions) {
    std::string heading = option.name;
    if (option.value != nullptr) heading += std::string(" ") + option.value;
    std::string help = option.help;
    if (option.variable != nullptr) help += std::string(" (or ") + option.variable + ")";
    entries.push_back({heading, help});
  }
  return entries;
}

}  // namespace

std::string usage() {
  std::string text = "usage: " + kSynopsis[0] + "\n";
  for (size_t i = 1; i < kSynopsis.size(); ++i) text += "       " + kSynopsis[i] + "\n";
  text += "\n" + tools::wrapped(kDescription) + "\n" + tools::help_table(kModes);
  text += "\noptions:\n" + tools::help_table(option_entries());
  text += "\nexit status:\n" + tools::help_table(kExitStatuses) + "\nexamples:\n";
  for (const tools::DocEntry& example : kExamples) text += "  " + example.text + "\n";
  return text;
}

tools::ManPage manual() {
  tools::ManPage page;
  page.program = "zebbridge";
  page.summary = "carry a zeb channel across machines over NATS JetStream";
  page.synopsis = kSynopsis;
  page.synopsis.insert(page.synopsis.end(), {"zebbridge --help", "zebbridge --version"});
  page.description = {kDescription};
  page.sections = {{"modes", kModes}, {"options", option_entries()}};
  page.exit_statuses = kExitStatuses;
  page.examples = kExamples;
  page.see_also = {"zebctl(1)"};
  return page;
}

tools::Completion completion() {
  std::vector<std::string> options;
  for (const BridgeOption& option : kBridgeOptions) options.push_back(option.name);
  options.push_back("--help");
  return {"zebbridge", {{"out", options}, {"in", options}}, {"--help", "--version"}, false};
}

}  // namespace zebbridge
