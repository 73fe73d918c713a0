// The quality of a measurement, from its pictures alone: on the profile's
// grid, how strong the fringes are (the modulation), how far the samples are
// from the sinusoid the method assumes (the fit residual) and which cells
// have a height; whether a picture holds fringes at all; and whether enough
// of the evaluation mask was measured to be believed.
//
// A cell is the profile point's 4 x 4 block of pixels (cell (i, j) holds
// columns 4i .. 4i + 3 of picture rows 4j .. 4j + 3, rows in bitmap order:
// row 0 of the grid is the bottom of the picture, as the profile's row 0).
//
// Per pixel, a method gives the modulation b (grey levels of the frames: the
// fitted sinusoid's amplitude) and the mean squared deviation e of its
// samples from the fitted sinusoid (grey levels squared):
// * phase shifting: the N samples of the steps, I_k - (a + b cos(phi +
//   delta_k)) with the least-squares a, b, phi; e = sum I_k^2 / N - a^2 -
//   b^2 / 2 (exact for steps spread evenly over the period). Of several
//   periods the least b and the largest e.
// * Fourier: the samples of one period along the row against the method's own
//   model, I - B - 2 Re(a): B the mean of the period's samples centred on the
//   pixel, 2 Re(a) the fringe the first order rebuilds; e the mean of the
//   squares over the same period.
// * the engine's quadrature: one three-parameter least-squares sinusoid at
//   the carrier fitted to the cell's 4 rows over the period's n =
//   round(LambdaF) columns centred on the cell (the window pulled inside the
//   row at its ends): the carrier's phase steps from one column to the next
//   play the part of the phase steps (methods/carrier_fit.h); its b and e are
//   the cell's.
// A cell's modulation is the mean b of the pixels of one row of the cell
// inside the evaluation ellipse (its band's row with the longest run inside
// it: a quarter of the pixels tell as well as all of them, for a quarter of
// the cost); its fit residual is sqrt(mean e) / modulation of the same
// pixels (the RMS distance of the samples from the sinusoid in units of its
// amplitude).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "methods/phase_field.h"
#include "scan.h"
#include "scan/grey_image.h"
#include "scan/scn_matrix.h"

// What a cell of the quality map is.
enum class CellState : uint8_t {
  outside = 0,    // fewer than 8 of its 16 pixels inside the evaluation ellipse
  valid = 1,      // inside, with a height
  weak = 2,       // inside, no height: its modulation is below the method's least
  unreached = 3,  // inside, modulated, no height: the unwrapping (or the engine's flaw test) did not reach it
};

// The quality of one measurement on its profile grid, cell (i, j) at
// j * cols + i.
struct QualityMap {
  int32_t cols = 0;
  int32_t rows = 0;
  double step_x = 0.0;               // mm per cell across (4 CamResX)
  double step_y = 0.0;               // mm per cell down (4 CamResY)
  std::vector<float> modulation;     // grey levels of the frames; NaN outside
  std::vector<float> fit_residual;   // in units of the modulation; NaN outside and where it is 0
  std::vector<uint8_t> state;        // CellState
  std::vector<uint32_t> inside;      // the cells whose state is not outside, in order
  // Samples per fit (the steps; the pixels of one period along a row; the
  // engine's 4 rows of one period): what noise alone gives a fit depends on it.
  int32_t samples = 0;
  // Independent values a cell's modulation is the mean of: 1 for the
  // engine's one fit a cell and for Fourier (its band ties the pixels of a
  // row together), 4 for phase shifting (the pixels of the cell's row, each
  // of its own steps). What noise alone gives a cell's mean depends on it.
  int32_t averaged = 1;
  // The brightest sample inside the ellipse (the engine's quadrature: of the
  // cells' fits, a period round each).
  double largest_sample = 0.0;
  double least_modulation = 0.0;     // the method's threshold: 1 % of it
  double strongest = 0.0;            // the largest modulation of a cell inside (as the map holds it)
  // The noise of a sample, grey levels (QualityCells::add_row): the
  // mean of (I(x, y) - I(x, y ^ 1))^2 / 2 over the 4 pixels of a cell's
  // deviation row, its 10th percentile over every fourth cell inside with
  // all 4 (and some difference), scaled as Gaussian noise's would be (a mean
  // of 4 squares, chi-square of 4 degrees, has its 10th percentile at 0.266
  // of the variance). Where the surface bends the fringes down the columns
  // the difference grows; the low percentile takes the cells where it does
  // not. 0 for a picture of one level.
  double noise = 0.0;

