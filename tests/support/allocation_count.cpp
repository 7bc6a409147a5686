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

// Every plain form of new and delete is replaced together: a sanitizer
// runtime supplies whatever form is left out, and memory from its new must
// not reach this file's free.
namespace {

void* counted_allocation(std::size_t size) noexcept {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* memory = counted_allocation(size)) return memory;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
  return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return counted_allocation(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return counted_allocation(size);
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace zeb::test {

long allocation_count() {
  return allocations.load();
}

}  // namespace zeb::test
