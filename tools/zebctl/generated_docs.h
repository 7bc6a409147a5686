#pragma once

#include <string>
#include <vector>

#include "commands.h"

namespace zebctl {

// The manual page and the bash completion script, made from the same help
// texts and option tables that --help prints, so the three never drift.
// `overview` is the text of `zebctl --help`.
std::string man_page(const std::string& overview, const std::vector<const Command*>& commands);
std::string bash_completion(const std::vector<const Command*>& commands);

}  // namespace zebctl
