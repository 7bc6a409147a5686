#include "channel_names.h"

#include <cctype>
#include <cstring>
#include <initializer_list>

namespace zeb {

namespace {

bool fits(const char* text) {
  return std::strlen(text) < kPathSize;
}

bool equal_ignoring_case(const char* text, size_t length, const char* upper) {
  if (std::strlen(upper) != length) return false;
  for (size_t i = 0; i < length; ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != upper[i]) return false;
  return true;
}

// Windows opens these as devices in every directory, also with an extension
// ("nul.log"), and whatever spaces end the part before it.
bool is_device_name(const char* name) {
  size_t length = std::strcspn(name, ".");
  while (length > 0 && name[length - 1] == ' ') --length;
  for (const char* device : {"CON", "PRN", "AUX", "NUL"})
    if (equal_ignoring_case(name, length, device)) return true;
  if (length != 4 || name[3] < '1' || name[3] > '9') return false;
  return equal_ignoring_case(name, 3, "COM") || equal_ignoring_case(name, 3, "LPT");
}

// The first control character (1-31) in `name`, or 0.
int control_character(const char* name) {
  for (const char* c = name; *c != '\0'; ++c)
    if (static_cast<unsigned char>(*c) < 32) return static_cast<unsigned char>(*c);
  return 0;
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
  // Such a name's index file would be another participant's temporary file.
  if (std::strncmp(name, kIndexTempPrefix, std::strlen(kIndexTempPrefix)) == 0)
    return error_fail(error, "Init: %s must not begin with \"%s\", which is reserved: %s", role,
                      kIndexTempPrefix, name);
  // What Windows cannot hold as a file name of its own is refused on every
  // platform, so a channel behaves the same everywhere.
  if (int c = control_character(name))
    return error_fail(error, "Init: %s must not contain control characters (0x%02X): %s", role, c,
                      name);
  if (std::strpbrk(name, "<>:\"|?*") != nullptr)
    return error_fail(error, "Init: %s must not contain < > : \" | ? or *: %s", role, name);
  char last = name[std::strlen(name) - 1];
  if (last == '.' || last == ' ')
    return error_fail(error, "Init: %s must not end with a dot or a space: \"%s\"", role, name);
  if (is_device_name(name))
    return error_fail(error, "Init: %s is a device name on Windows: %s", role, name);
  return true;
}

}  // namespace zeb
