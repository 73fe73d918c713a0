// Heights by triangulation and their reduction to a grid by quadric fits.
//
// Heights are in mm. A height that is not usable (no phase, not finite, or
// beyond the range of a 32-bit float) is stored as the no-data height, the
// 32-bit float nearest to the effective DepthLimit.
#pragma once

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "grey_image.h"
#include "scn_context.h"
#include "scn_matrix.h"

// The no-data height used when DepthLimit itself is unusable.
constexpr double kFallbackDepthLimit = -10.0;

// DepthLimit when it is a finite value that a 32-bit float can hold, else
// kFallbackDepthLimit: a NaN limit would let no height through and write NaN
// for every point, an infinite one would write infinities.
double effective_depth_limit(double depthLimit);

// A computed height as stored in a grid: the nearest float, or `noData` for a
// NaN, an infinity or a value beyond the float range.
inline float stored_height(double height, float noData) {
  return std::fabs(height) <= static_cast<double>(FLT_MAX) ? static_cast<float>(height) : noData;
}

// Absolute heights against a straight pattern of period LambdaF whose phase is
// zero at column width div 2. `phase` is the 16-bit unwrapped phase plane;
// `full` must already have the plane's size (only the common part is written).
void height_map(ScnMatrix& full, const GreyImage* phase, const ScnPar& par);
// Reduces each s x s block of `full` to the constant term of a least-squares
// quadric, the fitted height at the block centre, and writes every point of
// `out` (points beyond the blocks of `full`, blocks with fewer than 6 heights
// above the limit and degenerate blocks get the no-data height). Returns 0,
// or 1 when the design matrix cannot be allocated (then `out` is unchanged).
int block_fit(const ScnMatrix& full, ScnMatrix& out, int32_t s, double limit);
// Householder least squares on an n x (m + 1) row-major matrix `a` (right-hand
// side in column m), in place. Returns 1 with the solution in column m of rows
// 0..m-1, or 0 for a degenerate design or n < m.
int solve_least_squares(double* a, int32_t n, int32_t m);

// The Householder triangularisation of one fixed design, kept so that many
// right-hand sides can be solved without repeating it.
struct LeastSquaresPlan {
  static constexpr int32_t kMaxRows = 16;
  static constexpr int32_t kMaxCoefficients = 6;
  int32_t n;
  int32_t m;
  double v[kMaxCoefficients][kMaxRows];           // reflection i in rows i..n-1
  double beta[kMaxCoefficients];                  // its scale factor
  double r[kMaxCoefficients][kMaxCoefficients];   // triangle, r[i][i] = d of step i
};
// Triangularises columns 0..m-1 of the n x (m + 1) row-major matrix `a` (its
// column m is ignored, `a` is not changed). Returns 1, or 0 for a degenerate
// design, n < m, or sizes beyond the plan's room.
int plan_least_squares(LeastSquaresPlan& plan, const double* a, int32_t n, int32_t m);
// Applies to the right-hand side `b` (n values) exactly the operations that
// solve_least_squares applies to column m, so the m coefficients left in
// b[0..m-1] equal the plain solver's bit for bit.
void solve_with_plan(const LeastSquaresPlan& plan, double* b);
// The last coefficient for kPlanLanes right-hand sides side by side,
// b[row][lane]: each lane gets exactly the operations solve_with_plan gives
// it, so b[m - 1][lane] is its value bit for bit (the other rows of b are
// left unspecified); the lanes' sums run in parallel instead of waiting on
// one another. The plain definition takes one lane at a time.
constexpr int32_t kPlanLanes = 8;
void solve_last_with_plan_lanes(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]);
void solve_last_with_plan_plain(const LeastSquaresPlan& plan, double (*b)[kPlanLanes]);

// block_fit band by band: the blocks of one band of s grid rows at a time,
// so that a caller can make the heights of a band just before they are fitted
// instead of holding the whole grid. Every block gets exactly the operations
// block_fit gives it; blocks with all their points are solved kPlanLanes at a
// time, so a result may be written only by a later fit_band or by finish().
class BlockFitter {
 public:
  // s x s blocks, `across` blocks per band (0: no block is fitted).
  BlockFitter(int32_t s, double limit, int32_t across);
  ~BlockFitter();
  BlockFitter(const BlockFitter&) = delete;
  BlockFitter& operator=(const BlockFitter&) = delete;
  // False when the design matrix could not be allocated.
  bool ready() const { return ready_; }
  // rows[0..s-1]: the band's heights, across * s values each. Writes the
  // block heights of target[0..cols-1] (no data beyond `across`).
  void fit_band(const float* const* rows, float* target, int32_t cols);
  // A band beyond the grid: no data.
  void skip_band(float* target, int32_t cols);
  // Solves the blocks still waiting.
  void finish();

  // Blocks with every point, waiting to be solved together with the plan.
  struct Batch {
    double b[LeastSquaresPlan::kMaxRows][kPlanLanes];
    float* target[kPlanLanes];
    int32_t count = 0;
  };

 private:
  int32_t s_;
  int32_t across_;
  float noData_;
  bool fitting_;
  double c_;
  bool ready_ = false;
  bool planned_ = false;
  double* design_ = nullptr;
  // For 4 x 4 blocks: 1 for each height of the band's rows that takes part.
  uint8_t* usable_ = nullptr;
  LeastSquaresPlan plan_{};
  Batch batch_;
  // Plans of 4 x 4 blocks with some heights missing, by the mask of the
  // heights they have (bit l * 4 + m): along the edge of a measured area the
  // same few masks come again and again. Made at the first such block.
  struct MaskedPlan {
    int32_t mask = -1;
    bool solvable = false;
    LeastSquaresPlan plan;
  };
  static constexpr int32_t kMaskedPlanBits = 6;
  static constexpr int32_t kMaskedPlans = 1 << kMaskedPlanBits;
  MaskedPlan* masked_ = nullptr;
  float fit_masked(const ScnMatrix& band, int32_t x0, int usable);
};

// Heights of row y of the phase plane (cols values): absolute ones as
// height_map gives them with `reference` null, else relative to the
// reference phase (a reference plane of another kind or size gives no data).
struct HeightRow {
  HeightRow(const ScnPar& par, const GreyImage* phase, const GreyImage* reference);
  void operator()(int32_t y, float* out, int32_t cols) const;

 private:
  const GreyImage* phase_;
  const GreyImage* reference_;
  bool with_reference_;
  bool usable_;
  float noData_;
  double k_;
  double lambda_;
  int32_t centre_;
};

// The whole calculation on the context: replaces context.profile by a grid of
// (width div 4) x (height div 4) heights. A context without a phase plane is
// left alone; when memory runs out the profile is left empty (0 x 0).
void calculate_profile(ScnContext& context, int32_t withReference);
