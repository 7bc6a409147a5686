#include "library_lock.h"

#include <pthread.h>

namespace zeb::platform {

namespace {

pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
void (*forget_in_child)() = nullptr;

// A fork while another thread is inside the library would hand the child
// that call's state halfway and a lock nobody there can release, so a fork
// waits for the lock like any call.
void before_fork() {
  pthread_mutex_lock(&lock);
}

void after_fork_in_parent() {
  pthread_mutex_unlock(&lock);
}

void after_fork_in_child() {
  pthread_mutex_unlock(&lock);
  forget_in_child();
}

}  // namespace

void library_lock() {
  pthread_mutex_lock(&lock);
}

void library_unlock() {
  pthread_mutex_unlock(&lock);
}

void library_forget_in_fork_child(void (*forget)()) {
  forget_in_child = forget;
  pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
}

}  // namespace zeb::platform
