#pragma once

#include "platform/platform.h"

namespace zeb {

// Scanners, indexers and backup tools open the channel's files behind
// everyone's back for a few milliseconds; an open or replace they refuse
// succeeds a moment later. So a conflict is tried again after each of these
// delays, growing from 1 ms to 400 ms, 958 ms in all; a conflict that
// outlasts them is a failure to open.
constexpr unsigned kConflictDelaysMs[] = {1, 2, 5, 10, 20, 40, 80, 150, 250, 400};

// Runs `attempt` (a file operation giving a platform::FileResult) until it
// gives anything but a conflict or the delays run out. An attempt that
// succeeds at once costs nothing more. Never gives conflict.
template <typename Attempt>
platform::FileResult retry_conflicts(Attempt&& attempt) {
  platform::FileResult result = attempt();
  for (unsigned delay : kConflictDelaysMs) {
    if (result != platform::FileResult::conflict) return result;
    platform::sleep_ms(delay);
    result = attempt();
  }
  return result == platform::FileResult::conflict ? platform::FileResult::open_failed : result;
}

}  // namespace zeb
