#pragma once

#include <chrono>
#include <cstdint>

#include "channel_paths.h"
#include "error_state.h"
#include "platform/platform.h"

namespace zeb {

// Holder of a named 32-bit shared counter: the channel's published count.
// Each library keeps one in static storage; Init closes it and opens it
// again, the destructor releases it at unload.
class SharedCounter {
 public:
  constexpr SharedCounter() = default;
  ~SharedCounter() { close(); }
  SharedCounter(const SharedCounter&) = delete;
  SharedCounter& operator=(const SharedCounter&) = delete;

  // Only on a closed counter. Creates or joins the named block of the channel
  // directory `directory` and maps it; false with error_text() saying which
  // step failed.
  bool open(const char* name, const char* directory);
  // Releases the block and the master's claim; does nothing when closed.
  void close();

  enum class Claim { taken, held_elsewhere, failed };
  // Only on an open counter. Makes this holder the name's one master on the
  // machine until it closes and, given a `lock_path`, the one holder of that
  // file's lock: a claim that holds even if the counter's name is removed.
  // failed leaves the reason in error_text().
  Claim claim(const char* lock_path);

  // Whether the name has been removed from under this holder's block.
  bool orphaned() const { return platform::counter_orphaned(counter_); }
  // True at most once per interval: how often a poller asks orphaned().
  bool orphan_check_due();

  enum class Rejoined { done, open_failed, claimed_elsewhere };
  // Opens the name again, carrying this block's count over to the block the
  // name refers to at this moment (raised to, never lowered), and the
  // master's claim if this holder had it (its file lock stays as it is). On
  // failure keeps the old block; open_failed leaves the reason in
  // error_text().
  Rejoined rejoin();

  bool is_open() const { return view_ != nullptr; }
  // Whether the last successful open joined a block that some process held.
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
  platform::Counter* open_mapped(int32_t** view, bool* already_existed);

  platform::Counter* counter_ = nullptr;
  int32_t* view_ = nullptr;
  platform::FileLock* lock_ = nullptr;
  bool already_existed_ = false;
  bool claimed_ = false;
  std::chrono::steady_clock::time_point next_orphan_check_ = {};
  char name_[kCounterNameSize] = {};
  PathBuffer directory_ = {};
  char error_text_[kErrorMessageSize] = {};
};

// Opens the closed counter under the channel's counter name, as Init does.
// False with "MapFile: <reason>" reported in `error`.
bool open_channel_counter(SharedCounter& counter, ErrorState& error, const ChannelPaths& paths);

enum class NamedClaim { taken, open_failed, held_elsewhere, failed };

// A claim on a name across the whole machine, as a master holds its master
// name: opens the closed `holder` under `name` (a counter of the channel
// directory `directory`) and claims it, with `lock_path`'s lock when given.
// Every outcome but taken leaves the holder closed; open_failed and failed
// leave the reason in its error_text().
NamedClaim claim_named_counter(SharedCounter& holder, const char* name, const char* directory,
                               const char* lock_path);

// Opens the closed counter under the channel's counter name and takes the
// master's claim on it and, where the counter's name can be removed while
// held, the master directory's lock. Otherwise reports "MapFile: <reason>",
// "Init: another master named <master> is running on this machine." or why
// the lock could not be had, and leaves the counter closed.
bool claim_channel_counter(SharedCounter& counter, ErrorState& error, const ChannelPaths& paths);

// When to look whether the counter's name was removed from under its holder.
enum class OrphanCheck { every_call, when_due };

enum class Kept { same, rejoined, failed };
// Rejoins the counter's name when it was removed from under the open counter
// (an administrator or the session cleanup of RemoveIPC clearing /dev/shm),
// so that this participant meets the others again. failed comes with the
// failure reported as "<operation>: ..." in `error`.
Kept keep_channel_counter(SharedCounter& counter, ErrorState& error, const char* operation,
                          const char* master, OrphanCheck when);

}  // namespace zeb
