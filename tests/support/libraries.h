#pragma once

#include <set>
#include <string>

#include "library_record.h"
#include "trade_record.h"
#include "zeb/zeb_dynload.h"

// The two libraries as a host program loads them: with zeb_dynload.h, by
// path, every export bound by name into one API struct per library. What
// depends on the system is implemented once per system
// (libraries_posix.cpp, tests/windows/libraries_win32.cpp).
namespace zeb::test {

// Loads the library this build made; gives what zebmaster_load gives (0 when
// every export is bound). A library loaded twice in one process is one
// library with one state. On 32-bit Windows each call through a `checked`
// struct also checks that the callee removed exactly its own arguments from
// the stack; the check keeps its state in globals, so calls from several
// threads at once go through an unchecked one.
const char* load(zebmaster_api& api, bool checked = true);
const char* load(zebfollower_api& api, bool checked = true);

// The names a loaded library exports.
std::set<std::string> exported_names(void* module);


// The value of the live counter "zeb_<master>", or -1 when no process holds it.
int live_counter(const std::string& master);

}  // namespace zeb::test
