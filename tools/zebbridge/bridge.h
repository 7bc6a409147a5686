#pragma once

#include <string>

#include "bridge_config.h"
#include "bridge_report.h"
#include "command_line.h"

namespace zebbridge {

// Each mode runs until SIGINT or SIGTERM (then returns 0) or until it must
// stop: a local Init that fails throws tools::Failure with status 1, a
// refusal (going on would lose or duplicate records) with kRefused.
int run_out(const BridgeConfig& config, Report& report);
int run_in(const BridgeConfig& config, Report& report);

[[noreturn]] inline void refuse(const std::string& message) {
  throw tools::Failure{kRefused, message};
}

}  // namespace zebbridge
