#pragma once

#include <cstddef>
#include <cstdint>

#include "error_state.h"

namespace zeb {

// Names and paths are held in buffers of the Windows path limit (MAX_PATH),
// terminator included.
constexpr size_t kPathSize = 260;
using PathBuffer = char[kPathSize];

// Room for a shared counter's name: "zeb_" and a master name.
constexpr size_t kCounterNameSize = 4 + kPathSize;

// Name of the directory beside the record files that holds the index files.
constexpr const char* kSystemDirectoryName = "system";

// The file in the master directory whose lock the running master holds.
constexpr const char* kMasterLockName = "master.lock";

// Index files are rewritten through a temporary file named with this prefix
// and the owner's name, beside the index file; names with the prefix are
// reserved for it.
constexpr const char* kIndexTempPrefix = ".zebtmp-";

// One path of a channel; empty when it would not fit its buffer.
struct Path {
  PathBuffer text = {};
  const char* c_str() const { return text; }
  bool empty() const { return text[0] == '\0'; }
};

// Where one channel lives, composed from a root and a master name:
//   ROOT/MASTER/                  record files, "%06d" of their number
//   ROOT/MASTER/system/OWNER      each participant's index file
//   ROOT/MASTER/master.lock       locked by the running master
//   zeb_MASTER                    the shared counter
// Empty until set; nothing else composes a channel path.
class ChannelPaths {
 public:
  // Binds to the channel of `master` under `root` (both already checked) for
  // `owner`, the master itself or a follower. False, naming root, master and
  // owner in "Init: ..." in `error` and leaving this unchanged, when a path
  // the channel composes for the owner or the master would not fit.
  bool set(ErrorState& error, const char* root, const char* master, const char* owner);

  // Once the master directory exists: names the counter after the master
  // directory's name as stored, so every spelling that reaches one directory
  // (letter case, short names, where the system ignores them) meets one
  // counter and one claim. False, reporting "Init: could not list <master
  // directory> directory.", when the directory cannot be found.
  bool name_counter_as_stored(ErrorState& error);

  bool is_set() const { return root_[0] != '\0'; }
  const char* root() const { return root_; }
  const char* master() const { return master_; }
  const char* owner() const { return owner_; }
  const char* master_dir() const { return master_dir_; }
  const char* system_dir() const { return system_dir_; }
  const char* counter_name() const { return counter_name_; }

  Path index(const char* owner) const;
  // The temporary file that takes the place of `owner`'s index file.
  Path index_temp(const char* owner) const;
  Path record(int32_t number) const;
  Path master_lock() const;
  // An entry of the master directory, by the name a listing gave.
  Path entry(const char* name) const;

 private:
  PathBuffer root_ = {};
  PathBuffer master_ = {};
  PathBuffer owner_ = {};
  PathBuffer master_dir_ = {};
  PathBuffer system_dir_ = {};
  char counter_name_[kCounterNameSize] = {};
};

// Makes sure the root, master and system directories exist, creating missing
// ones (a new root is its owner's alone, the others take the root's access),
// and that none is unprotected. On failure reports "<operation>:
// CreateDirectory <path> failed" or that the directory is unprotected.
bool ensure_channel_directories(ErrorState& error, const char* operation, const ChannelPaths& paths);

}  // namespace zeb
