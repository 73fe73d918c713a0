#include "methods/measurement_quality.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>

#include "methods/carrier_fit.h"
#include "methods/evaluated_field.h"
#include "scan/profile_calculation.h"

using namespace fringe::methods;

namespace {

constexpr int32_t kCell = 4;               // pixels per cell side, as the profile's blocks
constexpr int32_t kLeastInsidePixels = 8;  // of 16: a cell inside the ellipse
constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
// The modulation noise alone reaches (in Rayleigh scales) once in some 10^14
// cells, exp(-8^2 / 2): once in 10^9 even where the noise is taken a fifth
// too low.
constexpr double kNoiseScales = 8.0;
// The 10th percentile of a mean of 4 squares of Gaussian noise of variance 1
// (chi-square of 4 degrees over 4): a cell's noise is the mean of its row's 4.
constexpr int32_t kNoiseSamples = 4;
constexpr double kChiSquare4Decile = 1.0636 / 4.0;

std::string short_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

double median(std::vector<double>& values) {
  if (values.empty()) return std::numeric_limits<double>::quiet_NaN();
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  if (values.size() % 2 == 1) return *middle;
  const double upper = *middle;
  const double lower = *std::max_element(values.begin(), middle);
  return (lower + upper) / 2.0;
}

bool inside(const QualityMap& map, std::size_t cell) {
  return static_cast<CellState>(map.state[cell]) != CellState::outside;
}

}  // namespace

void QualityCells::start(QualityMap& map, int32_t width, int32_t height, const ScnPar& par, int32_t samples,
                         const std::vector<RowRun>& runs) {
  const bool same = cols_ == std::max(width, 0) / kCell && rows_ == std::max(height, 0) / kCell &&
                    std::equal(runs.begin(), runs.end(), given_.begin(), given_.end(),
                               [](const RowRun& a, const RowRun& b) { return a.first == b.first && a.end == b.end; });
  if (!same) {
    cols_ = std::max(width, 0) / kCell;
    rows_ = std::max(height, 0) / kCell;
    given_ = runs;
    const std::size_t cells = static_cast<std::size_t>(cols_) * static_cast<std::size_t>(rows_);
    inside_.assign(cells, 0);
    // The grid's rows, their runs within its columns; the pixels each cell
    // has inside the ellipse; each band's longest run.
    runs_.assign(static_cast<std::size_t>(kCell * rows_), RowRun{});
    deviation_rows_.assign(static_cast<std::size_t>(rows_), -1);
    for (int32_t j = 0; j < rows_; ++j) {
      int32_t longest = 0;
      for (int32_t r = 0; r < kCell; ++r) {
        const int32_t y = kCell * j + r;
        RowRun run = y < static_cast<int32_t>(runs.size()) ? runs[static_cast<std::size_t>(y)] : RowRun{};
        run.end = std::min(run.end, kCell * cols_);
        if (run.empty()) continue;
        runs_[static_cast<std::size_t>(y)] = run;
        if (run.end - run.first > longest) {
          longest = run.end - run.first;
          deviation_rows_[static_cast<std::size_t>(j)] = y;
        }
        for (int32_t i = run.first / kCell; i <= (run.end - 1) / kCell; ++i)
          inside_[static_cast<std::size_t>(j) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(i)] +=
              static_cast<uint8_t>(std::min(run.end, kCell * i + kCell) - std::max(run.first, kCell * i));
      }
    }
    inside_cells_.clear();
    for (std::size_t cell = 0; cell < cells; ++cell)
      if (inside_[cell] >= kLeastInsidePixels) inside_cells_.push_back(static_cast<uint32_t>(cell));
  }
  map_ = &map;
  map.cols = cols_;
  map.rows = rows_;
  map.step_x = kCell * par.CamResX;
  map.step_y = kCell * par.CamResY;
  map.samples = samples;
  map.averaged = 1;
  const std::size_t cells = inside_.size();
  // A map made of the same cells before has the others outside already;
  // every cell inside gets its row's values.
  if (map.modulation.size() != cells || map.fit_residual.size() != cells || map.state.size() != cells ||
      map.inside != inside_cells_) {
    map.modulation.assign(cells, kNone);
    map.fit_residual.assign(cells, kNone);
    map.state.assign(cells, static_cast<uint8_t>(CellState::outside));
    map.inside = inside_cells_;
  }
  strongest_ = 0.0;
  noise_.clear();
}

