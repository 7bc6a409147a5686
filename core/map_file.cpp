#include "map_file.h"

#include <cstdio>
#include <cstring>

namespace zeb {

int32_t MapFile::Open(const char* name) {
  Close();
  counter_ = platform::counter_open(name, &already_existed_);
  if (counter_ == nullptr) {
    std::strcpy(error_text_, "Could not create file-mapping object.");
    return 0;
  }
  view_ = platform::counter_map(counter_);
  if (view_ == nullptr) {
    std::strcpy(error_text_, "Could not map view of file.");
    return 0;
  }
  return 1;
}

int32_t MapFile::Close() {
  if (view_ != nullptr) {
    platform::counter_unmap(view_);
    view_ = nullptr;
  }
  if (counter_ != nullptr) {
    platform::counter_close(counter_);
    counter_ = nullptr;
  }
  return 1;
}

void MapFile::raise_to(int32_t count) {
  // Exchange is the only write the counter offers: whenever it replaced a
  // larger value, put that value back, until nothing larger was replaced.
  int32_t replaced = platform::counter_exchange(view_, count);
  while (replaced > count) {
    count = replaced;
    replaced = platform::counter_exchange(view_, count);
  }
}

void channel_counter_name(CounterName& out, const char* master) {
  std::snprintf(out, sizeof out, "zeb_%s", master);
}

int32_t open_channel_counter(MapFile& counter, ErrorState& error, const char* master) {
  CounterName name;
  channel_counter_name(name, master);
  counter.Close();
  if (counter.Open(name) == 0) return error_fail(error, "MapFile: %s", counter.error_text());
  return 1;
}

}  // namespace zeb
