#include "generated_docs.h"

#include "zeb/version.h"

namespace zebctl {

namespace {

// Plain text as a roff block kept line for line: backslashes escaped, and a
// line that would read as a request ('.' or '\'' first) guarded.
std::string roff_lines(const std::string& text) {
  std::string out = ".nf\n";
  bool line_start = true;
  for (char c : text) {
    if (line_start && (c == '.' || c == '\'')) out += "\\&";
    out += c == '\\' ? std::string("\\e") : std::string(1, c);
    line_start = c == '\n';
  }
  if (!line_start) out += '\n';
  return out + ".fi\n";
}

std::string words(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& word : list) out += (out.empty() ? "" : " ") + word;
  return out;
}

}  // namespace

std::string man_page(const std::string& overview, const std::vector<const Command*>& commands) {
  std::string page = ".TH ZEBCTL 1 \"\" \"zeb " ZEB_VERSION_STRING
                     "\" \"User Commands\"\n"
                     ".SH NAME\n"
                     "zebctl \\- an operator's view into a zeb channel\n"
                     ".SH SYNOPSIS\n"
                     ".B zebctl\n"
                     "COMMAND ARGUMENTS...\n"
                     ".br\n"
                     ".B zebctl help\n"
                     "COMMAND\n"
                     ".br\n"
                     ".B zebctl --version\n"
                     ".SH DESCRIPTION\n";
  page += roff_lines(overview);
  page += ".SH COMMANDS\n";
  for (const Command* command : commands) page += std::string(".SS ") + command->name + "\n" + roff_lines(command->help);
  return page;
}

std::string bash_completion(const std::vector<const Command*>& commands) {
  std::vector<std::string> names;
  for (const Command* command : commands) names.push_back(command->name);
  std::string script =
      "# bash completion for zebctl " ZEB_VERSION_STRING
      ": commands, then each command's options; other words complete as file names.\n"
      "_zebctl() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} options\n"
      "  COMPREPLY=()\n"
      "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
      "    COMPREPLY=($(compgen -W \"" +
      words(names) +
      " help --help --version\" -- \"$cur\"))\n"
      "    return\n"
      "  fi\n"
      "  case ${COMP_WORDS[1]} in\n"
      "    help) [ \"$COMP_CWORD\" -eq 2 ] && COMPREPLY=($(compgen -W \"" +
      words(names) + "\" -- \"$cur\")); return ;;\n";
  for (const Command* command : commands) {
    std::vector<std::string> options = command->syntax.value_options;
    options.insert(options.end(), command->syntax.flags.begin(), command->syntax.flags.end());
    options.push_back("--help");
    script += std::string("    ") + command->name + ") options=\"" + words(options) + "\" ;;\n";
  }
  script +=
      "    *) return ;;\n"
      "  esac\n"
      "  [[ $cur == -* ]] && COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
      "}\n"
      "complete -o default -F _zebctl zebctl\n";
  return script;
}

}  // namespace zebctl
