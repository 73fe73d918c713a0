// Out of memory on demand: while a FailingAllocation lives, the allocation
// after `allowed` others fails (std::bad_alloc, or null for a nothrow one),
// once; the rest succeed. Replaces the global operator new and delete of the
// test program, so include it in one file of a program only.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace failing_allocation {
// Allocations left before the one that fails; negative: none fails.
inline std::atomic<long> left{-1};
inline std::atomic<bool> failed{false};
}  // namespace failing_allocation

void* operator new(std::size_t size) {
  long expected = failing_allocation::left.load();
  while (expected >= 0 && !failing_allocation::left.compare_exchange_weak(expected, expected - 1)) {
  }
  if (expected == 0) {
    failing_allocation::failed = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
// Out of line: inlined, the compiler would see a block of operator new handed
// to free() and warn.
[[gnu::noinline]] void failing_allocation_release(void* block) noexcept { std::free(block); }
void operator delete(void* block) noexcept { failing_allocation_release(block); }
void operator delete(void* block, std::size_t) noexcept { failing_allocation_release(block); }
// Every other plain form too, so that each block's allocation and release
// pair up as malloc and free (the sanitizers check that they match).
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return ::operator new(size, std::nothrow);
}
void operator delete[](void* block) noexcept { failing_allocation_release(block); }
void operator delete[](void* block, std::size_t) noexcept { failing_allocation_release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { failing_allocation_release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { failing_allocation_release(block); }

class FailingAllocation {
 public:
  explicit FailingAllocation(long allowed) {
    failing_allocation::failed = false;
    failing_allocation::left = allowed;
  }
  ~FailingAllocation() { failing_allocation::left = -1; }
  FailingAllocation(const FailingAllocation&) = delete;
  FailingAllocation& operator=(const FailingAllocation&) = delete;
  // Whether the allocation failed (false: the work needed fewer).
  static bool failed() { return failing_allocation::failed; }
};