  std::size_t at(int32_t i, int32_t j) const {
    return static_cast<std::size_t>(j) * static_cast<std::size_t>(cols) + static_cast<std::size_t>(i);
  }
  CellState cell(int32_t i, int32_t j) const { return static_cast<CellState>(state[at(i, j)]); }
};

// The cells of a map as a method's measurement fills them, band by band (a
// band: the 4 picture rows of a grid row). Each band's row with the longest
// run inside the ellipse (its deviation row) tells its cells: the runs of an
// ellipse nest, so that row holds a pixel of every cell of the band inside.
class QualityCells {
 public:
  // The map of a width x height picture whose evaluation ellipse has the
  // rows' `runs` (height of them): every cell outside, those inside (8 of
  // their pixels or more) without modulation until their row comes, `map`'s
  // grid and steps from `par`, `samples` per fit. The cells' pixels are
  // counted again only when the size or the runs change, and a map made
  // for the same cells before is only written where they are inside.
  void start(QualityMap& map, int32_t width, int32_t height, const ScnPar& par, int32_t samples,
             const std::vector<fringe::methods::RowRun>& runs);
  // The picture row of band j whose pixels tell its cells; -1 for a band the
  // ellipse misses.
  int32_t deviation_row(int32_t j) const { return deviation_rows_[static_cast<std::size_t>(j)]; }
  // Whether picture row y is its band's deviation row.
  bool is_deviation_row(int32_t y) const;
  // Picture row y, when it is its band's deviation row (else nothing): each
  // cell inside the ellipse takes the mean over its pixels of the row of b
  // (modulation) and e (deviation), both indexed by column, and the noise
  // (I(x, y) - I(x, pair))^2 / 2 of the frame's rows y and `pair` (the other
  // row of y's pair in its band, pair_row; 8-bit, or 16-bit in machine order
  // when `wide`): the fringes run down the columns, so the difference of
  // neighbouring rows is noise and what the surface bends of them. A method
  // adds the row as it measures it, while it is at hand.
  void add_row(int32_t y, const double* b, const double* e, const uint8_t* row, const uint8_t* pair, bool wide);
  // The row whose difference from y gives the noise: y ^ 1, in y's band.
  static int32_t pair_row(int32_t y) { return y ^ 1; }
  // A cell's modulation, deviation and noise (the mean of its row's 4
  // pixels') as one fit of it gives them.
  void set_cell(int32_t i, int32_t j, double modulation, double deviation, double noise);
  // The map's brightest sample and threshold, strongest cell and noise
  // (states: outside, or valid until mark_cells sets them from the profile).
  void finish(double largest_sample);

 private:
  void take(std::size_t cell, double modulation, double deviation, double noise, int32_t count);
  QualityMap* map_ = nullptr;
  int32_t cols_ = 0;
  int32_t rows_ = 0;
  std::vector<fringe::methods::RowRun> given_;  // the runs start() was given last
  std::vector<fringe::methods::RowRun> runs_;   // clipped to the grid's columns
  std::vector<int32_t> deviation_rows_;
  std::vector<uint32_t> inside_cells_;          // the cells inside the ellipse
  std::vector<uint8_t> inside_;                 // each cell's pixels inside
  double strongest_ = 0.0;
  std::vector<float> noise_;                    // every fourth cell's noise
};

