// Runs a check once for every vector target Highway built and this processor
// runs (docs/vector-layer.md), each time with the kernels dispatched to that
// target alone, and restores the dispatch afterwards, also when the check
// fails or throws. Targets built but not run here are named as skipped, so a
// test never passes by comparing a target with itself unnoticed.
#pragma once

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

// Dispatches every kernel to `target` while it lives.
class TargetGuard {
 public:
  explicit TargetGuard(int64_t target) { hwy::SetSupportedTargetsForTest(target); }
  ~TargetGuard() { hwy::SetSupportedTargetsForTest(0); }  // 0: what the processor has
  TargetGuard(const TargetGuard&) = delete;
  TargetGuard& operator=(const TargetGuard&) = delete;
};

// The targets compiled in (HWY_TARGETS) that this processor cannot run.
inline std::vector<int64_t> targets_not_run_here() {
  std::vector<int64_t> missing;
  const int64_t supported = hwy::SupportedTargets();
  for (int64_t bit = 1; bit != 0 && bit <= HWY_TARGETS; bit <<= 1)
    if ((HWY_TARGETS & bit) != 0 && (supported & bit) == 0) missing.push_back(bit);
  return missing;
}

// check() at every target this processor runs; returns how many ran.
template <typename Check>
int for_every_target(Check check) {
  int ran = 0;
  for (const int64_t target : hwy::SupportedAndGeneratedTargets()) {
    const TargetGuard guard(target);
    SCOPED_TRACE(std::string("target ") + hwy::TargetName(target));
    check();
    ++ran;
  }
  for (const int64_t target : targets_not_run_here())
    // Not gtest's "[  SKIPPED ]": ctest (gtest_discover_tests) takes a test
    // whose output holds that for skipped whole, and a failure at the targets
    // that did run would pass unseen.
    std::cout << "[ NOT RUN  ] target " << hwy::TargetName(target) << ": this processor does not run it\n";
  return ran;
}
