#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

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

}  // namespace zeb::test
