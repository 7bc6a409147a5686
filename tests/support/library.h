#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace zeb::test {

// One of the shared libraries, loaded the way a host program loads it: by
// path, with its own symbols kept to itself, every export bound by name.
class Library {
 public:
  explicit Library(const std::string& path) : handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    EXPECT_NE(handle_, nullptr) << ::dlerror();
  }
  ~Library() {
    if (handle_ != nullptr) ::dlclose(handle_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  template <typename Signature>
  Signature* fn(const char* name) const {
    void* symbol = ::dlsym(handle_, name);
    EXPECT_NE(symbol, nullptr) << name;
    return reinterpret_cast<Signature*>(symbol);
  }

 private:
  void* handle_;
};

// The names a shared library defines in its dynamic symbol table.
inline std::set<std::string> defined_dynamic_symbols(const std::string& library) {
  std::set<std::string> names;
  FILE* nm = ::popen(("nm -D --defined-only " + library).c_str(), "r");
  char line[512];
  while (nm != nullptr && std::fgets(line, sizeof line, nm) != nullptr) {
    char address[64], kind[8], name[256];
    if (std::sscanf(line, "%63s %7s %255s", address, kind, name) == 3) names.insert(name);
  }
  if (nm != nullptr) ::pclose(nm);
  return names;
}

}  // namespace zeb::test