bool QualityCells::is_deviation_row(int32_t y) const {
  const int32_t j = y / kCell;
  return y >= 0 && j < rows_ && deviation_rows_[static_cast<std::size_t>(j)] == y;
}

void QualityCells::take(std::size_t cell, double modulation, double deviation, double noise, int32_t count) {
  QualityMap& map = *map_;
  const auto b = static_cast<float>(modulation);
  map.modulation[cell] = b;
  strongest_ = std::max(strongest_, static_cast<double>(b));
  map.fit_residual[cell] = b > 0.0f ? static_cast<float>(std::sqrt(deviation) / modulation) : kNone;
  map.state[cell] = static_cast<uint8_t>(CellState::valid);
  // Every fourth cell with a whole row tells the percentile as well, for less sorting.
  if (cell % 4 == 0 && count == kNoiseSamples && noise > 0.0) noise_.push_back(static_cast<float>(noise));
}

void QualityCells::add_row(int32_t y, const double* b, const double* e, const uint8_t* row, const uint8_t* pair,
                           bool wide) {
  if (!is_deviation_row(y)) return;
  const RowRun run = runs_[static_cast<std::size_t>(y)];
  const std::size_t at = static_cast<std::size_t>(y / kCell) * static_cast<std::size_t>(cols_);
  for (int32_t i = run.first / kCell; i <= (run.end - 1) / kCell; ++i) {
    const std::size_t cell = at + static_cast<std::size_t>(i);
    if (inside_[cell] < kLeastInsidePixels) continue;
    const int32_t from = std::max(run.first, kCell * i);
    const int32_t to = std::min(run.end, kCell * i + kCell);
    double sum_b = 0.0;
    double sum_e = 0.0;
    // Differences of whole numbers: their squares add up exactly.
    int64_t sum_n = 0;
    for (int32_t x = from; x < to; ++x) {
      sum_b += b[x];
      sum_e += e[x];
    }
    if (wide) {
      for (int32_t x = from; x < to; ++x) {
        uint16_t p, q;
        std::memcpy(&p, row + 2 * static_cast<std::ptrdiff_t>(x), sizeof p);
        std::memcpy(&q, pair + 2 * static_cast<std::ptrdiff_t>(x), sizeof q);
        const int64_t d = static_cast<int64_t>(p) - q;
        sum_n += d * d;
      }
    } else {
      for (int32_t x = from; x < to; ++x) {
        const int64_t d = static_cast<int64_t>(row[x]) - pair[x];
        sum_n += d * d;
      }
    }
    const int32_t count = to - from;
    take(cell, sum_b / count, sum_e / count, static_cast<double>(sum_n) / 2.0 / count, count);
  }
}

void QualityCells::set_cell(int32_t i, int32_t j, double modulation, double deviation, double noise) {
  const std::size_t cell = static_cast<std::size_t>(j) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(i);
  if (inside_[cell] >= kLeastInsidePixels) take(cell, modulation, deviation, noise, kNoiseSamples);
}

void QualityCells::finish(double largest_sample) {
  QualityMap& map = *map_;
  map.largest_sample = largest_sample;
  map.least_modulation = 0.01 * largest_sample;
  map.strongest = strongest_;
  map.noise = 0.0;
  if (!noise_.empty()) {
    const auto at = noise_.begin() + static_cast<std::ptrdiff_t>(noise_.size() / 10);
    std::nth_element(noise_.begin(), at, noise_.end());
    map.noise = std::sqrt(*at / kChiSquare4Decile);
  }
}

struct CarrierQuality::Work {
  CarrierFit fit;
  QualityCells cells;
  std::vector<RowRun> runs;
  // What the runs were made for.
  int32_t width = -1, height = -1;
  double mask[5] = {};
};

CarrierQuality::CarrierQuality() : work_(std::make_unique<Work>()) {}
CarrierQuality::~CarrierQuality() = default;

