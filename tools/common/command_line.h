#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tools {

// Exit statuses every tool shares: it could not do its job, or it was called
// wrongly.
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

// Ends a tool's run: its main prints the message as one line naming the tool
// and exits with `status`.
struct Failure {
  int status;
  std::string message;
};

[[noreturn]] void fail(const std::string& message);
[[noreturn]] void bad_usage(const std::string& message);

// What a command accepts: its positional arguments in order, options that
// take a value ("--from N" or "--from=N") and flags ("--json").
struct CommandSyntax {
  std::vector<std::string> positionals;
  std::vector<std::string> value_options;
  std::vector<std::string> flags;
};

struct Arguments {
  std::vector<std::string> positionals;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  bool help = false;  // --help or -h anywhere: nothing else is checked

  bool has(const std::string& option) const { return values.count(option) + flags.count(option) > 0; }
};

// Parses a command's arguments (those after its name); "--" ends the options.
// Unknown or repeated options, missing values and a wrong number of
// positionals are bad usage.
Arguments parse_arguments(const CommandSyntax& syntax, const std::vector<std::string>& args);

// A whole decimal number in [minimum, INT32_MAX]; `what` names it in the error.
int32_t parse_int(const std::string& text, const std::string& what, int32_t minimum = INT32_MIN);
// A finite decimal number.
double parse_double(const std::string& text, const std::string& what);

int32_t int_option(const Arguments& args, const std::string& option, int32_t fallback,
                   int32_t minimum = INT32_MIN);
double double_option(const Arguments& args, const std::string& option, double fallback);

}  // namespace tools
