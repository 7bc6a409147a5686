#pragma once

#include <string>

#include "doc_format.h"

namespace zebbridge {

// zebbridge's own texts: `zebbridge --help`, the manual page and the bash
// completion, made from the option table that parse_config reads and the
// description, exit statuses and examples kept here.
std::string usage();
tools::ManPage manual();
tools::Completion completion();

}  // namespace zebbridge
