#include "poll_pace.h"

#include <algorithm>
#include <thread>

namespace zebbridge {

std::chrono::microseconds PollPace::rest() const {
  auto quiet = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - last_active_);
  return std::clamp(quiet / 20, kShortest, kLongest);
}

void PollPace::pause() const {
  std::this_thread::sleep_for(rest());
}

}  // namespace zebbridge
