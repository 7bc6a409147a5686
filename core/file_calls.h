#pragma once

#include <cstddef>

#include "platform/platform.h"

namespace zeb {

// The file calls of the channel, and of the tools that keep files beside it:
// the platform's calls, each tried again through conflicts as
// conflict_retry.h describes, so none gives FileResult::conflict. A conflict
// that outlasts the delays is a failure to open.

using platform::FileResult;
using platform::ReadSharing;

// True when a file or directory exists at exactly this path.
bool path_exists(const char* path);

FileResult read_file_retried(const char* path, void* buffer, size_t capacity, size_t* bytes_read,
                             ReadSharing sharing = ReadSharing::deny_writers);
// Creates the file or truncates an existing one, and writes all `size` bytes.
FileResult write_file_retried(const char* path, const void* data, size_t size);
FileResult truncate_file_retried(const char* path);

enum class Replaced { done, open_failed, write_failed };

// Replaces the file at `path` with `size` bytes of `data` in one step: they
// go to a new file at `temp_path` (whatever stood there, a link included, is
// replaced, never written through), which then takes the place of `path`.
// Whoever opens `path` finds the old contents or the new ones, whole, even if
// the process dies in between. open_failed: the temporary file could not be
// made or could not take the place; write_failed: it could not be written.
Replaced replace_file_contents(const char* path, const char* temp_path, const void* data, size_t size);

}  // namespace zeb
