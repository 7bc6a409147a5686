#include "library_lock.h"

#include <pthread.h>

namespace zeb::platform {

namespace {

pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

}  // namespace

void library_lock() {
  pthread_mutex_lock(&lock);
}

void library_unlock() {
  pthread_mutex_unlock(&lock);
}

}  // namespace zeb::platform
