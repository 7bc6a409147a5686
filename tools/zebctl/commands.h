#pragma once

#include "command_line.h"

namespace zebctl {

// One zebctl command: its name, a one-line summary for `zebctl --help`, its
// own help text, what it accepts, and what it does (returning the exit status).
struct Command {
  const char* name;
  const char* summary;
  const char* help;
  tools::CommandSyntax syntax;
  int (*run)(const tools::Arguments& args);
};

extern const Command kStatusCommand;
extern const Command kShowCommand;
extern const Command kTailCommand;
extern const Command kPublishCommand;
extern const Command kFollowCommand;

}  // namespace zebctl
