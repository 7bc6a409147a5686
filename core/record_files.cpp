#include "record_files.h"

#include <algorithm>

#include "file_calls.h"
#include "listing.h"

namespace zeb {

bool list_records(const char* master_dir, int32_t after, int32_t up_to, std::vector<RecordEntry>& out) {
  out.clear();
  bool listed = for_each_entry(master_dir, [&](const char* name) {
    int32_t number = parse_number(name);
    if (number > after && number <= up_to) out.push_back({number, name});
  });
  std::sort(out.begin(), out.end(),
            [](const RecordEntry& a, const RecordEntry& b) { return a.number < b.number; });
  return listed;
}

RecordLoad load_record_file(const char* path, TradeRecord& record) {
  TradeRecord scratch;
  size_t got = 0;
  switch (read_file_retried(path, &scratch, sizeof scratch, &got)) {
    case platform::FileResult::ok:
      break;
    case platform::FileResult::open_failed:
    case platform::FileResult::conflict:
      return RecordLoad::open_failed;
    case platform::FileResult::io_failed:
      return RecordLoad::read_failed;
  }
  if (got < sizeof scratch) return RecordLoad::incomplete;
  record = scratch;
  record_terminate_symbol(record);
  return RecordLoad::loaded;
}

NextRecord load_record_after(const ChannelPaths& paths, int32_t cursor, int32_t count, TradeRecord& record,
                             int32_t& number, Path& path) {
  if (cursor < count) {
    number = cursor + 1;
    path = paths.record(number);
    switch (load_record_file(path.c_str(), record)) {
      case RecordLoad::loaded:
        return NextRecord::loaded;
      case RecordLoad::read_failed:
        // The listing would take this same file first and fail on it the same way.
        return NextRecord::read_failed;
      case RecordLoad::open_failed:
      case RecordLoad::incomplete:
        break;
    }
  }
  return load_record_by_listing(paths, cursor, count, record, number, path);
}

NextRecord load_record_by_listing(const ChannelPaths& paths, int32_t cursor, int32_t count, TradeRecord& record,
                                  int32_t& number, Path& path) {
  std::vector<RecordEntry> candidates;
  if (!list_records(paths.master_dir(), cursor, count, candidates)) return NextRecord::cannot_list;
  for (const RecordEntry& candidate : candidates) {
    path = paths.entry(candidate.name.c_str());
    if (path.empty()) continue;
    number = candidate.number;
    switch (load_record_file(path.c_str(), record)) {
      case RecordLoad::loaded:
        return NextRecord::loaded;
      case RecordLoad::open_failed:
        return NextRecord::open_failed;
      case RecordLoad::read_failed:
        return NextRecord::read_failed;
      case RecordLoad::incomplete:
        break;
    }
  }
  return NextRecord::none;
}

}  // namespace zeb