// The engine's quadrature: each cell's modulation and deviation of one
// least-squares sinusoid at the carrier (LambdaF) fitted to its band's 4 rows
// over the period's n = round(LambdaF) columns centred on the cell
// (methods/carrier_fit.h), for the cells of the evaluation ellipse of `par`,
// into `map` (states outside or valid). The picture (8-bit, bitmap rows) is
// only read. Throws std::bad_alloc.
void carrier_fit_quality(const GreyImage& picture, const ScnPar& par, QualityMap& map);
// The same with its work room (the ellipse's runs, the fit's tables, the
// cells) kept from one picture to the next.
class CarrierQuality {
 public:
  CarrierQuality();
  ~CarrierQuality();
  CarrierQuality(const CarrierQuality&) = delete;
  CarrierQuality& operator=(const CarrierQuality&) = delete;
  void measure(const GreyImage& picture, const ScnPar& par, QualityMap& map);

 private:
  struct Work;
  std::unique_ptr<Work> work_;
};

// The cells' states from the profile made of the same picture (its grid the
// map's): inside cells with a height (above the no-data height of
// DepthLimit) are valid; the others weak or unreached by their modulation.
void mark_cells(QualityMap& map, const ScnMatrix& profile, double depth_limit);

// What a summary says of a quality map.
struct QualitySummary {
  int32_t mask_cells = 0;       // cells inside the evaluation ellipse
  int32_t valid_cells = 0;      // of them, those with a height
  double valid_fraction = 0.0;  // valid_cells / mask_cells (0 without mask cells)
  double median_modulation = 0.0;    // grey levels, over the mask cells (NaN without)
  double median_fit_residual = 0.0;  // over the mask cells that have modulation (NaN without)
  double noise = 0.0;           // grey levels: the noise of a sample (QualityMap::noise)
};
QualitySummary summarise_quality(const QualityMap& map);
// Only the counts, the valid fraction and the noise (the medians NaN): what
// too_little_refusal needs, without sorting.
QualitySummary count_cells(const QualityMap& map);

// Empty when the frames hold fringes; else why not. Noise alone gives the
// sinusoid fitted to n samples an amplitude of Rayleigh law, of scale
// s = sigma * sqrt(2 / n) (its two coefficients are normal with variance
// 2 sigma^2 / n); sigma is QualityMap::noise. A cell's modulation of one fit
// (averaged 1) passes 8 s once in some 10^14 cells (10^9 with sigma a fifth
// too low); the mean of m (averaged m) has the mean s sqrt(pi / 2) and the
// deviation s sqrt((4 - pi) / 2) / sqrt(m), and passes 8 deviations above
// its mean as rarely. The frames hold fringes when the strongest mask cell's
// modulation exceeds that plus 1 % of the brightest sample (2.55 grey levels
// of a full 8-bit range), or, for fringes over some of the field each too
// weak alone, the cells' 99th percentile exceeds 4.5 s (noise alone: 3.03 s)
// or 5 deviations above the mean, plus the same 1 %:
// "no fringes: the cells' modulation stays within what noise of 0 grey levels
// a sample gives: the strongest 0 of 1.28 grey levels, the 99th percentile 0
// of 1.28". A picture of one grey level, all zeros included, has none.
std::string no_fringes_refusal(const QualityMap& map);

// The least valid fraction of the mask a measurement must reach unless the
// settings (MinValid) or an option ask another.
constexpr double kDefaultMinValid = 0.25;

// Empty when summary.valid_fraction reaches `min_valid`; else "too little
// measured: 0 of 21379 cells inside the evaluation mask have a height (0 %),
// fewer than the 25 % asked (MinValid)", or for a mask without a cell (a
// zero radius, a centre off the picture) "too little measured: the
// evaluation mask holds no cell of the profile (MaskRadius, MaskXOfs,
// MaskYOfs)".
std::string too_little_refusal(const QualitySummary& summary, double min_valid);

// The quality of a grid as a map for the window: at each of the width x
// height cells the nearest cell of the grid's centre square (the square
// place_profile cuts), `out` row-major (width * height, row 0 first).
enum class QualityView { modulation, fit_residual, reached };
// Values: the modulation (grey levels), the fit residual, or 1 for a cell with
// a height and 0 for one without; `none` outside the ellipse (and for a
// residual where there is no modulation).
void quality_view(const QualityMap& map, QualityView view, int32_t width, int32_t height, double none,
                  std::vector<double>& out);
