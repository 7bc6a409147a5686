// zebctl: an operator's view into a zeb channel, and a test publisher and
// follower built on the real libraries.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "commands.h"
#include "generated_docs.h"
#include "platform/tool_os.h"
#include "output.h"
#include "zeb/version.h"

namespace {

const std::vector<const zebctl::Command*> kCommands = {&zebctl::kStatusCommand, &zebctl::kShowCommand,
                                                       &zebctl::kTailCommand, &zebctl::kPublishCommand,
                                                       &zebctl::kFollowCommand};

const zebctl::Command* find_command(const std::string& name) {
  for (const zebctl::Command* command : kCommands) {
    if (name == command->name) return command;
  }
  return nullptr;
}

int run(const zebctl::Command& command, const std::vector<std::string>& args) {
  try {
    tools::Arguments parsed = tools::parse_arguments(command.syntax, args);
    if (parsed.help) {
      std::fputs(command.help, stdout);
    } else {
      int status = command.run(parsed);
      if (status != 0) return status;
    }
    zebctl::finish_output();
    return 0;
  } catch (const tools::Failure& failure) {
    std::string hint =
        failure.status == tools::kBadUsage ? std::string(" (see zebctl ") + command.name + " --help)" : "";
    std::fflush(stdout);
    std::fprintf(stderr, "zebctl %s: %s%s\n", command.name, failure.message.c_str(), hint.c_str());
    return failure.status;
  } catch (const std::exception& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "zebctl %s: %s\n", command.name, error.what());
    return tools::kFailed;
  }
}

// Text that zebctl prints on its own, outside any command.
int print(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  std::fprintf(stderr, "zebctl: could not write to standard output\n");
  return tools::kFailed;
}

int bad_call(const std::string& problem) {
  std::fprintf(stderr, "zebctl: %s (see zebctl --help)\n", problem.c_str());
  return tools::kBadUsage;
}

}  // namespace

int main(int argc, char** argv) {
  zeb::platform::report_broken_pipes();
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string name = args.empty() ? "" : args[0];
  if (name == "--help" || name == "-h" || (name == "help" && args.size() == 1)) return print(zebctl::overview(kCommands));
  if (name == "--version" && args.size() == 1) return print("zebctl " ZEB_VERSION_STRING "\n");
  // The build makes the manual page and the completion script this way.
  if (name == "--generate" && args.size() == 3)
    return tools::generate_doc(args[1], args[2], zebctl::manual(kCommands), zebctl::completion(kCommands));
  if (name == "help") {
    const zebctl::Command* command = find_command(args[1]);
    if (command == nullptr || args.size() > 2) return bad_call("help takes one command name");
    return print(command->help);
  }
  if (const zebctl::Command* command = find_command(name))
    return run(*command, std::vector<std::string>(args.begin() + 1, args.end()));
  return bad_call(name.empty() ? "missing command" : "unknown command " + name);
}
