#pragma once

#include <chrono>

namespace zebbridge {

// How long the out bridge rests between two looks at a channel that had
// nothing new: a twentieth of the quiet since the last activity, within
// bounds.
// While records keep coming, one written now is on its way within a
// fraction of a millisecond; the longer the quiet, the thinner the looks,
// so that an idle bridge costs next to nothing, and a record after a long
// quiet waits a few milliseconds at most.
class PollPace {
 public:
  using Clock = std::chrono::steady_clock;

  // Something happened: the next rests are short again.
  void active() { last_active_ = Clock::now(); }
  // The rest before the next look.
  std::chrono::microseconds rest() const;
  void pause() const;

  static constexpr std::chrono::microseconds kShortest{10};
  static constexpr std::chrono::microseconds kLongest{5000};

 private:
  Clock::time_point last_active_ = Clock::now();
};

}  // namespace zebbridge
