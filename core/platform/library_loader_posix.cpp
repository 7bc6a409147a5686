// POSIX implementation of run-time library loading.
#include <dlfcn.h>

#include "library_loader.h"

namespace zeb::platform {

struct LoadedLibrary {
  void* handle;
};

LoadedLibrary* library_load(const char* file_name, std::string& error) {
  // Local binding: the two zeb libraries export the same names.
  void* handle = ::dlopen(file_name, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    error = reason != nullptr ? reason : "dlopen failed";
    return nullptr;
  }
  return new LoadedLibrary{handle};
}

void* library_export(LoadedLibrary* library, const char* name) {
  return ::dlsym(library->handle, name);
}

void library_unload(LoadedLibrary* library) {
  ::dlclose(library->handle);
  delete library;
}

}  // namespace zeb::platform
