#include "channel_store.h"

#include <cstdio>
#include <cstring>

#include "conflict_retry.h"

namespace zeb {

bool join_path(PathBuffer& out, std::initializer_list<const char*> parts) {
  size_t length = 0;
  for (const char* part : parts) {
    size_t part_length = std::strlen(part);
    // A root given with its trailing separator keeps just that one: a
    // literal path ("\\?\D:\sub\") takes a doubled separator for an
    // empty name.
    bool separate = length > 0 && out[length - 1] != platform::kPathSeparator;
    if (length + part_length + (separate ? 1 : 0) >= kPathSize) {
      out[0] = '\0';
      return false;
    }
    if (separate) out[length++] = platform::kPathSeparator;
    std::memcpy(out + length, part, part_length);
    length += part_length;
  }
  out[length] = '\0';
  return true;
}

void record_file_name(char (&out)[16], int32_t number) {
  std::snprintf(out, sizeof out, "%06d", static_cast<int>(number));
}

int32_t parse_number(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT64_C(2147483648)) return 0;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return 0;
  return static_cast<int32_t>(value);
}

namespace {

bool ensure_directory(const char* path) {
  if (platform::path_exists(path)) return true;
  // Another participant may create it between the test and the creation.
  return platform::make_directory(path) != platform::MakeDirectory::failed;
}

}  // namespace

bool ensure_channel_directories(ErrorState& error, const char* operation, const char* root,
                                const char* master) {
  PathBuffer master_dir, system_dir;
  join_path(master_dir, {root, master});
  join_path(system_dir, {root, master, kSystemDirectoryName});
  for (const char* path : {root, static_cast<const char*>(master_dir),
                           static_cast<const char*>(system_dir)}) {
    if (!ensure_directory(path)) {
      error_fail(error, "%s: CreateDirectory %s failed", operation, path);
      return false;
    }
  }
  return true;
}

bool load_index(const char* path, int32_t* value) {
  char text[32] = {};
  size_t length = 0;
  // One byte short of the buffer, so the text always ends in a NUL. The read
  // shares everything, so the owner can replace the file meanwhile.
  bool read = retry_conflicts([&] {
                return platform::read_file(path, text, sizeof text - 1, &length,
                                           platform::ReadSharing::allow_all);
              }) == platform::FileResult::ok;
  *value = read ? parse_number(text) : 0;
  return read || !platform::path_exists(path);
}

int32_t read_index(const char* path) {
  int32_t value;
  load_index(path, &value);
  return value;
}

namespace {

// The temporary file beside an index file: its name with the reserved prefix.
bool index_temp_path(PathBuffer& out, const char* index_path) {
  const char* name = std::strrchr(index_path, platform::kPathSeparator);
  name = name == nullptr ? index_path : name + 1;
  size_t directory_length = static_cast<size_t>(name - index_path);
  int length = std::snprintf(out, kPathSize, "%.*s%s%s", static_cast<int>(directory_length),
                             index_path, kIndexTempPrefix, name);
  return length > 0 && static_cast<size_t>(length) < kPathSize;
}

}  // namespace

int32_t write_index(ErrorState& error, const char* path, int32_t value) {
  char text[32];
  int length = std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
  PathBuffer temp;
  if (!index_temp_path(temp, path)) return error_fail(error, "WriteInd: could not open %s file.", path);
  switch (retry_conflicts([&] { return platform::write_file(temp, text, static_cast<size_t>(length)); })) {
    case platform::FileResult::ok:
      break;
    case platform::FileResult::open_failed:
    case platform::FileResult::conflict:
      return error_fail(error, "WriteInd: could not open %s file.", path);
    case platform::FileResult::io_failed:
      return error_fail(error, "WriteInd: WriteFile %s error.", path);
  }
  // Failing to replace the index file is failing to open it for rewriting.
  if (retry_conflicts([&] { return platform::replace_file(temp, path); }) != platform::FileResult::ok)
    return error_fail(error, "WriteInd: could not open %s file.", path);
  return 1;
}

}  // namespace zeb
