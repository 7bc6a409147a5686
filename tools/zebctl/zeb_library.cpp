#include "zeb_library.h"

namespace zebctl {

ZebLibrary::ZebLibrary(const char* file_name) : file_name_(file_name) {
  std::string reason;
  library_ = zeb::platform::library_load(file_name, reason);
  if (library_ == nullptr) fail("could not load " + file_name_ + ": " + reason);
}

ZebLibrary::~ZebLibrary() {
  zeb::platform::library_unload(library_);
}

void* ZebLibrary::find(const char* name) const {
  void* address = zeb::platform::library_export(library_, name);
  if (address == nullptr) fail(file_name_ + " has no export " + name);
  return address;
}

}  // namespace zebctl
