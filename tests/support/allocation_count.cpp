// Replaces the global operator new of the program it is linked into with
// one that counts, so a test can show that a stretch of code allocates
// nothing. Its own translation unit, so no caller sees malloc behind new.
#include "allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace zeb::test {

long allocation_count() {
  return allocations.load();
}

}  // namespace zeb::test
