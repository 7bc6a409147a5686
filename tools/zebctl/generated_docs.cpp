#include "generated_docs.h"

namespace zebctl {

namespace {

const std::vector<std::string> kDescription = {
    "zebctl shows where a zeb channel stands and what it holds, and publishes and follows records by hand "
    "through the real libraries, as a host trading program would. ROOT is the channel's root directory, "
    "MASTER the master's name.",
    "Every error is one line on standard error. Names and paths are printed with control bytes, and bytes "
    "that are not UTF-8, written as \\xNN.",
};

const std::vector<tools::DocEntry> kExitStatuses = {
    {"0", "done"},
    {"1", "failed: a missing channel or record, a library call that failed, output that could not be written"},
    {"2", "called wrongly, numbers out of range included"},
    {"130", "Ctrl-C ended tail or follow"},
};

const std::vector<tools::DocEntry> kExamples = {
    {"Where the channel of master Alpha stands, and how far behind each follower is:",
     "zebctl status /srv/channels Alpha"},
    {"The newest record, as JSON:", "zebctl show /srv/channels Alpha latest --json"},
    {"The first ten records:", "zebctl tail /srv/channels Alpha --from 1 --count 10"},
    {"A trial record on a channel whose master is not running:",
     "zebctl publish /tmp/trial Alpha --ticket 5001 --symbol EURUSD --lot 0.5"},
    {"Follow the channel as the follower copier-1, one JSON object per record:",
     "zebctl follow /srv/channels copier-1 Alpha --json"},
};

// "zebctl show ROOT MASTER N|latest [--json]": the usage lines that open a
// command's help, as one line.
std::string call_form(const Command& command) {
  std::string help = command.help;
  std::string usage = help.substr(0, help.find("\n\n"));
  std::string call;
  bool blank = false;
  for (char c : usage.substr(std::string("usage: ").size())) {
    if (c == ' ' || c == '\n') {
      blank = true;
    } else {
      if (blank) call += ' ';
      call += c;
      blank = false;
    }
  }
  return call;
}

// A command's help after its usage lines.
std::string help_body(const Command& command) {
  std::string help = command.help;
  size_t end = help.find("\n\n");
  return end == std::string::npos ? "" : help.substr(end + 2);
}

}  // namespace

std::string overview(const std::vector<const Command*>& commands) {
  std::string text =
      "usage: zebctl COMMAND ARGUMENTS...   (zebctl COMMAND --help, or zebctl help\n"
      "       COMMAND, for each; zebctl --version for the version)\n\ncommands:\n";
  std::vector<tools::DocEntry> summaries;
  for (const Command* command : commands) summaries.push_back({command->name, command->summary});
  text += tools::help_table(summaries);
  for (const std::string& paragraph : kDescription) text += "\n" + tools::wrapped(paragraph);
  text += "\nexit status:\n" + tools::help_table(kExitStatuses) + "\nexamples:\n";
  for (const tools::DocEntry& example : kExamples) text += "  " + example.text + "\n";
  return text;
}

tools::ManPage manual(const std::vector<const Command*>& commands) {
  tools::ManPage page;
  page.program = "zebctl";
  page.summary = "an operator's view into a zeb channel";
  tools::DocSection section{"commands", {}, true};
  for (const Command* command : commands) {
    page.synopsis.push_back(call_form(*command));
    section.entries.push_back({command->name, help_body(*command)});
  }
  page.synopsis.insert(page.synopsis.end(), {"zebctl help COMMAND", "zebctl --help", "zebctl --version"});
  page.description = kDescription;
  page.sections = {section};
  page.exit_statuses = kExitStatuses;
  page.examples = kExamples;
  page.see_also = {"zebbridge(1)"};
  return page;
}

tools::Completion completion(const std::vector<const Command*>& commands) {
  tools::Completion result{"zebctl", {}, {"--help", "--version"}, true};
  for (const Command* command : commands) {
    std::vector<std::string> options = command->syntax.value_options;
    options.insert(options.end(), command->syntax.flags.begin(), command->syntax.flags.end());
    options.push_back("--help");
    result.commands.push_back({command->name, options});
  }
  return result;
}

}  // namespace zebctl
