#pragma once

// The lock a library holds around each of its exported calls, so that the
// threads of one host take turns with the library's state. Every library
// links its own copy of the platform layer and so has its own lock. It needs
// no set-up: it works from the library's first call, whatever the load order.
namespace zeb::platform {

void library_lock();
void library_unlock();

}  // namespace zeb::platform
