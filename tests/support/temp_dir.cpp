// The parts of support/files.h that hold for every platform, the in-memory
// one included: each builds only on remove_all and the platform's separator.
#include "files.h"

#include "platform/platform.h"

namespace zeb::test {

TempDir::~TempDir() {
  remove_all(path_);
}

std::string TempDir::operator/(const std::string& child) const {
  return join(path_, child);
}

std::string join(const std::string& parent, const std::string& child) {
  return parent + platform::kPathSeparator + child;
}

}  // namespace zeb::test
