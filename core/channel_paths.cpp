#include "channel_paths.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "host_messages.h"
#include "platform/platform.h"

namespace zeb {

namespace {

// Joins the parts with the platform's separator. False (and `out` empty) when
// the result would not fit.
bool join(PathBuffer& out, std::initializer_list<const char*> parts) {
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

void record_name(char (&out)[16], int32_t number) {
  std::snprintf(out, sizeof out, "%06d", static_cast<int>(number));
}

void temp_name(PathBuffer& out, const char* owner) {
  if (std::snprintf(out, kPathSize, "%s%s", kIndexTempPrefix, owner) >= static_cast<int>(kPathSize))
    out[0] = '\0';
}

// Whether the longest paths the channel composes for `owner` fit: the
// temporary twin of its index file, and a record file with the longest number.
bool paths_fit(const char* root, const char* master, const char* owner) {
  PathBuffer temp, path;
  char longest_record[16];
  temp_name(temp, owner);
  record_name(longest_record, INT32_MIN);
  return temp[0] != '\0' && join(path, {root, master, kSystemDirectoryName, temp}) &&
         join(path, {root, master, longest_record}) && join(path, {root, master, kMasterLockName});
}

}  // namespace

bool ChannelPaths::set(ErrorState& error, const char* root, const char* master, const char* owner) {
  for (const char* checked : {owner, master})
    if (!paths_fit(root, master, checked))
      return error_fail(error, "Init: paths under root %s for master %s and %s would be too long.", root,
                        master, checked);
  join(root_, {root});
  join(master_, {master});
  join(owner_, {owner});
  join(master_dir_, {root, master});
  join(system_dir_, {root, master, kSystemDirectoryName});
  std::snprintf(counter_name_, sizeof counter_name_, "zeb_%s", master);
  return true;
}

bool ChannelPaths::name_counter_as_stored(ErrorState& error) {
  PathBuffer stored;
  if (!platform::stored_name(master_dir_, stored, sizeof stored))
    return error_fail(error, messages::kInitListFailed, master_dir_);
  std::snprintf(counter_name_, sizeof counter_name_, "zeb_%s", stored);
  return true;
}

Path ChannelPaths::index(const char* owner) const {
  Path path;
  join(path.text, {system_dir_, owner});
  return path;
}

Path ChannelPaths::index_temp(const char* owner) const {
  PathBuffer name;
  temp_name(name, owner);
  Path path;
  if (name[0] != '\0') join(path.text, {system_dir_, name});
  return path;
}

Path ChannelPaths::record(int32_t number) const {
  char name[16];
  record_name(name, number);
  return entry(name);
}

Path ChannelPaths::master_lock() const {
  return entry(kMasterLockName);
}

Path ChannelPaths::entry(const char* name) const {
  Path path;
  join(path.text, {master_dir_, name});
  return path;
}

bool ensure_channel_directories(ErrorState& error, const char* operation, const ChannelPaths& paths) {
  for (const char* path : {paths.root(), paths.master_dir(), paths.system_dir()}) {
    switch (platform::directory_status(path)) {
      case platform::DirectoryStatus::present:
        continue;
      case platform::DirectoryStatus::unprotected:
        // Others could put links or files in place of the channel's own.
        return error_fail(error, messages::kDirectoryUnprotected, operation, path);
      case platform::DirectoryStatus::missing:
        break;
    }
    auto access = path == paths.root() ? platform::NewDirectory::private_to_owner
                                       : platform::NewDirectory::as_parent;
    // Another participant may create it between the test and the creation.
    if (platform::make_directory(path, access) == platform::MakeDirectory::failed)
      return error_fail(error, messages::kCreateDirectoryFailed, operation, path);
  }
  return true;
}

}  // namespace zeb
