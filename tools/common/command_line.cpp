#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tools {

void fail(const std::string& message) {
  throw Failure{kFailed, message};
}

void bad_usage(const std::string& message) {
  throw Failure{kBadUsage, message};
}

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

Arguments parse_arguments(const CommandSyntax& syntax, const std::vector<std::string>& args) {
  Arguments result;
  auto options_end = std::find(args.begin(), args.end(), "--");
  if (std::find_if(args.begin(), options_end,
                   [](const std::string& arg) { return arg == "--help" || arg == "-h"; }) != options_end) {
    result.help = true;
    return result;
  }
  bool options_ended = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--" && !options_ended) {
      options_ended = true;
      continue;
    }
    if (options_ended || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      result.positionals.push_back(arg);
      continue;
    }
    size_t equals = arg.find('=');
    std::string option = arg.substr(0, equals);
    if (listed(syntax.flags, option)) {
      if (equals != std::string::npos) bad_usage(option + " takes no value");
      if (!result.flags.insert(option).second) bad_usage(option + " given twice");
    } else if (listed(syntax.value_options, option)) {
      std::string value;
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        bad_usage(option + " needs a value");
      }
      if (!result.values.emplace(option, value).second) bad_usage(option + " given twice");
    } else {
      bad_usage("unknown option " + option);
    }
  }
  if (result.positionals.size() < syntax.positionals.size())
    bad_usage("missing " + syntax.positionals[result.positionals.size()]);
  if (result.positionals.size() > syntax.positionals.size())
    bad_usage("unexpected argument " + result.positionals[syntax.positionals.size()]);
  return result;
}

int32_t parse_int(const std::string& text, const std::string& what, int32_t minimum) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(begin, &end, 10);
  bool whole =
      !text.empty() && *end == '\0' && errno == 0 && text.find_first_of(" \t\n") == std::string::npos;
  if (!whole || value < minimum || value > INT32_MAX)
    bad_usage(what + " must be a whole number from " + std::to_string(minimum) + " to " +
              std::to_string(INT32_MAX) + ", not '" + text + "'");
  return static_cast<int32_t>(value);
}

double parse_double(const std::string& text, const std::string& what) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(begin, &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) ||
      text.find_first_of(" \t\n") != std::string::npos)
    bad_usage(what + " must be a finite number, not '" + text + "'");
  // Too small for a double: it would be stored as 0. A value that only loses
  // precision below the normal range is still the nearest double.
  if (errno == ERANGE && value == 0)
    bad_usage(what + " is too close to 0 for a double, not '" + text + "'");
  return value;
}

int32_t int_option(const Arguments& args, const std::string& option, int32_t fallback, int32_t minimum) {
  auto found = args.values.find(option);
  return found == args.values.end() ? fallback : parse_int(found->second, option, minimum);
}

double double_option(const Arguments& args, const std::string& option, double fallback) {
  auto found = args.values.find(option);
  return found == args.values.end() ? fallback : parse_double(found->second, option);
}

}  // namespace tools
