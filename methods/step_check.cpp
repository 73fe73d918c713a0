#include "methods/step_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <optional>

#include "methods/phase_stepping.h"

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// The steps of 3 or 4 frames, measured along the rows, count as a step of
// the plan within this share of a step.
constexpr double kAlongRowsTolerance = 0.25;

double wrapped(double angle) {
  double r = std::remainder(angle, kTwoPi);
  if (r <= -std::numbers::pi) r += kTwoPi;
  return r;
}

std::string fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string radians(double value) { return fixed(value, 3); }

// Whether every pixel of `image` holds one grey level: a picture with no
// fringes at all, which the measurement's quality refuses as such.
bool one_level(const GreyImage& image) {
  const auto bytes = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.type);
  const auto* first = img_line(&image, 0);
  const auto step = static_cast<std::size_t>(image.type);
  for (int32_t y = 0; y < image.height; ++y) {
    const auto* line = img_line(&image, y);
    for (std::size_t i = 0; i < bytes; ++i)
      if (line[i] != first[i % step]) return false;
  }
  return true;
}

bool same_picture(const GreyImage& a, const GreyImage& b) {
  const auto bytes = static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.type);
  for (int32_t y = 0; y < a.height; ++y)
    if (std::memcmp(img_line(&a, y), img_line(&b, y), bytes) != 0) return false;
  return true;
}

// One period's frames against n steps of 2 pi / n.
class PeriodJudge {
 public:
  // `frames`: the period's; `first`: the number of its first frame in the
  // set; `several`: whether the set has other periods.
  PeriodJudge(std::span<const GreyImage* const> frames, std::size_t first, bool several,
              std::span<const std::string> names)
      : frames_(frames), n_(frames.size()), step_(kTwoPi / static_cast<double>(frames.size())), first_(first),
        several_(several), names_(names) {}

  // Empty when the frames agree; else the finding, `refused` saying whether
  // it refuses the set or warns.
  std::string judge(const MeasuredSteps& m, bool& refused) {
    refused = true;
    if (std::string found = same_pictures(); !found.empty()) return found;
    if (!m.measured) return {};  // nothing modulated: nothing to tell
    phases_ = m.phases;
    along_rows_ = m.along_rows;
    tolerance_.resize(n_);
    for (std::size_t k = 0; k < n_; ++k)
      tolerance_[k] = along_rows_ ? kAlongRowsTolerance * step_ : std::max(kStepSigmas * m.errors[k], kLeastStepTolerance);
    const std::string steps = " (measured steps between consecutive frames: " + consecutive_steps_text(phases_) +
                              " rad; the plan steps by " + radians(step_) + " rad)";
    for (std::size_t k = 0; k < n_; ++k)
      if (m.amplitudes[k] < 0.5)
        return frame(k) + " holds no fringes: its fringes are " +
               std::to_string(static_cast<int>(std::nearbyint(100.0 * m.amplitudes[k]))) + " % as strong as the others'";
    if (const std::optional<std::string> found = uniform(refused))
      return found->empty() ? *found : *found + steps;
    refused = true;
    if (const std::optional<std::string> found = on_plan_steps())
      return found->empty() ? *found : *found + steps;
    return "the frames' phase steps do not follow the plan" + steps;
  }

 private:
  std::string frame(std::size_t k) const {
    const std::size_t i = first_ + k;
    return "frame " + std::to_string(i) + (i < names_.size() ? " (" + names_[i] + ")" : "");
  }
  std::string frames(std::size_t a, std::size_t b) const {
    const std::size_t i = first_ + a, j = first_ + b;
    return "frames " + std::to_string(i) + " and " + std::to_string(j) +
           (j < names_.size() ? " (" + names_[i] + ", " + names_[j] + ")" : "");
  }

  std::string same_pictures() const {
    const bool all_same = std::all_of(frames_.begin() + 1, frames_.end(),
                                      [this](const GreyImage* frame) { return same_picture(*frames_[0], *frame); });
    // Frames of one grey level hold neither steps nor fringes: "no fringes"
    // (the measurement's own refusal) says more than "the same picture".
    if (all_same && one_level(*frames_[0])) return {};
    if (all_same)
      return "all " + std::to_string(n_) + " frames" + (first_ > 0 || several_ ? " of the period" : "") +
             " are the same picture: they hold no phase steps";
    for (std::size_t a = 0; a < n_; ++a)
      for (std::size_t b = a + 1; b < n_; ++b)
        if (same_picture(*frames_[a], *frames_[b])) return frames(a, b) + " are the same picture";
    return {};
  }

