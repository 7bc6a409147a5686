#pragma once

// The lock a library holds around each of its exported calls, so that the
// threads of one host take turns with the library's state. Every library
// links its own copy of the platform layer and so has its own lock. It needs
// no set-up: it works from the library's first call, whatever the load order.
namespace zeb::platform {

void library_lock();
void library_unlock();

// Has `forget` run in the child of every later fork of the process, with the
// lock free, while no other thread is inside the library: the child starts as
// if no Init had been made. Where processes do not fork it does nothing.
void library_forget_in_fork_child(void (*forget)());

}  // namespace zeb::platform
