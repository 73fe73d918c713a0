// MethodEngine: checks a plan and its frames, measures the unwrapped phase of
// the evaluated field with the plan's method, and ends as the engine ends.
#include "methods/method_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "methods/evaluated_field.h"
#include "methods/flood_unwrap.h"
#include "methods/fourier_phase.h"
#include "methods/fringe_method.h"
#include "methods/method_heights.h"
#include "methods/phase_field.h"
#include "methods/phase_stepping.h"
#include "methods/temporal_unwrap.h"
#include "scan/profile_calculation.h"

using namespace fringe::methods;

struct MethodEngine::State {
  PhaseField field;
  std::vector<double> sums;
  std::vector<uint32_t> stack;
  FourierRows fourier;
  std::vector<float> heights;  // rows of one band
  double largest_sample = 0.0; // of the frames inside the field, at the last measure
  QualityCells cells;          // of the last measure asked for its quality

  // The unwrapped phase of the finest period in `field`; returns that period.
  // With `quality`, the measurement's quality map too.
  double measure(std::span<const GreyImage* const> frames, const MethodPlan& plan, const ScnPar& par,
                 QualityMap* quality = nullptr);
};

namespace {

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string frame_kind(const GreyImage* frame) {
  return std::to_string(frame->width) + " x " + std::to_string(frame->height) + " " +
         (frame->type == 2 ? "16-bit" : frame->type == 1 ? "8-bit" : std::to_string(8 * frame->type) + "-bit");
}

// Throws std::invalid_argument naming what the methods cannot take.
void check_input(std::span<const GreyImage* const> frames, const MethodPlan& plan) {
  if (plan.method == FringeMethod::quadrature)
    throw std::invalid_argument(
        "the quadrature method is the engine's own (scan): the methods measure phase-shift or fourier");
  if (plan.method != FringeMethod::phase_shift && plan.method != FringeMethod::fourier)
    throw std::invalid_argument("unknown fringe method " + std::to_string(static_cast<int>(plan.method)));
  if (plan.method == FringeMethod::phase_shift && (plan.steps < 3 || plan.steps > 64))
    throw std::invalid_argument("phase-shift takes 3 to 64 phase steps per period, not " +
                                std::to_string(plan.steps));
  if (plan.periods.empty()) throw std::invalid_argument("no fringe period given");
  for (std::size_t i = 0; i < plan.periods.size(); ++i) {
    const double period = plan.periods[i];
    if (!std::isfinite(period) || period <= 0.0)
      throw std::invalid_argument("fringe period " + std::to_string(i + 1) + " (" + number_text(period) +
                                  ") is not a positive finite number of pixels");
    if (i > 0 && !(period < plan.periods[i - 1]))
      throw std::invalid_argument("fringe periods must run coarse to fine: period " + std::to_string(i + 1) +
                                  " (" + number_text(period) + " px) is not below period " + std::to_string(i) +
                                  " (" + number_text(plan.periods[i - 1]) + " px)");
  }
  const int expected = plan_frame_count(plan);
  if (static_cast<int64_t>(frames.size()) != expected)
    throw std::invalid_argument(std::string(fringe_method_name(plan.method)) + " with " +
                                std::to_string(plan.steps) + " steps and " + std::to_string(plan.periods.size()) +
                                " period(s) takes " + std::to_string(expected) + " frame(s), not " +
                                std::to_string(frames.size()));
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const GreyImage* frame = frames[i];
    if (frame == nullptr || frame->pixels == nullptr)
      throw std::invalid_argument("frame " + std::to_string(i) + " is missing (null)");
    if (frame->type != 1 && frame->type != 2)
      throw std::invalid_argument("frame " + std::to_string(i) + " is " + frame_kind(frame) +
                                  ": the methods take 8-bit or 16-bit frames");
    if (frame->width <= 0 || frame->height <= 0 || frame->width > kMaxImageSide || frame->height > kMaxImageSide)
      throw std::invalid_argument("frame " + std::to_string(i) + " has no usable size");
    const GreyImage* first = frames[0];
    if (frame->type != first->type || frame->width != first->width || frame->height != first->height)
      throw std::invalid_argument("frame " + std::to_string(i) + " is " + frame_kind(frame) + ", frame 0 " +
                                  frame_kind(first) + ": all frames must be of one size and kind");
  }
}

}  // namespace

