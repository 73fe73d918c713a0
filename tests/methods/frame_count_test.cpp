// The refusal of a frame set of the wrong count, in the words the tool and
// the Python module give.
#include <gtest/gtest.h>

#include "methods/fringe_method.h"

namespace {

TEST(FrameCountRefusal, NamesTheMethodItsFramesAndTheCountGiven) {
  const struct {
    MethodPlan plan;
    std::size_t given;
    const char* refusal;
  } cases[] = {
      {{FringeMethod::phase_shift, 8, {10}}, 8, ""},
      {{FringeMethod::phase_shift, 8, {10}}, 9, "the phase-shift method with 8 steps and 1 period takes 8 frames, 9 given"},
      {{FringeMethod::phase_shift, 4, {480, 40, 10}}, 0,
       "the phase-shift method with 4 steps and 3 periods takes 12 frames, 0 given"},
      {{FringeMethod::fourier, 1, {10}}, 2, "the fourier method with one frame takes 1 frame, 2 given"},
      {{FringeMethod::quadrature, 1, {10}}, 1, ""},
      {{FringeMethod::quadrature, 1, {10}}, 3, "the quadrature method with one frame takes 1 frame, 3 given"},
  };
  for (const auto& c : cases) EXPECT_EQ(frame_count_refusal(c.plan, c.given), c.refusal) << c.given;
}

}  // namespace
