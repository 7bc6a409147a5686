#include "index_file.h"

#include <cstdio>

#include "conflict_retry.h"
#include "host_messages.h"
#include "listing.h"

namespace zeb {

IndexNumber read_index(const char* path) {
  char text[32] = {};
  size_t length = 0;
  // One byte short of the buffer, so the text always ends in a NUL. The read
  // shares everything, so the owner can replace the file meanwhile.
  bool read = retry_conflicts([&] {
                return platform::read_file(path, text, sizeof text - 1, &length,
                                           platform::ReadSharing::allow_all);
              }) == platform::FileResult::ok;
  return {read || !platform::path_exists(path), read ? parse_number(text) : 0};
}

bool write_index(ErrorState& error, const char* path, const char* temp_path, int32_t value) {
  char text[32];
  int length = std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  if (temp_path[0] == '\0') return error_fail(error, messages::kIndexOpenFailed, path);
  // The temporary file is made anew: nothing found at its name, a link
  // another user put there included, is ever written through.
  auto write_temp = [&] {
    return platform::write_file(temp_path, text, static_cast<size_t>(length), platform::Existing::replace);
  };
  switch (retry_conflicts(write_temp)) {
    case platform::FileResult::ok:
      break;
    case platform::FileResult::open_failed:
    case platform::FileResult::conflict:
      return error_fail(error, messages::kIndexOpenFailed, path);
    case platform::FileResult::io_failed:
      return error_fail(error, messages::kIndexWriteFailed, path);
  }
  // Failing to replace the index file is failing to open it for rewriting.
  if (retry_conflicts([&] { return platform::replace_file(temp_path, path); }) != platform::FileResult::ok)
    return error_fail(error, messages::kIndexOpenFailed, path);
  return true;
}

}  // namespace zeb
