// The exported functions' callers are C: nothing may unwind into them. Each
// scn_ function runs its work through one of these, which turns whatever the
// work throws (std::bad_alloc above all: the C++ containers and strings the
// engine builds on the way) into the function's own failure.
#pragma once

#include <type_traits>

// Runs `work` and gives what it returns, or `failure` when it throws.
template <typename Work, typename Result = std::invoke_result_t<Work&>>
Result at_c_boundary(Result failure, Work&& work) noexcept {
  try {
    return work();
  } catch (...) {
    return failure;
  }
}

// Runs `work`, which returns nothing; a throw ends it there (what it did
// before stays).
template <typename Work>
void at_c_boundary(Work&& work) noexcept {
  try {
    work();
  } catch (...) {
  }
}
