#include "floor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace zeb::bench {

bool put_file(const char* path, const void* data, size_t size) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = ::write(fd, data, size) == static_cast<ssize_t>(size);
  return ::close(fd) == 0 && ok;
}

bool put_index(const char* temp_path, const char* path, int32_t value) {
  char text[16];
  int length = std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  return put_file(temp_path, text, static_cast<size_t>(length)) && ::rename(temp_path, path) == 0;
}

bool get_file(const char* path, void* data, size_t size) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::read(fd, data, size) >= 0;
  return ::close(fd) == 0 && ok;
}

bool stat_three(const char* first, const char* second, const char* third) {
  struct stat info;
  return ::stat(first, &info) == 0 && ::stat(second, &info) == 0 && ::stat(third, &info) == 0;
}

}  // namespace zeb::bench
