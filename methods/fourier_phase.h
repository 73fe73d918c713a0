// Fourier analysis of one fringe frame, a row at a time: the first order of
// the row's spectrum gives the analytic signal, whose angle is the phase.
#pragma once

#include <cstdint>
#include <vector>

#include "methods/measurement_quality.h"
#include "methods/phase_field.h"
#include "scan/grey_image.h"

namespace fringe::methods {

// Transforms of one row width: FFTW plans (made under one process-wide lock,
// as FFTW's planner is not thread-safe; running them is) and their aligned
// buffers. One per thread; kept while the width stays.
class FourierRows {
 public:
  FourierRows() = default;
  ~FourierRows();
  FourierRows(const FourierRows&) = delete;
  FourierRows& operator=(const FourierRows&) = delete;

  // Plans for rows of `width` samples (nothing to do when they are already
  // there); throws std::bad_alloc when the buffers or plans cannot be made.
  void prepare(int32_t width);
  int32_t width() const { return width_; }

  // The analytic signal a of row `y` of `frame` (8-bit or 16-bit) for a
  // fringe period of `lambda` pixels: the spectrum's bins 0 < k < 2 f0,
  // f0 = width / lambda, weighted by (1 + cos(pi (k - f0) / f0)) / 2, the
  // others zero, transformed back and divided by the width, so that a pure
  // fringe A cos(phi) + B at the carrier gives a = A / 2 e^(i phi). Returns the interleaved (re, im) values of the row;
  // `largest` rises to the largest sample of columns run.first .. run.end - 1.
  const double* analytic_row(const GreyImage* frame, int32_t y, double lambda, RowRun run, double& largest);
  // Room for the carrier of a row.
  std::vector<double>& carrier() { return carrier_; }
  // The samples of the row analytic_row read last (width values).
  const double* samples() const { return samples_; }

 private:
  void release();
  int32_t width_ = 0;
  double* samples_ = nullptr;  // width_ values
  double* spectrum_ = nullptr; // width_ / 2 + 1 complex values
  double* signal_ = nullptr;   // width_ complex values: the first order's bins
  double* analytic_ = nullptr; // width_ complex values: their inverse transform
  double band_lambda_ = 0.0;   // the period whose band signal_ holds (0: none)
  std::vector<double> band_;   // its weights, bins 0 .. width_ / 2
  void* forward_ = nullptr;    // fftw_plan
  void* backward_ = nullptr;   // fftw_plan
  std::vector<double> carrier_;
};

// Measures one frame over the field's runs: field.psi = arg(a) with the
// carrier of `lambda` removed, wrapped into (-pi, pi], where the modulation
// 2 |a| is positive; field.modulation = that modulation. With `cells` (a
// measurement's quality, started on the field's runs), each row's modulation
// goes to the cells, and the fourier_deviation of their deviation rows.
// Returns the largest sample of the field.
double fourier_period(const GreyImage* frame, double lambda, PhaseField& field, FourierRows& rows,
                      QualityCells* cells = nullptr);

// How far a row's samples are from the method's model of them, the local
// background and the fringe the first order rebuilds: with n = round(lambda)
// (3 .. width) and the window of pixel x its n pixels from
// clamp(x - n div 2, 0, width - n) on, d(k) = I(k) - B(k) - f(k) where B(k)
// is the mean of the samples in k's window and f = 2 Re(a) (`fringe`, the
// analytic signal's real part doubled); e[x] = the mean of d^2 over x's
// window, for the pixels of `run`. `fringe` must hold the columns of every
// window of the run; `work` is room kept between calls.
void fourier_deviation(const double* samples, const double* fringe, int32_t width, double lambda, RowRun run,
                       double* e, std::vector<double>& work);

}  // namespace fringe::methods
