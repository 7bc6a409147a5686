#include "file_calls.h"

#include "conflict_retry.h"

namespace zeb {

bool path_exists(const char* path) {
  return platform::path_exists(path);
}

FileResult read_file_retried(const char* path, void* buffer, size_t capacity, size_t* bytes_read,
                             ReadSharing sharing) {
  return retry_conflicts([&] { return platform::read_file(path, buffer, capacity, bytes_read, sharing); });
}

FileResult write_file_retried(const char* path, const void* data, size_t size) {
  return retry_conflicts([&] { return platform::write_file(path, data, size); });
}

FileResult truncate_file_retried(const char* path) {
  return retry_conflicts([&] { return platform::truncate_file(path); });
}

Replaced replace_file_contents(const char* path, const char* temp_path, const void* data, size_t size) {
  auto write_temp = [&] { return platform::write_file(temp_path, data, size, platform::Existing::replace); };
  switch (retry_conflicts(write_temp)) {
    case FileResult::ok:
      break;
    case FileResult::open_failed:
    case FileResult::conflict:
      return Replaced::open_failed;
    case FileResult::io_failed:
      return Replaced::write_failed;
  }
  if (retry_conflicts([&] { return platform::replace_file(temp_path, path); }) != FileResult::ok)
    return Replaced::open_failed;
  return Replaced::done;
}

}  // namespace zeb
