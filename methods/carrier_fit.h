// The local sinusoid of one fringe picture at its carrier: for a cell of 4
// rows, a least-squares fit of a + p cos(theta) + q sin(theta) to the 4 x n
// samples of its rows over the n = round(lambda) columns of one period
// centred on the cell (the window pulled inside the row at its ends), theta
// the carrier's phase of each column (zero at column width div 2). The
// carrier steps the phase by 2 pi / lambda from one column to the next, so
// the period's columns play the part of the steps of phase shifting, and the
// fit gives the same two numbers: the modulation b = sqrt(p^2 + q^2) and the
// mean squared deviation of the samples from the fitted sinusoid. It assumes
// the phase the surface adds is constant over the cell's period; where it is
// not (fringes bent or crowded), the modulation falls and the deviation
// rises, as the quality of a single-frame phase should.
#pragma once

#include <cstdint>
#include <vector>

namespace fringe::methods {

// The rows of a band, a cell's height.
constexpr int32_t kCarrierRows = 4;

// levels[x] and squares[x]: the sum of rows[0..3][x] and of their squares,
// x = 0 .. count - 1; `brightest` rises to the largest of them. The vector
// kernel gives the same whole numbers.
void column_sums(const uint8_t* const* rows, int32_t count, int32_t* levels, int32_t* squares, uint8_t& brightest);
// The plain definition, from column `from` on.
void column_sums_plain(const uint8_t* const* rows, int32_t count, int32_t* levels, int32_t* squares,
                       uint8_t& brightest, int32_t from = 0);

class CarrierFit {
 public:
  // The fits of rows `width` pixels wide at a period of `lambda` pixels
  // (nothing to do when they are already there). n = round(lambda), at least
  // 3 and at most the width; a fit whose design is degenerate (a period of 2
  // pixels samples no sine) gives b = 0 and e = 0.
  void prepare(int32_t width, double lambda);
  // Samples per fit: 4 n.
  int32_t samples() const { return 4 * n_; }

  // The fits of cells first .. end - 1 of the band `rows` (4 rows of width
  // 8-bit samples): b[i - first], e[i - first] of cell i (grey levels, grey
  // levels squared), its period centred on column 4 i + 2. `brightest`
  // rises to the brightest sample of the fits' windows.
  void band(const uint8_t* const* rows, int32_t first, int32_t end, double* b, double* e, uint8_t& brightest);

 private:
  int32_t width_ = 0;
  double lambda_ = 0.0;
  int32_t n_ = 0;
  std::vector<double> cosines_, sines_;  // of each column's carrier phase
  std::vector<double> inverse_;          // 6 per window start: the inverse of its normal matrix
  std::vector<int32_t> level_sums_, square_sums_;  // down a band's columns
  std::vector<double> prefix_;           // 4 running sums along the band's columns
};

}  // namespace fringe::methods
