#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Test helpers for files, directories and names, on any platform. What needs
// the operating system is implemented once per platform (test_support.cpp
// for POSIX, tests/windows/win_support.cpp for Windows).
namespace zeb::test {

// A fresh directory for one test, removed with everything in it afterwards.
// It lives under `base`, by default the system's temporary directory.
class TempDir {
 public:
  explicit TempDir(const std::string& base = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // The child's path, joined with the platform's separator.
  std::string operator/(const std::string& child) const;

 private:
  std::string path_;
};

// `parent` and `child` joined with the platform's separator.
std::string join(const std::string& parent, const std::string& child);

// A name no other test or test process uses, for masters and their shared
// counters.
std::string unique_name(const std::string& prefix);

// True when a file, directory or link of that name exists.
bool exists(const std::string& path);

// Holds a file open the way another participant would, under the platform's
// sharing rule: a reader lets others read it, a writer lets nobody else in.
class HeldFile {
 public:
  enum Mode { reading, writing };
  HeldFile(const std::string& path, Mode mode);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

 private:
  intptr_t handle_;
};

std::vector<unsigned char> read_bytes(const std::string& path);
std::string read_text(const std::string& path);
void write_bytes(const std::string& path, const void* data, size_t size);
void write_text(const std::string& path, const std::string& text);
// Creates the directory and any missing parents.
void make_directory(const std::string& path);
void remove_all(const std::string& path);

}  // namespace zeb::test
