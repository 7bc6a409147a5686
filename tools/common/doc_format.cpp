#include "doc_format.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "zeb/version.h"

namespace tools {

namespace {

constexpr size_t kHelpWidth = 79;

// The parts of `text` between the separators; empty ones only with `keep_empty`.
std::vector<std::string> split(const std::string& text, char separator, bool keep_empty) {
  std::vector<std::string> parts;
  for (size_t start = 0; start <= text.size();) {
    size_t end = std::min(text.find(separator, start), text.size());
    if (keep_empty || end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Text for roff: backslashes and hyphens escaped (so options keep a plain
// '-' on every output device), and a line that would read as a request ('.'
// or '\'' first) guarded.
std::string roff(const std::string& text) {
  std::string out;
  bool line_start = true;
  for (char c : text) {
    if (line_start && (c == '.' || c == '\'')) out += "\\&";
    out += c == '\\' ? std::string("\\e") : c == '-' ? std::string("\\-") : std::string(1, c);
    line_start = c == '\n';
  }
  return out;
}

// "--from N" with the option bold; any other tag ("0", "out") bold whole.
std::string roff_tag(const std::string& tag) {
  size_t end = tag.rfind('-', 0) == 0 ? std::min(tag.find(' '), tag.size()) : tag.size();
  return "\\fB" + roff(tag.substr(0, end)) + "\\fR" + roff(tag.substr(end));
}

// A call form with its first word bold, broken only between its words that
// stand outside brackets, so "[--lot X]" stays whole.
std::string roff_call(const std::string& call) {
  size_t space = std::min(call.find(' '), call.size());
  std::string rest;
  int depth = 0;
  for (char c : roff(call.substr(space))) {
    depth += c == '[' ? 1 : c == ']' ? -1 : 0;
    rest += c == ' ' && depth > 0 ? std::string("\\ ") : std::string(1, c);
  }
  return "\\fB" + roff(call.substr(0, space)) + "\\fR" + rest;
}

size_t indentation(const std::string& line) {
  return std::min(line.find_first_not_of(' '), line.size());
}

std::string trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  return begin == std::string::npos ? "" : text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// Indented lines of help text ("  --from N    start at ...", and the lines
// that go on further indented) as tagged paragraphs. The text's column is
// where the lines that go on start, else after the first two spaces.
std::string roff_table(const std::vector<std::string>& lines) {
  size_t tag_column = SIZE_MAX, text_column = SIZE_MAX;
  for (const std::string& line : lines) tag_column = std::min(tag_column, indentation(line));
  for (const std::string& line : lines) {
    if (indentation(line) > tag_column) text_column = std::min(text_column, indentation(line));
  }
  if (text_column == SIZE_MAX) {
    size_t gap = std::min(lines[0].find("  ", tag_column), lines[0].size());
    text_column = gap + indentation(lines[0].substr(gap));
  }
  std::string out;
  for (const std::string& line : lines) {
    if (indentation(line) > tag_column) {
      out += roff(trimmed(line)) + "\n";
      continue;
    }
    // A tag ends at two spaces or the line's end: one longer than its column
    // ("--prometheus") stands alone on its line, the text below it.
    size_t gap = std::min(line.find("  ", tag_column), line.size());
    std::string tag = trimmed(line.substr(tag_column, gap - tag_column));
    out += ".TP " + std::to_string(text_column - tag_column) + "\n" + roff_tag(tag) + "\n";
    if (gap < line.size()) out += roff(trimmed(line.substr(gap))) + "\n";
  }
  return out;
}

// Help text as the page shows it: lines that start at the margin filled as
// paragraphs, runs of indented lines as tagged paragraphs.
std::string roff_help(const std::string& text) {
  std::vector<std::string> lines = split(text, '\n', true);
  std::string out;
  for (size_t i = 0; i < lines.size();) {
    if (lines[i].empty()) {
      ++i;
      continue;
    }
    bool table = indentation(lines[i]) > 0;
    std::vector<std::string> run;
    for (; i < lines.size() && !lines[i].empty() && (indentation(lines[i]) > 0) == table; ++i)
      run.push_back(lines[i]);
    if (table) {
      out += roff_table(run);
    } else {
      out += out.empty() ? "" : ".PP\n";
      for (const std::string& line : run) out += roff(line) + "\n";
    }
  }
  return out;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string words(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& word : list) out += (out.empty() ? "" : " ") + word;
  return out;
}

}  // namespace

std::string wrapped(const std::string& text, size_t indent, size_t column) {
  std::string out;
  for (const std::string& word : split(text, ' ', false)) {
    if (column > indent && column + 1 + word.size() > kHelpWidth) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (column > indent) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
  }
  return out + "\n";
}

std::string help_table(const std::vector<DocEntry>& entries) {
  size_t width = 0;
  for (const DocEntry& entry : entries) width = std::max(width, entry.heading.size());
  std::string out;
  for (const DocEntry& entry : entries) {
    std::string tag = "  " + entry.heading + std::string(width - entry.heading.size() + 2, ' ');
    out += tag + wrapped(entry.text, tag.size(), tag.size());
  }
  return out;
}

std::string man_page(const ManPage& page) {
  std::string out = ".TH " + upper(page.program) + " 1 \"\" \"zeb " ZEB_VERSION_STRING "\" \"User Commands\"\n";
  // Names, options and JSON keys are never hyphenated, and lines are not
  // stretched to the margin.
  out += ".nh\n.ad l\n";
  out += ".SH NAME\n" + roff(page.program) + " \\- " + roff(page.summary) + "\n";
  // Each call form on lines of its own, a long one going on indented.
  out += ".SH SYNOPSIS\n.in +4n\n";
  for (const std::string& call : page.synopsis) out += ".ti -4n\n" + roff_call(call) + "\n.br\n";
  out += ".in\n.SH DESCRIPTION\n";
  for (size_t i = 0; i < page.description.size(); ++i) out += (i > 0 ? ".PP\n" : "") + roff(page.description[i]) + "\n";
  for (const DocSection& section : page.sections) {
    out += ".SH " + upper(section.title) + "\n";
    for (const DocEntry& entry : section.entries) {
      out += section.help_texts ? ".SS " + roff(entry.heading) + "\n" + roff_help(entry.text)
                                : ".TP\n" + roff_tag(entry.heading) + "\n" + roff(entry.text) + "\n";
    }
  }
  out += ".SH EXIT STATUS\n";
  for (const DocEntry& status : page.exit_statuses)
    out += ".TP\n" + roff_tag(status.heading) + "\n" + roff(status.text) + "\n";
  out += ".SH EXAMPLES\n";
  for (const DocEntry& example : page.examples)
    out += ".PP\n" + roff(example.heading) + "\n.PP\n.RS 4\n.nf\n" + roff(example.text) + "\n.fi\n.RE\n";
  out += ".SH SEE ALSO\n";
  for (size_t i = 0; i < page.see_also.size(); ++i) {
    const std::string& name = page.see_also[i];
    size_t paren = std::min(name.find('('), name.size());
    out += (i > 0 ? ",\n" : "") + std::string("\\fB") + roff(name.substr(0, paren)) + "\\fR" + roff(name.substr(paren));
  }
  return out + "\n";
}

std::string bash_completion(const Completion& completion) {
  std::vector<std::string> names;
  for (const Completion::Command& command : completion.commands) names.push_back(command.name);
  std::vector<std::string> first = names;
  if (completion.help_command) first.push_back("help");
  first.insert(first.end(), completion.first_only.begin(), completion.first_only.end());
  const std::string& program = completion.program;
  std::string script = "# bash completion for " + program + " " ZEB_VERSION_STRING
                       ": commands, then each command's options; other words complete as file names.\n"
                       "_" + program + "() {\n"
                       "  local cur=${COMP_WORDS[COMP_CWORD]} options\n"
                       "  COMPREPLY=()\n"
                       "  if [ \"$COMP_CWORD\" -eq 1 ]; then\n"
                       "    COMPREPLY=($(compgen -W \"" + words(first) + "\" -- \"$cur\"))\n"
                       "    return\n"
                       "  fi\n"
                       "  case ${COMP_WORDS[1]} in\n";
  if (completion.help_command)
    script += "    help) [ \"$COMP_CWORD\" -eq 2 ] && COMPREPLY=($(compgen -W \"" + words(names) +
              "\" -- \"$cur\")); return ;;\n";
  for (const Completion::Command& command : completion.commands)
    script += "    " + command.name + ") options=\"" + words(command.options) + "\" ;;\n";
  return script +
         "    *) return ;;\n"
         "  esac\n"
         "  [[ $cur == -* ]] && COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
         "}\n"
         "complete -o default -F _" + program + " " + program + "\n";
}

int generate_doc(const std::string& what, const std::string& path, const ManPage& page,
                 const Completion& completion) {
  std::string text = what == "man"               ? man_page(page)
                     : what == "bash-completion" ? bash_completion(completion)
                                                 : "";
  std::FILE* file = text.empty() ? nullptr : std::fopen(path.c_str(), "w");
  bool written = file != nullptr && std::fputs(text.c_str(), file) >= 0;
  if (file != nullptr) written = std::fclose(file) == 0 && written;
  if (written) return 0;
  std::fprintf(stderr, "%s: could not generate %s into %s\n", page.program.c_str(), what.c_str(), path.c_str());
  return 1;
}

}  // namespace tools
