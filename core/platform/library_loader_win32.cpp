// Win32 implementation of run-time library loading.
#include <windows.h>

#include "library_loader.h"

namespace zeb::platform {

struct LoadedLibrary {
  HMODULE module;
};

LoadedLibrary* library_load(const char* file_name, std::string& error) {
  HMODULE module = ::LoadLibraryA(file_name);
  if (module == nullptr) {
    error = "LoadLibrary failed with error " + std::to_string(::GetLastError());
    return nullptr;
  }
  return new LoadedLibrary{module};
}

void* library_export(LoadedLibrary* library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(library->module, name));
}

void library_unload(LoadedLibrary* library) {
  ::FreeLibrary(library->module);
  delete library;
}

}  // namespace zeb::platform
