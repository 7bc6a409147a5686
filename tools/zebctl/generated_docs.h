#pragma once

#include <string>
#include <vector>

#include "commands.h"
#include "doc_format.h"

namespace zebctl {

// zebctl's own texts: `zebctl --help`, the manual page and the bash
// completion, all made from the commands' help texts and option tables and
// the description, exit statuses and examples kept here.
std::string overview(const std::vector<const Command*>& commands);
tools::ManPage manual(const std::vector<const Command*>& commands);
tools::Completion completion(const std::vector<const Command*>& commands);

}  // namespace zebctl
