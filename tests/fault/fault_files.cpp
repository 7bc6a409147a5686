// The test helpers of support/files.h over the in-memory platform, so the
// platform contract runs against it as against the real ones. Setting up and
// checking go straight to the tree and count no platform calls.
#include <algorithm>
#include <string>
#include <vector>

#include "fault_platform.h"
#include "platform/platform.h"
#include "support/files.h"

namespace zeb::test {

namespace {

// Paths of the files held open, by HeldFile handle.
std::vector<std::string>& held_paths() {
  static std::vector<std::string> paths;
  return paths;
}

std::string parent_of(const std::string& path) {
  size_t separator = path.rfind(platform::kPathSeparator);
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

}  // namespace

TempDir::TempDir(const std::string& base) {
  static int made = 0;
  path_ = (base.empty() ? std::string() : base + platform::kPathSeparator) + "tmp" + std::to_string(++made);
  fault::put_directory(path_);
}

std::string unique_name(const std::string& prefix) {
  static int made = 0;
  return prefix + std::to_string(++made);
}

bool exists(const std::string& path) {
  std::vector<std::string> names = fault::entry_names(parent_of(path));
  std::string leaf = path.substr(path.rfind(platform::kPathSeparator) + 1);
  return std::find(names.begin(), names.end(), leaf) != names.end();
}

HeldFile::HeldFile(const std::string& path, Mode mode) : handle_(static_cast<intptr_t>(held_paths().size())) {
  held_paths().push_back(path);
  fault::hold(path, mode == writing);
}

HeldFile::~HeldFile() {
  fault::release(held_paths()[static_cast<size_t>(handle_)]);
}

std::vector<unsigned char> read_bytes(const std::string& path) {
  std::string bytes = fault::file(path).value_or("");
  return {bytes.begin(), bytes.end()};
}

std::string read_text(const std::string& path) {
  return fault::file(path).value_or("");
}

void write_bytes(const std::string& path, const void* data, size_t size) {
  fault::put_file(path, std::string(static_cast<const char*>(data), size));
}

void write_text(const std::string& path, const std::string& text) {
  fault::put_file(path, text);
}

void make_directory(const std::string& path) {
  for (size_t at = path.find(platform::kPathSeparator); at != std::string::npos;
       at = path.find(platform::kPathSeparator, at + 1))
    fault::put_directory(path.substr(0, at));
  fault::put_directory(path);
}

void remove_all(const std::string& path) {
  for (const std::string& name : fault::entry_names(path)) remove_all(join(path, name));
  fault::remove_entry(path);
}

}  // namespace zeb::test
