#pragma once

#include <string>

#include "command_line.h"
#include "library_loader.h"

namespace zebctl {

// One of the zeb libraries, loaded by file name and bound export by export,
// exactly as a host trading program uses it. A library that cannot be loaded
// or lacks an export is a failure naming it.
class ZebLibrary {
 public:
  explicit ZebLibrary(const char* file_name);
  ~ZebLibrary();
  ZebLibrary(const ZebLibrary&) = delete;
  ZebLibrary& operator=(const ZebLibrary&) = delete;

  // `Function` is the export's pointer type, e.g. decltype(&Write).
  template <typename Function>
  Function bind(const char* name) const {
    return reinterpret_cast<Function>(find(name));
  }

 private:
  void* find(const char* name) const;

  std::string file_name_;
  zeb::platform::LoadedLibrary* library_;
};

}  // namespace zebctl
