#pragma once

#include <string>
#include <vector>

namespace tools {

// What a tool's manual page and bash completion are made from: the same
// texts and tables that its --help prints, so none of them drift.

// A heading or tag and its text.
struct DocEntry {
  std::string heading;
  std::string text;
};

// Entries under one heading of the page: each a tag and a paragraph, or,
// with help_texts, a subheading and a command's help text as --help prints
// it (paragraphs at the margin, indented tables of options).
struct DocSection {
  std::string title;
  std::vector<DocEntry> entries;
  bool help_texts = false;
};

struct ManPage {
  std::string program;                   // "zebctl"
  std::string summary;                   // NAME's line after the dash
  std::vector<std::string> synopsis;     // call forms, each starting with the program's name
  std::vector<std::string> description;  // paragraphs
  std::vector<DocSection> sections;      // after DESCRIPTION, such as COMMANDS or OPTIONS
  std::vector<DocEntry> exit_statuses;   // the status and what it means
  std::vector<DocEntry> examples;        // what it does and the command line
  std::vector<std::string> see_also;     // "zebbridge(1)"
};

// The page as roff for man(1), with NAME, SYNOPSIS, DESCRIPTION, the
// sections, EXIT STATUS, EXAMPLES and SEE ALSO.
std::string man_page(const ManPage& page);

// Completion for a program whose first word is one of `commands`, each
// followed by its options; other words complete as file names. With
// `help_command`, "help" takes a command name.
struct Completion {
  struct Command {
    std::string name;
    std::vector<std::string> options;
  };
  std::string program;
  std::vector<Command> commands;
  std::vector<std::string> first_only;  // words that only stand first, such as --version
  bool help_command = false;
};

std::string bash_completion(const Completion& completion);

// `PROGRAM --generate man|bash-completion FILE`, as the build calls it:
// writes the page or the script; 0, or 1 with a line on stderr.
int generate_doc(const std::string& what, const std::string& path, const ManPage& page,
                 const Completion& completion);

// Text for --help: the words of `text` in lines of at most 79 columns, the
// first starting at `column`, the others indented by `indent`; ends with a
// line end.
std::string wrapped(const std::string& text, size_t indent = 0, size_t column = 0);

// "  TAG  text" lines for --help, the texts in one column after the widest tag.
std::string help_table(const std::vector<DocEntry>& entries);

}  // namespace tools
