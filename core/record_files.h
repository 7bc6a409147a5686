#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "channel_paths.h"
#include "trade_record.h"

namespace zeb {

// An entry of a master directory whose name reads as a record number.
struct RecordEntry {
  int32_t number;
  std::string name;
};

// The entries of a master directory whose names read as numbers in
// (after, up_to], in ascending order of number. Names read the way Read
// reads them, so "7.txt" is record 7 like "000007". False when the directory
// cannot be listed.
bool list_records(const char* master_dir, int32_t after, int32_t up_to, std::vector<RecordEntry>& out);

enum class RecordLoad { loaded, incomplete, open_failed, read_failed };

// Loads one record file. Only a complete 80-byte read replaces `record`: a
// shorter file (left by a Write that failed) is never handed out, so nobody
// sees a record stitched from two trades. The symbol comes back terminated.
RecordLoad load_record_file(const char* path, TradeRecord& record);

enum class NextRecord { loaded, none, cannot_list, open_failed, read_failed };

// The rule by which followers take records, for Read and for every tool that
// must pick records as a follower does: the oldest complete record numbered
// in (cursor, count] of the channel's master directory. The smallest number
// wins and incomplete files are passed over like gaps. Nearly always that is
// the file named for cursor + 1, which is opened first: that costs the same
// at any channel size, where the listing grows with every record ever
// written. Only when that file holds no complete record (a gap, a short
// file, an entry that will not open) does the listing decide, as if the file
// had never been tried. `number` and `path` name the loaded record, or the
// one that failed to open or read. Allocates nothing unless it lists.
NextRecord load_record_after(const ChannelPaths& paths, int32_t cursor, int32_t count, TradeRecord& record,
                             int32_t& number, Path& path);

// The same rule applied by listing the master directory alone, without
// trying the file named for cursor + 1 first.
NextRecord load_record_by_listing(const ChannelPaths& paths, int32_t cursor, int32_t count, TradeRecord& record,
                                  int32_t& number, Path& path);

}  // namespace zeb
