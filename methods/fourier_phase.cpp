#include "methods/fourier_phase.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <numbers>
#include <vector>

#include "methods/portable_atan2.h"

namespace fringe::methods {

namespace {

// FFTW's planner (and the destruction of plans) shares state between all
// threads of the process.
std::mutex& planner_lock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

FourierRows::~FourierRows() { release(); }

void FourierRows::release() {
  const std::lock_guard<std::mutex> guard(planner_lock());
  if (forward_ != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(forward_));
  if (backward_ != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(backward_));
  fftw_free(samples_);
  fftw_free(spectrum_);
  fftw_free(signal_);
  fftw_free(analytic_);
  forward_ = backward_ = nullptr;
  samples_ = spectrum_ = signal_ = analytic_ = nullptr;
  width_ = 0;
  band_lambda_ = 0.0;
}

void FourierRows::prepare(int32_t width) {
  if (width == width_) return;
  release();
  const auto n = static_cast<std::size_t>(width);
  samples_ = static_cast<double*>(fftw_malloc(sizeof(double) * n));
  spectrum_ = static_cast<double*>(fftw_malloc(sizeof(fftw_complex) * (n / 2 + 1)));
  signal_ = static_cast<double*>(fftw_malloc(sizeof(fftw_complex) * n));
  analytic_ = static_cast<double*>(fftw_malloc(sizeof(fftw_complex) * n));
  if (samples_ == nullptr || spectrum_ == nullptr || signal_ == nullptr || analytic_ == nullptr) {
    release();
    throw std::bad_alloc();
  }
  {
    const std::lock_guard<std::mutex> guard(planner_lock());
    // Without the processor's vector codelets: FFTW would pick other
    // codelets (and plans) on other processors, and the last bits of the
    // phase with them; the scalar ones give every x86-64 the same bytes.
    forward_ = fftw_plan_dft_r2c_1d(width, samples_, reinterpret_cast<fftw_complex*>(spectrum_),
                                    FFTW_ESTIMATE | FFTW_NO_SIMD);
    backward_ = fftw_plan_dft_1d(width, reinterpret_cast<fftw_complex*>(signal_),
                                 reinterpret_cast<fftw_complex*>(analytic_), FFTW_BACKWARD,
                                 FFTW_ESTIMATE | FFTW_NO_SIMD | FFTW_PRESERVE_INPUT);
  }
  if (forward_ == nullptr || backward_ == nullptr) {
    release();
    throw std::bad_alloc();
  }
  width_ = width;
}

const double* FourierRows::analytic_row(const GreyImage* frame, int32_t y, double lambda, RowRun run,
                                        double& largest) {
  const uint8_t* row = img_line(frame, y);
  if (frame->type == 2) {
    for (int32_t x = 0; x < width_; ++x) {
      uint16_t v;
      std::memcpy(&v, row + 2 * static_cast<std::ptrdiff_t>(x), sizeof v);
      samples_[x] = v;
    }
  } else {
    for (int32_t x = 0; x < width_; ++x) samples_[x] = row[x];
  }
  for (int32_t x = run.first; x < run.end; ++x) largest = std::max(largest, samples_[x]);
  fftw_execute(static_cast<fftw_plan>(forward_));
  // The first order alone, weighted by a raised cosine from DC (0) over the
  // carrier (1) to its second harmonic (0). A rectangular band rings: on the
  // sphere, whose fringes crowd towards the rim and reach far beyond any band,
  // its sidelobes bent the phase by some 1 um of height RMS inside the mask;
  // the smooth band leaves 0.02 um. The bins outside it stay zero from the
  // last change of period on (the inverse transform keeps its input).
  if (lambda != band_lambda_) {
    std::memset(signal_, 0, sizeof(fftw_complex) * static_cast<std::size_t>(width_));
    const double f0 = width_ / lambda;
    band_.assign(static_cast<std::size_t>(width_ / 2 + 1), 0.0);
    for (int32_t k = 1; k <= width_ / 2 && k < 2.0 * f0; ++k)
      band_[static_cast<std::size_t>(k)] = 0.5 * (1.0 + std::cos(std::numbers::pi * (k - f0) / f0));
    band_lambda_ = lambda;
  }
  for (int32_t k = 1; k <= width_ / 2; ++k) {
    const double w = band_[static_cast<std::size_t>(k)];
    if (w == 0.0) continue;
    signal_[2 * k] = spectrum_[2 * k] * w;
    signal_[2 * k + 1] = spectrum_[2 * k + 1] * w;
  }
  fftw_execute(static_cast<fftw_plan>(backward_));
  return analytic_;
}

namespace {

// The pixels of one period along a row and where each pixel's window starts.
struct PeriodWindow {
  int32_t n;
  int32_t width;
  PeriodWindow(int32_t width_, double lambda) : width(width_) {
    const double rounded = std::nearbyint(lambda);
    n = std::isfinite(rounded) ? static_cast<int32_t>(std::clamp(rounded, 3.0, 4096.0)) : 3;
    n = std::max(1, std::min(n, width));
  }
  int32_t start(int32_t x) const { return std::clamp(x - n / 2, 0, width - n); }
};

}  // namespace

void fourier_deviation(const double* samples, const double* fringe, int32_t width, double lambda, RowRun run,
                       double* e, std::vector<double>& work) {
  if (run.empty()) return;
  const PeriodWindow window(width, lambda);
  const int32_t n = window.n;
  const int32_t lo = window.start(run.first);
  const int32_t hi = window.start(run.end - 1) + n;
  const int32_t from = window.start(lo);
  const int32_t to = window.start(hi - 1) + n;
  // Running sums of the samples from column `from` on, then of d^2 from
  // column `lo` on.
  work.resize(static_cast<std::size_t>(to - from + 1) + static_cast<std::size_t>(hi - lo + 1));
  double* const level_sums = work.data();
  double* const square_sums = level_sums + (to - from + 1);
  level_sums[0] = 0.0;
  for (int32_t k = from; k < to; ++k) level_sums[k - from + 1] = level_sums[k - from] + samples[k];
  const double count = n;
  square_sums[0] = 0.0;
  for (int32_t k = lo; k < hi; ++k) {
    const int32_t w = window.start(k) - from;
    const double background = (level_sums[w + n] - level_sums[w]) / count;
    const double d = samples[k] - background - fringe[k];
    square_sums[k - lo + 1] = square_sums[k - lo] + d * d;
  }
  for (int32_t x = run.first; x < run.end; ++x) {
    const int32_t w = window.start(x) - lo;
    e[x] = std::max(0.0, square_sums[w + n] - square_sums[w]) / count;
  }
}

double fourier_period(const GreyImage* frame, double lambda, PhaseField& field, FourierRows& rows,
                      QualityCells* cells) {
  rows.prepare(field.width);
  std::vector<double>& carrier = rows.carrier();
  carrier.resize(static_cast<std::size_t>(field.width));
  wrapped_carrier(field.width, lambda, carrier.data());
  const double scale = 1.0 / field.width;
  double largest = 0.0;
  // The run's real and imaginary parts, then their angles (portable_atan2.h:
  // a vector at a time, the same bits on every processor).
  std::vector<double> re(static_cast<std::size_t>(field.width));
  std::vector<double> im(re.size());
  std::vector<double> angle(re.size());
  std::vector<double> fringe;
  std::vector<double> work;
  std::vector<double> deviation;
  if (cells != nullptr) {
    fringe.resize(re.size());
    deviation.resize(re.size());
  }
  const PeriodWindow window(field.width, lambda);
  for (int32_t y = 0; y < field.height; ++y) {
    const RowRun run = field.runs[static_cast<std::size_t>(y)];
    if (run.empty()) continue;
    const double* a = rows.analytic_row(frame, y, lambda, run, largest);
    double* const psi = field.psi.data() + field.at(0, y);
    double* const modulation = field.modulation.data() + field.at(0, y);
    for (int32_t x = run.first; x < run.end; ++x) {
      re[static_cast<std::size_t>(x)] = a[2 * x] * scale;
      im[static_cast<std::size_t>(x)] = a[2 * x + 1] * scale;
    }
    portable_atan2_row(im.data() + run.first, re.data() + run.first, run.end - run.first,
                       angle.data() + run.first);
    for (int32_t x = run.first; x < run.end; ++x) {
      const auto i = static_cast<std::size_t>(x);
      modulation[x] = 2.0 * std::sqrt(re[i] * re[i] + im[i] * im[i]);
      if (modulation[x] > 0.0) psi[x] = wrapped_difference(angle[i], carrier[x]);
    }
    if (cells == nullptr) continue;
    if (cells->is_deviation_row(y)) {
      // The fringe over every window of the run: a little beyond it.
      const int32_t lo = window.start(run.first);
      const int32_t hi = window.start(run.end - 1) + window.n;
      for (int32_t x = lo; x < hi; ++x) fringe[static_cast<std::size_t>(x)] = 2.0 * (a[2 * x] * scale);
      fourier_deviation(rows.samples(), fringe.data(), field.width, lambda, run, deviation.data(), work);
      cells->add_row(y, modulation, deviation.data(), img_line(frame, y), img_line(frame, QualityCells::pair_row(y)),
                     frame->type == 2);
    }
  }
  return largest;
}

}  // namespace fringe::methods