  // A set stepping evenly (the least-squares slope of the unwrapped phases
  // through frame 0): nullopt when it does not, else its finding, empty
  // when the step is the plan's.
  std::optional<std::string> uniform(bool& refused) const {
    std::vector<double> unwrapped(n_, 0.0);
    for (std::size_t k = 1; k < n_; ++k) unwrapped[k] = unwrapped[k - 1] + wrapped(phases_[k] - phases_[k - 1]);
    double kk = 0.0, kd = 0.0, variance = 0.0;
    for (std::size_t k = 1; k < n_; ++k) {
      const auto kd_k = static_cast<double>(k);
      kk += kd_k * kd_k;
      kd += kd_k * unwrapped[k];
    }
    const double slope = kd / kk;
    for (std::size_t k = 1; k < n_; ++k) {
      if (!(std::fabs(unwrapped[k] - static_cast<double>(k) * slope) <= tolerance_[k])) return std::nullopt;
      const double e = tolerance_[k] / kStepSigmas;
      variance += static_cast<double>(k * k) * e * e;
    }
    const double slope_tolerance =
        along_rows_ ? kAlongRowsTolerance * step_
                    : std::max(kStepSigmas * std::sqrt(variance) / kk, kLeastStepTolerance / static_cast<double>(n_));
    refused = true;
    // Within half a step of the plan's over the set, reversed.
    if (static_cast<double>(n_) * std::fabs(slope + step_) < 0.5 * step_)
      return "the steps run backwards: the frames look to be in reverse order";
    const double error = slope - step_;
    if (std::fabs(error) <= slope_tolerance) return "";
    // Half a step over the set, and its last frame lies nearer another
    // step of the plan than its own: the set is another count's.
    if (static_cast<double>(n_) * std::fabs(error) >= 0.5 * step_)
      return "the frames step by " + radians(slope) + " rad, as a set of " + fixed(kTwoPi / std::fabs(slope), 1) +
             " steps a turn would, not by the plan's " + radians(step_) + " rad of " + std::to_string(n_) + " steps";
    refused = false;
    if (along_rows_) return "";  // steps along the rows are too coarse to warn of
    return "the frames step by " + radians(slope) + " rad on average where the plan takes " + radians(step_) +
           " rad (a difference of " + radians(error) + " rad, beyond the " + radians(slope_tolerance) +
           " rad the noise allows); the heights carry the difference";
  }

  // Frames that each sit on a step of the plan, in another order or twice.
  // nullopt when a frame lies off every step of the plan.
  std::optional<std::string> on_plan_steps() const {
    std::vector<std::size_t> held(n_);
    for (std::size_t k = 0; k < n_; ++k) {
      const double turns = std::nearbyint(phases_[k] / step_);
      if (!(std::fabs(phases_[k] - turns * step_) <= tolerance_[k])) return std::nullopt;
      held[k] = static_cast<std::size_t>((static_cast<long>(turns) % static_cast<long>(n_) + static_cast<long>(n_)) %
                                         static_cast<long>(n_));
    }
    // Frame 0 is the reference: the set may start at any step of the plan.
    std::size_t best_shift = 0, best_count = 0;
    for (std::size_t shift = 0; shift < n_; ++shift) {
      std::size_t count = 0;
      for (std::size_t k = 0; k < n_; ++k) count += (held[k] + shift) % n_ == k ? 1 : 0;
      if (count > best_count) {
        best_count = count;
        best_shift = shift;
      }
    }
    for (std::size_t& h : held) h = (h + best_shift) % n_;
    for (std::size_t a = 0; a < n_; ++a)
      for (std::size_t b = a + 1; b < n_; ++b)
        if (held[a] == held[b]) return frames(a, b) + " hold the same phase step, as one picture twice would";
    std::vector<std::size_t> out_of_place;
    for (std::size_t k = 0; k < n_; ++k)
      if (held[k] != k) out_of_place.push_back(k);
    if (out_of_place.empty()) return "";
    if (out_of_place.size() == 2) return frames(out_of_place[0], out_of_place[1]) + " look swapped";
    std::string order;
    for (std::size_t k = 0; k < n_; ++k) order += (k > 0 ? " " : "") + std::to_string(held[k]);
    return "the frames are out of order: they hold the plan's steps " + order + " in this order";
  }

  std::span<const GreyImage* const> frames_;
  std::size_t n_;
  double step_;
  std::size_t first_;
  bool several_;
  std::span<const std::string> names_;
  std::vector<double> phases_;
  bool along_rows_ = false;
  std::vector<double> tolerance_;
};

}  // namespace

std::string consecutive_steps_text(const std::vector<double>& phases) {
  std::string text;
  for (std::size_t k = 1; k < phases.size(); ++k)
    text += (k > 1 ? " " : "") + radians(wrapped(phases[k] - phases[k - 1]));
  return text;
}

StepCheck check_phase_steps(std::span<const GreyImage* const> frames, const MethodPlan& plan,
                            std::span<const std::string> names) {
  StepCheck check;
  if (plan.method != FringeMethod::phase_shift || plan.steps < 3) return check;
  const auto n = static_cast<std::size_t>(plan.steps);
  if (frames.size() != n * plan.periods.size()) return check;
  std::vector<double> planned(n);
  for (std::size_t k = 0; k < n; ++k) planned[k] = wrapped(fringe::methods::phase_step(static_cast<int>(k), plan.steps));
  for (std::size_t p = 0; p < plan.periods.size(); ++p) {
    const auto period = frames.subspan(p * n, n);
    check.periods.push_back(measure_phase_steps(period, planned, plan.periods[p]));
    bool refused = false;
    std::string found = PeriodJudge(period, p * n, plan.periods.size() > 1, names).judge(check.periods.back(), refused);
    if (found.empty()) continue;
    if (plan.periods.size() > 1) {
      char period_text[32];
      std::snprintf(period_text, sizeof period_text, "%g", plan.periods[p]);
      found = "period " + std::to_string(p + 1) + " of " + std::to_string(plan.periods.size()) + " (" + period_text +
              " px): " + found;
    }
    if (refused) {
      check.verdict = StepCheck::Verdict::refused;
      check.finding = found;
      return check;
    }
    if (check.verdict == StepCheck::Verdict::agrees) {
      check.verdict = StepCheck::Verdict::warned;
      check.finding = found;
    }
  }
  return check;
}
