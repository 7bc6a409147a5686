#pragma once

namespace zebbridge {

// The pause after a failure, doubling from 50 ms up to 2 s and cut short by
// SIGINT or SIGTERM; a success starts it over.
class Backoff {
 public:
  void wait();
  void reset() { delay_ms_ = kFirstMs; }

 private:
  static constexpr unsigned kFirstMs = 50;
  static constexpr unsigned kLastMs = 2000;
  unsigned delay_ms_ = kFirstMs;
};

}  // namespace zebbridge
