#pragma once

#include "channel_paths.h"
#include "library_guard.h"

namespace zeb {

// The one state of a loaded library, behind its exports. Two ends of a
// process's life need care:
// - At exit or unload another thread may still be inside an export, so the
//   state is never destroyed: its counter is released under the library's
//   lock, and a later call fails as before any Init.
// - The child of a fork forgets the parent's channel: it holds no claim and
//   cannot write as the parent's master until it calls Init itself.
template <typename State>
class LibraryState {
 public:
  LibraryState() : state_() {
    instance_ = &state_;
    platform::library_forget_in_fork_child(&forget);
  }
  ~LibraryState() {
    LibraryGuard guard;
    forget();
  }
  LibraryState(const LibraryState&) = delete;
  LibraryState& operator=(const LibraryState&) = delete;

  State& get() { return state_; }

 private:
  static void forget() {
    instance_->counter.close();
    instance_->paths = ChannelPaths();
  }

  union {
    State state_;
  };
  static inline State* instance_ = nullptr;
};

}  // namespace zeb
