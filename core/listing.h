#pragma once

#include "number_text.h"  // entry names read as numbers
#include "platform/platform.h"

namespace zeb {

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
