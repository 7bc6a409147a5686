// zebctl: an operator's view into a zeb channel, and a test publisher and
// follower built on the real libraries.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"

namespace {

const zebctl::Command* const kCommands[] = {&zebctl::kStatusCommand, &zebctl::kShowCommand,
                                            &zebctl::kTailCommand, &zebctl::kPublishCommand,
                                            &zebctl::kFollowCommand};

void print_overview(std::FILE* out) {
  std::fprintf(out, "usage: zebctl COMMAND ARGUMENTS...   (zebctl COMMAND --help for each)\n\ncommands:\n");
  for (const zebctl::Command* command : kCommands)
    std::fprintf(out, "  %-8s %s\n", command->name, command->summary);
  std::fprintf(out,
               "\nROOT is the channel's root directory, MASTER the master's name.\n"
               "Exit status: 0 done, 1 failed (a missing channel or record, a library call\n"
               "that failed), 2 called wrongly. Every error is one line on stderr.\n");
}

int run(const zebctl::Command& command, const std::vector<std::string>& args) {
  try {
    zebctl::Arguments parsed = zebctl::parse_arguments(command.syntax, args);
    if (parsed.help) {
      std::fputs(command.help, stdout);
    } else {
      int status = command.run(parsed);
      if (status != 0) return status;
    }
    zebctl::finish_output();
    return 0;
  } catch (const zebctl::Failure& failure) {
    std::string hint =
        failure.status == zebctl::kBadUsage ? std::string(" (see zebctl ") + command.name + " --help)" : "";
    std::fflush(stdout);
    std::fprintf(stderr, "zebctl %s: %s%s\n", command.name, failure.message.c_str(), hint.c_str());
    return failure.status;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "zebctl %s: %s\n", command.name, error.what());
    return zebctl::kFailed;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string name = argc > 1 ? argv[1] : "";
  if (name == "--help" || name == "-h" || name == "help") {
    print_overview(stdout);
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
    std::fprintf(stderr, "zebctl: could not write to standard output\n");
    return zebctl::kFailed;
  }
  for (const zebctl::Command* command : kCommands) {
    if (name == command->name) return run(*command, std::vector<std::string>(argv + 2, argv + argc));
  }
  if (name.empty())
    std::fprintf(stderr, "zebctl: missing command (see zebctl --help)\n");
  else
    std::fprintf(stderr, "zebctl: unknown command %s (see zebctl --help)\n", name.c_str());
  return zebctl::kBadUsage;
}
