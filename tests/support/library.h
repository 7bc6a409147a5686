#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "zeb/zeb_dynload.h"

namespace zeb::test {

// One of the shared libraries, loaded the way a host program loads it, with
// zeb_dynload.h: by path, its own symbols kept to itself, every export bound
// by name.
class Library {
 public:
  explicit Library(const std::string& path) : handle_(zeb_dynload_open(path.c_str())) {
    EXPECT_NE(handle_, nullptr) << ::dlerror();
  }
  ~Library() {
    zeb_dynload_close(handle_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  template <typename Signature>
  Signature* fn(const char* name) const {
    zeb_dynload_any_fn symbol = zeb_dynload_symbol(handle_, name);
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
