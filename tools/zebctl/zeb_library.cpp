#include "zeb_library.h"

#include <string>

#include "command_line.h"
#include "platform/tool_os.h"

namespace zebctl {

namespace {

// What zeb_dynload's load functions report: the file itself when it could
// not be loaded, else the export it lacks.
void check_bound(const char* missing, const char* file_name) {
  if (missing == nullptr) return;
  if (missing == file_name) tools::fail("could not load " + std::string(file_name) + ": " + zeb::platform::library_load_error());
  tools::fail(std::string(file_name) + " has no export " + missing);
}

}  // namespace

MasterLibrary::MasterLibrary(const char* file_name) {
  check_bound(zebmaster_load(&api_, file_name), file_name);
}

FollowerLibrary::FollowerLibrary(const char* file_name) {
  check_bound(zebfollower_load(&api_, file_name), file_name);
}

}  // namespace zebctl
