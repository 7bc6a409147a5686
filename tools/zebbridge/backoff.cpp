#include "backoff.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "interrupt.h"

namespace zebbridge {

void Backoff::wait() {
  for (unsigned waited = 0; waited < delay_ms_ && !tools::interrupted(); waited += 50)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  delay_ms_ = std::min(delay_ms_ * 2, kLastMs);
}

}  // namespace zebbridge