void CarrierQuality::measure(const GreyImage& picture, const ScnPar& par, QualityMap& map) {
  Work& w = *work_;
  const int32_t width = picture.width;
  const int32_t height = picture.height;
  const double mask[5] = {par.MaskRadius, par.MaskXOfs, par.MaskYOfs, par.CamResX, par.CamResY};
  if (width != w.width || height != w.height || !std::equal(mask, mask + 5, w.mask)) {
    w.runs = evaluation_runs(width, height, par);
    w.width = width;
    w.height = height;
    std::copy(mask, mask + 5, w.mask);
  }
  const std::vector<RowRun>& runs = w.runs;
  CarrierFit& fit = w.fit;
  fit.prepare(width, par.LambdaF);
  QualityCells& cells = w.cells;
  cells.start(map, width, height, par, fit.samples(), runs);
  uint8_t brightest = 0;
  const int32_t cols = width / kCell;
  std::vector<double> b(static_cast<std::size_t>(cols));
  std::vector<double> e(b.size());
  for (int32_t j = 0; j < height / kCell; ++j) {
    // The cells of the band with a pixel inside the ellipse.
    int32_t first = cols;
    int32_t end = 0;
    for (int32_t r = 0; r < kCell; ++r) {
      const RowRun run = runs[static_cast<std::size_t>(kCell * j + r)];
      if (run.empty() || run.first >= kCell * cols) continue;
      first = std::min(first, run.first / kCell);
      end = std::max(end, std::min((run.end - 1) / kCell + 1, cols));
    }
    if (first >= end) continue;
    const uint8_t* rows[kCell];
    for (int32_t r = 0; r < kCell; ++r) rows[r] = img_line(&picture, kCell * j + r);
    fit.band(rows, first, end, b.data(), e.data(), brightest);
    // The noise of the cells' deviation row against its pair.
    const int32_t y = cells.deviation_row(j);
    const uint8_t* row = img_line(&picture, y);
    const uint8_t* pair = img_line(&picture, QualityCells::pair_row(y));
    for (int32_t i = first; i < end; ++i) {
      int32_t sum = 0;
      for (int32_t x = kCell * i; x < kCell * i + kCell; ++x) {
        const int32_t d = static_cast<int32_t>(row[x]) - pair[x];
        sum += d * d;
      }
      const auto k = static_cast<std::size_t>(i - first);
      cells.set_cell(i, j, b[k], e[k], sum / (2.0 * kCell));  // the mean of the row's 4
    }
  }
  cells.finish(brightest);
}

void carrier_fit_quality(const GreyImage& picture, const ScnPar& par, QualityMap& map) {
  CarrierQuality quality;
  quality.measure(picture, par, map);
}

void mark_cells(QualityMap& map, const ScnMatrix& profile, double depth_limit) {
  const auto no_data = static_cast<float>(effective_depth_limit(depth_limit));
  const bool same_grid = profile.values != nullptr && profile.cols == map.cols && profile.rows == map.rows;
  int32_t j = 0;
  uint32_t row_start = 0;  // cell (0, j)
  for (const uint32_t cell : map.inside) {
    // The cells come in order: their row follows without a division.
    while (cell >= row_start + static_cast<uint32_t>(map.cols)) {
      row_start += static_cast<uint32_t>(map.cols);
      ++j;
    }
    const float z = same_grid ? profile.values[j][cell - row_start] : no_data;
    CellState state = CellState::valid;
    if (!(z > no_data && z <= FLT_MAX))
      state = map.modulation[cell] < map.least_modulation || !(map.modulation[cell] > 0.0f) ? CellState::weak
                                                                                           : CellState::unreached;
    map.state[cell] = static_cast<uint8_t>(state);
  }
}


QualitySummary count_cells(const QualityMap& map) {
  QualitySummary s;
  s.mask_cells = static_cast<int32_t>(map.inside.size());
  for (const uint32_t cell : map.inside) s.valid_cells += map.state[cell] == static_cast<uint8_t>(CellState::valid);
  s.valid_fraction = s.mask_cells > 0 ? static_cast<double>(s.valid_cells) / s.mask_cells : 0.0;
  s.median_modulation = s.median_fit_residual = std::numeric_limits<double>::quiet_NaN();
  s.noise = map.noise;
  return s;
}

QualitySummary summarise_quality(const QualityMap& map) {
  QualitySummary s = count_cells(map);
  std::vector<double> modulations;
  std::vector<double> residuals;
  for (const uint32_t cell : map.inside) {
    modulations.push_back(map.modulation[cell]);
    if (std::isfinite(map.fit_residual[cell])) residuals.push_back(map.fit_residual[cell]);
  }
  s.median_modulation = median(modulations);
  s.median_fit_residual = median(residuals);
  return s;
}

