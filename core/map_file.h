#pragma once

#include <cstdint>

#include "channel_store.h"
#include "error_state.h"
#include "platform/platform.h"

namespace zeb {

// Holder of a named 32-bit shared counter: the channel's published count.
// Each library keeps one in static storage; it is opened by Init and released
// by the next Open, Close or the destructor at unload.
class MapFile {
 public:
  constexpr MapFile() = default;
  ~MapFile() { Close(); }
  MapFile(const MapFile&) = delete;
  MapFile& operator=(const MapFile&) = delete;

  // Closes whatever is open, then creates or joins the named block and maps
  // it. Returns 1, or 0 with error_text() saying which step failed.
  int32_t Open(const char* name);
  int32_t Close();

  bool is_open() const { return view_ != nullptr; }
  // Whether the last successful Open joined a block that some process held.
  bool already_existed() const { return already_existed_; }
  const char* error_text() const { return error_text_; }

  // Only on an open counter.
  int32_t read() const { return platform::counter_load(view_); }
  void publish(int32_t count) { platform::counter_exchange(view_, count); }
  // Raises the count to at least `count` without ever lowering a larger
  // value that another process published meanwhile.
  void raise_to(int32_t count);

 private:
  platform::Counter* counter_ = nullptr;
  int32_t* view_ = nullptr;
  bool already_existed_ = false;
  char error_text_[64] = {};
};

// Room for "zeb_" and any master name that fits a name buffer.
using CounterName = char[4 + kPathSize];

// The shared counter's name for a master: "zeb_<master>".
void channel_counter_name(CounterName& out, const char* master);

// Closes the counter and reopens it under the master's name "zeb_<master>",
// as Init does. Returns 1, or 0 with "MapFile: <reason>" reported in `error`.
int32_t open_channel_counter(MapFile& counter, ErrorState& error, const char* master);

}  // namespace zeb
