#pragma once

#include <cstdint>

#include "follower.h"
#include "record_files.h"

// Read's search for the next record, inside the follower library; tests and
// the benchmark hold it to the listing (load_next_record) it falls back on.
namespace zeb {

// Loads the oldest complete record after the cursor and up to `count`: the
// file named for the next number when it holds one, else what the listing
// finds, as if the file had never been tried.
NextRecord load_after_cursor(FollowerState& state, int32_t count, int32_t& number, Path& path);

}  // namespace zeb