double MethodEngine::State::measure(std::span<const GreyImage* const> frames, const MethodPlan& plan,
                                    const ScnPar& par, QualityMap* map) {
  evaluated_field(field, frames[0]->width, frames[0]->height, par);
  QualityCells* const quality = map != nullptr ? &cells : nullptr;
  if (map != nullptr) {
    // Samples per fit: the steps, or one period along the row.
    const int32_t samples = plan.method == FringeMethod::phase_shift
                                ? plan.steps
                                : static_cast<int32_t>(std::clamp(std::nearbyint(plan.periods.back()), 3.0, 4096.0));
    cells.start(*map, field.width, field.height, par, samples, field.runs);
    // Several periods keep the deviation rows' largest from one to the next.
    if (plan.periods.size() > 1)
      field.deviation.resize(static_cast<std::size_t>(field.height / 4) * static_cast<std::size_t>(field.width));
  }
  // Below 1 % of the brightest sample the frames hold in the field a pixel
  // is dark, or saturated flat: it gets no data.
  if (plan.method == FringeMethod::fourier) {
    // A single-frame method takes the finest period, as the settings do.
    const double lambda = plan.periods.back();
    largest_sample = fourier_period(frames[0], lambda, field, fourier, quality);
    field.least_modulation = 0.01 * largest_sample;
    flood_unwrap(field, par.FlawThr, stack);
    return lambda;
  }
  const auto steps = static_cast<std::size_t>(plan.steps);
  double largest = 0.0;
  for (std::size_t p = 0; p < plan.periods.size(); ++p) {
    largest = std::max(largest, phase_step_period(frames.subspan(p * steps, steps), plan.periods[p], p == 0, field,
                                                  sums, quality, p + 1 == plan.periods.size()));
    if (plan.periods.size() == 1) break;
    if (p == 0) temporal_first(field);
    else temporal_next(field, plan.periods[p - 1], plan.periods[p]);
  }
  largest_sample = largest;
  field.least_modulation = 0.01 * largest;
  if (plan.periods.size() == 1) flood_unwrap(field, par.FlawThr, stack);
  else temporal_finish(field);
  return plan.periods.back();
}

MethodEngine::MethodEngine() : state_(std::make_unique<State>()) {}

MethodEngine::~MethodEngine() = default;

void MethodEngine::heights(std::span<const GreyImage* const> frames, const MethodPlan& plan, const ScnPar& par,
                           ScnMatrix& full) {
  check_input(frames, plan);
  const double lambda = state_->measure(frames, plan, par);
  const PhaseField& field = state_->field;
  mat_free(&full);
  if (mat_create(&full, field.width, field.height, par.CamResX, par.CamResY) != 0) throw std::bad_alloc();
  const PhaseHeights heights(par, lambda);
  for (int32_t y = 0; y < field.height; ++y) heights.row(field, y, full.values[y]);
}

const PhaseField& MethodEngine::phase(std::span<const GreyImage* const> frames, const MethodPlan& plan,
                                      const ScnPar& par, double& lambda) {
  check_input(frames, plan);
  lambda = state_->measure(frames, plan, par);
  return state_->field;
}

void MethodEngine::profile(std::span<const GreyImage* const> frames, const MethodPlan& plan, const ScnPar& par,
                           ScnMatrix& profile, QualityMap* quality) {
  check_input(frames, plan);
  const double lambda = state_->measure(frames, plan, par, quality);
  const PhaseField& field = state_->field;
  const PhaseHeights heights(par, lambda);
  fit_blocks(field.width, field.height, par, profile,
             [&](int32_t y) { return !field.runs[static_cast<std::size_t>(y)].empty(); },
             [&](int32_t y, float* out) { heights.row(field, y, out); });
  if (quality != nullptr) {
    // The rows went to the cells as they were measured. The methods' own
    // threshold: 1 % of the brightest sample.
    state_->cells.finish(state_->largest_sample);
    // The cell's row's 4 pixels: of phase shifting each its own; Fourier's
    // band ties those of a row together.
    quality->averaged = plan.method == FringeMethod::phase_shift ? 4 : 1;
    mark_cells(*quality, profile, par.DepthLimit);
  }
}

void MethodEngine::profile_of_heights(const ScnMatrix& full, const ScnPar& par, ScnMatrix& profile) {
  fit_blocks(full.cols, full.rows, par, profile, [](int32_t) { return true; },
             [&](int32_t y, float* out) { std::copy(full.values[y], full.values[y] + full.cols, out); });
}

template <typename Touched, typename Row>
void MethodEngine::fit_blocks(int32_t width, int32_t height, const ScnPar& par, ScnMatrix& profile,
                              const Touched& touched_row, const Row& row) {
  // One profile point per 4 x 4 block, as calculate_profile makes them; the
  // last width mod 4 columns and height mod 4 rows are not used.
  constexpr int32_t kBlock = 4;
  mat_free(&profile);
  if (mat_create(&profile, width / 4, height / 4, 4 * par.CamResX, 4 * par.CamResY) != 0)
    throw std::bad_alloc();
  BlockFitter fitter(kBlock, par.DepthLimit, profile.rows > 0 ? profile.cols : 0);
  if (!fitter.ready()) {
    mat_free(&profile);
    throw std::bad_alloc();
  }
  state_->heights.resize(static_cast<std::size_t>(kBlock) * static_cast<std::size_t>(width));
  float* band[kBlock];
  for (int32_t l = 0; l < kBlock; ++l) band[l] = state_->heights.data() + static_cast<std::ptrdiff_t>(l) * width;
  for (int32_t bi = 0; bi < profile.rows; ++bi) {
    bool touched = false;
    for (int32_t l = 0; l < kBlock; ++l) touched = touched || touched_row(bi * kBlock + l);
    // A band the field does not reach is no data, as its fits would give.
    if (!touched) {
      fitter.skip_band(profile.values[bi], profile.cols);
      continue;
    }
    for (int32_t l = 0; l < kBlock; ++l) row(bi * kBlock + l, band[l]);
    fitter.fit_band(band, profile.values[bi], profile.cols);
  }
  fitter.finish();
}
