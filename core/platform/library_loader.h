#pragma once

#include <string>

// Loading a shared library at run time and finding its exports by name, the
// way a host trading program binds the zeb libraries. Kept apart from the
// channel's own services: the libraries never load anything; only tools do.
namespace zeb::platform {

struct LoadedLibrary;

// Loads a library by file name through the system's search (on Windows the
// program's own folder first; elsewhere the program's run path). nullptr on
// failure, with the system's reason in `error`.
LoadedLibrary* library_load(const char* file_name, std::string& error);

// The address of an export, or nullptr when the library has none of that name.
void* library_export(LoadedLibrary* library, const char* name);

void library_unload(LoadedLibrary* library);

}  // namespace zeb::platform
