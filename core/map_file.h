#pragma once

#include <chrono>
#include <cstdint>

#include "channel_store.h"
#include "error_state.h"
#include "platform/platform.h"

namespace zeb {

// Room for "zeb_" and any master name that fits a name buffer.
using CounterName = char[4 + kPathSize];

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

  // Only on an open counter. Makes this holder the name's one master on the
  // machine until it closes; false when another holder has that claim.
  bool Claim();

  // Whether the name has been removed from under this holder's block.
  bool orphaned() const { return platform::counter_orphaned(counter_); }
  // True at most once per interval: how often a poller asks orphaned().
  bool orphan_check_due();

  enum class Rejoined { done, open_failed, claimed_elsewhere };
  // Opens the name again, carrying this block's count over to the block the
  // name refers to now (raised to, never lowered), and the master's claim if
  // this holder had it. On failure keeps the old block; open_failed leaves
  // the reason in error_text().
  Rejoined Rejoin();

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
  // Opens and maps the named block; nullptr with error_text() set on failure.
  platform::Counter* open_mapped(const char* name, int32_t** view, bool* already_existed);

  platform::Counter* counter_ = nullptr;
  int32_t* view_ = nullptr;
  bool already_existed_ = false;
  bool claimed_ = false;
  std::chrono::steady_clock::time_point next_orphan_check_ = {};
  CounterName name_ = {};
  char error_text_[64] = {};
};

// The shared counter's name for a master: "zeb_<master>".
void channel_counter_name(CounterName& out, const char* master);

// Closes the counter and reopens it under the master's name "zeb_<master>",
// as Init does. Returns 1, or 0 with "MapFile: <reason>" reported in `error`.
int32_t open_channel_counter(MapFile& counter, ErrorState& error, const char* master);

// Takes the master's claim on the open counter, or closes it and reports
// "Init: another master named <master> is running on this machine.".
int32_t claim_channel_counter(MapFile& counter, ErrorState& error, const char* master);

// When to look whether the counter's name was removed from under its holder.
enum class OrphanCheck { every_call, when_due };

// Rejoins the counter's name when it was removed from under the open counter
// (an administrator or the session cleanup of RemoveIPC clearing /dev/shm),
// so that this participant meets the others again. Returns 1, or 0 with the
// failure reported as "<operation>: ..." in `error`.
int32_t keep_channel_counter(MapFile& counter, ErrorState& error, const char* operation,
                             const char* master, OrphanCheck when);

}  // namespace zeb
