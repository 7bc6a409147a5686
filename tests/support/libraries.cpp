// The parts of libraries.h that hold on every system.
#include "libraries.h"

#include "platform/platform.h"

namespace zeb::test {

int live_counter(const std::string& master) {
  int32_t value = 0;
  return platform::counter_peek(("zeb_" + master).c_str(), &value) == platform::Peek::live ? value : -1;
}

}  // namespace zeb::test
