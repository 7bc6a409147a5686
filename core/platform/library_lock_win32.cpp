#include "library_lock.h"

#include <windows.h>

namespace zeb::platform {

namespace {

// Statically initialised, so no DllMain work and no initialisation order.
SRWLOCK lock = SRWLOCK_INIT;

}  // namespace

void library_lock() {
  ::AcquireSRWLockExclusive(&lock);
}

void library_unlock() {
  ::ReleaseSRWLockExclusive(&lock);
}

void library_forget_in_fork_child(void (*)()) {
  // Windows processes do not fork.
}

}  // namespace zeb::platform
