#include "channel_names.h"

#include <cstring>

namespace zeb {

namespace {

bool fits(const char* text) {
  return std::strlen(text) < kPathSize;
}

}  // namespace

bool check_root(ErrorState& error, const char* root) {
  if (root == nullptr) return error_fail(error, "Init: root is a null pointer.");
  if (root[0] == '\0') return error_fail(error, "Init: root is empty.");
  if (!fits(root))
    return error_fail(error, "Init: root is too long (%d characters, at most %d).",
                      static_cast<int>(std::strlen(root)), static_cast<int>(kPathSize - 1));
  return true;
}

bool check_name(ErrorState& error, const char* name, const char* role) {
  if (name == nullptr) return error_fail(error, "Init: %s is a null pointer.", role);
  if (!fits(name))
    return error_fail(error, "Init: %s is too long (%d characters, at most %d).", role,
                      static_cast<int>(std::strlen(name)), static_cast<int>(kPathSize - 1));
  if (name[0] == '\0') return error_fail(error, "Init: %s is empty.", role);
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
    return error_fail(error, "Init: %s must be a plain name, not \"%s\".", role, name);
  if (std::strpbrk(name, "/\\") != nullptr)
    return error_fail(error, "Init: %s must not contain '/' or '\\': %s", role, name);
  return true;
}

bool check_channel_paths(ErrorState& error, const char* root, const char* master, const char* owner) {
  // The longest record file name the channel can have: "-2147483648".
  static const char kLongestRecordName[] = "00000000000";
  PathBuffer path;
  if (!join_path(path, {root, master, kSystemDirectoryName, owner}) ||
      !join_path(path, {root, master, kLongestRecordName}))
    return error_fail(error, "Init: paths under root %s for master %s and %s would be too long.",
                      root, master, owner);
  return true;
}

void copy_name(PathBuffer& out, const char* text) {
  std::memcpy(out, text, std::strlen(text) + 1);
}

}  // namespace zeb