std::string no_fringes_refusal(const QualityMap& map) {
  const double strongest = map.strongest;
  // Without a cell inside the ellipse there is nothing to judge: the valid
  // fraction says what there is to say.
  if (map.inside.empty()) return "";
  // What noise alone may give a cell's modulation, per grey level of noise a
  // sample, s the Rayleigh scale of one fit's: the strongest cell 8 s for
  // one fit, 8 deviations above the mean for the mean of several; the 99th
  // percentile of the cells 4.5 s (noise gives 3.03 s) or 5 deviations
  // above the mean.
  const double n = map.samples;
  const double s = n > 0.0 ? std::sqrt(2.0 / n) : 0.0;
  const double m = std::max(map.averaged, 1);
  const double mean = std::sqrt(std::numbers::pi / 2.0);
  const double deviation = std::sqrt((4.0 - std::numbers::pi) / 2.0 / m);
  const double top_level = m <= 1.0 ? kNoiseScales * s : s * (mean + kNoiseScales * deviation);
  const double percentile_level = m <= 1.0 ? 4.5 * s : s * (mean + 5.0 * deviation);
  const double noise = map.noise;
  const double need_top = noise * top_level + map.least_modulation;
  if (strongest > need_top && strongest > 0.0) return "";
  // Fringes over some of the field, each cell's alone too weak to tell.
  std::vector<float> modulations;
  for (const uint32_t cell : map.inside) modulations.push_back(map.modulation[cell]);
  const auto at = modulations.begin() + static_cast<std::ptrdiff_t>(modulations.size() * 99 / 100);
  std::nth_element(modulations.begin(), at, modulations.end());
  const double percentile = *at;
  const double need_percentile = noise * percentile_level + map.least_modulation;
  if (percentile > need_percentile && percentile > 0.0) return "";
  // Below a thousandth of a grey level the fits' rounding speaks, not the picture.
  const auto levels = [](double value) { return short_number(value < 1e-3 ? 0.0 : value); };
  return "no fringes: the cells' modulation stays within what noise of " + levels(noise) +
         " grey levels a sample gives: the strongest " + levels(strongest) + " of " + levels(need_top) +
         " grey levels, the 99th percentile " + levels(percentile) + " of " + levels(need_percentile);
}

std::string too_little_refusal(const QualitySummary& summary, double min_valid) {
  if (summary.valid_fraction >= min_valid) return "";
  if (summary.mask_cells == 0)
    return "too little measured: the evaluation mask holds no cell of the profile (MaskRadius, MaskXOfs, MaskYOfs)";
  return "too little measured: " + std::to_string(summary.valid_cells) + " of " + std::to_string(summary.mask_cells) +
         " cells inside the evaluation mask have a height (" + short_number(100.0 * summary.valid_fraction) +
         " %), fewer than the " + short_number(100.0 * min_valid) + " % asked (MinValid)";
}

void quality_view(const QualityMap& map, QualityView view, int32_t width, int32_t height, double none,
                  std::vector<double>& out) {
  out.assign(static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)), none);
  const int32_t n = std::min(map.cols, map.rows);
  if (n < 1 || width < 1 || height < 1) return;
  // The centre square, as place_profile cuts it; corners aligned.
  const int32_t dx = static_cast<int32_t>(std::lrint((map.cols - n) * 0.5));
  const int32_t dy = static_cast<int32_t>(std::lrint((map.rows - n) * 0.5));
  const auto nearest = [n](int32_t k, int32_t side) {
    return side == 1 ? 0 : static_cast<int32_t>(std::lrint(static_cast<double>(k) * (n - 1) / (side - 1)));
  };
  for (int32_t y = 0; y < height; ++y) {
    const int32_t j = dy + nearest(y, height);
    for (int32_t x = 0; x < width; ++x) {
      const std::size_t cell = map.at(dx + nearest(x, width), j);
      if (!inside(map, cell)) continue;
      double value = none;
      switch (view) {
        case QualityView::modulation:
          value = map.modulation[cell];
          break;
        case QualityView::fit_residual:
          value = std::isfinite(map.fit_residual[cell]) ? map.fit_residual[cell] : none;
          break;
        case QualityView::reached:
          value = static_cast<CellState>(map.state[cell]) == CellState::valid ? 1.0 : 0.0;
          break;
      }
      out[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] = value;
    }
  }
}
