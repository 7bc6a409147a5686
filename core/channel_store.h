#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "error_state.h"
#include "platform/platform.h"

namespace zeb {

// Names and paths are held in buffers of the target platform's path limit,
// terminator included.
constexpr size_t kPathSize = 260;
using PathBuffer = char[kPathSize];

// Name of the directory beside the record files that holds the index files.
constexpr const char* kSystemDirectoryName = "system";

// Index files are rewritten through a temporary file named with this prefix
// and the owner's name, beside the index file; names with the prefix are
// reserved for it.
constexpr const char* kIndexTempPrefix = ".zebtmp-";

// Joins the parts with the platform's separator. False (and `out` empty) when
// the result would not fit.
bool join_path(PathBuffer& out, std::initializer_list<const char*> parts);

// Record number n is stored in the file named "%06d" of n.
void record_file_name(char (&out)[16], int32_t number);

// Reads text the way the standard atol does (leading white space, an optional
// sign, digits up to the first non-digit; no digits give 0). A value outside
// the signed 32-bit range is no number the channel ever writes and reads as 0.
int32_t parse_number(const char* text);

// Makes sure the root, master and system directories exist, creating missing
// ones. On failure reports "<operation>: CreateDirectory <path> failed".
bool ensure_channel_directories(ErrorState& error, const char* operation, const char* root,
                                const char* master);

// The number held by an index file; 0 when it is missing, unreadable or not a number.
int32_t read_index(const char* path);

// The number held by an index file, 0 when there is none. False when the
// file exists but cannot be read: its number is not known, which is not
// the same as 0.
bool load_index(const char* path, int32_t* value);

// Replaces an index file's text with the decimal value: the text goes to a
// temporary file that then takes the index file's place, so the index file
// is never seen empty or partial, even if the process dies in between.
// Returns 1, or 0 with the failure reported in `error`.
int32_t write_index(ErrorState& error, const char* path, int32_t value);

// Calls visit(name) for every entry of a directory except "." and "..". The
// listing is closed on every path, also when visit throws. False when the
// listing cannot start or breaks off before its end: a listing that missed
// entries must never pass for the whole directory.
template <typename Visit>
bool for_each_entry(const char* directory, Visit&& visit) {
  struct Closer {
    platform::Listing* listing;
    ~Closer() { platform::listing_close(listing); }
  };
  platform::Listing* listing = platform::listing_open(directory);
  if (listing == nullptr) return false;
  Closer closer{listing};
  while (const char* name = platform::listing_next(listing)) {
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    visit(name);
  }
  return !platform::listing_broken(listing);
}

}  // namespace zeb
