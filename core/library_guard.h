#pragma once

#include "platform/library_lock.h"

namespace zeb {

// Holds the library's lock for the whole of one exported call: two threads
// of one host never take the same record number or overwrite each other's
// state halfway.
class LibraryGuard {
 public:
  LibraryGuard() { platform::library_lock(); }
  ~LibraryGuard() { platform::library_unlock(); }
  LibraryGuard(const LibraryGuard&) = delete;
  LibraryGuard& operator=(const LibraryGuard&) = delete;
};

}  // namespace zeb
