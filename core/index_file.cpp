#include "index_file.h"

#include <cstdio>

#include "file_calls.h"
#include "host_messages.h"
#include "number_text.h"

namespace zeb {

IndexNumber read_index(const char* path) {
  char text[32] = {};
  size_t length = 0;
  // One byte short of the buffer, so the text always ends in a NUL. The read
  // shares everything, so the owner can replace the file meanwhile.
  bool read = read_file_retried(path, text, sizeof text - 1, &length, platform::ReadSharing::allow_all) ==
              platform::FileResult::ok;
  return {read || !platform::path_exists(path), read ? parse_number(text) : 0};
}

bool write_index(ErrorState& error, const char* path, const char* temp_path, int32_t value) {
  char text[32];
  int length = std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  if (temp_path[0] == '\0') return error_fail(error, messages::kIndexOpenFailed, path);
  // Failing to replace the index file is failing to open it for rewriting.
  switch (replace_file_contents(path, temp_path, text, static_cast<size_t>(length))) {
    case Replaced::done:
      break;
    case Replaced::open_failed:
      return error_fail(error, messages::kIndexOpenFailed, path);
    case Replaced::write_failed:
      return error_fail(error, messages::kIndexWriteFailed, path);
  }
  return true;
}

}  // namespace zeb
