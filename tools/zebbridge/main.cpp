// zebbridge: carries a zeb channel across machines over NATS JetStream.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "bridge.h"
#include "bridge_docs.h"
#include "command_line.h"
#include "interrupt.h"
#include "nats_link.h"
#include "zeb/version.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // The build makes the manual page and the completion script this way.
  if (args.size() == 3 && args[0] == "--generate")
    return tools::generate_doc(args[1], args[2], zebbridge::manual(), zebbridge::completion());
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(zebbridge::usage().c_str(), stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("zebbridge %s\n", ZEB_VERSION_STRING);
      return 0;
    }
  }
  zebbridge::BridgeConfig config;
  try {
    config = zebbridge::parse_config(args, [](const char* name) { return std::getenv(name); });
  } catch (const tools::Failure& failure) {
    std::fprintf(stderr, "zebbridge: %s (see zebbridge --help)\n", failure.message.c_str());
    return failure.status;
  }

  tools::stop_on_interrupt();
  zebbridge::NatsClientLibrary client;
  zebbridge::Report report(config);
  try {
    int status = config.mode == zebbridge::Mode::out ? zebbridge::run_out(config, report)
                                                     : zebbridge::run_in(config, report);
    report.event("stopped", "stopped");
    return status;
  } catch (const tools::Failure& failure) {
    report.final_line(failure.status == zebbridge::kRefused ? "refused" : "error", failure.message);
    return failure.status;
  } catch (const std::exception& error) {
    report.final_line("error", error.what());
    return tools::kFailed;
  }
}
