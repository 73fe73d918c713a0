#include "methods/measured_steps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

double wrapped(double angle) {
  double r = std::remainder(angle, kTwoPi);
  if (r <= -std::numbers::pi) r += kTwoPi;
  return r;
}

// The pixels the pass visits, on rows spread evenly over the frames: some
// 16384 (a row in 80 of a 1280 x 1024 set), fewer for many steps, whose n^2
// products a pixel cost more and whose n samples a pixel tell more. The
// steps' standard errors stay near a thousandth of a radian at the noise
// control's middle, and the check costs a fraction of the measurement.
constexpr double kPixelBudget = 16384.0;
constexpr double kLeastPixels = 4096.0;
// The alternating fit (each frame's step from the others' pixels) brings the
// plan's steps near the frames'; Newton steps on the fit's energy then find
// its optimum.
constexpr int kStartIterations = 20;
constexpr int kMostNewtonSteps = 50;
constexpr double kSettled = 1e-10;  // rad

// The visited rows' samples less each pixel's mean over the frames (J_k),
// which pixels are modulated, and sums over the modulated pixels:
// gram[j n + k] = sum J_j J_k. For 3 or 4 frames, each frame's own analytic
// signal along the rows besides (along_rows): row[k] = sum z_k conj(z_0),
// energy[k] = sum |z_k|^2.
struct FrameProducts {
  std::size_t n = 0;
  std::size_t width = 0;
  std::size_t rows = 0;
  std::vector<double> centred;     // row r, frame k, column x at (r n + k) width + x
  std::vector<uint8_t> modulated;  // row r, column x at r width + x
  std::vector<double> gram;
  std::vector<std::complex<double>> row;
  std::vector<double> energy;
  bool along_rows = false;  // whether row and energy hold sums
  std::size_t cells = 0;
};

void read_row(const GreyImage& frame, int32_t y, double* out, double& largest) {
  const uint8_t* row = img_line(&frame, y);
  const auto width = static_cast<std::size_t>(frame.width);
  if (frame.type == 2) {
    uint16_t top = 0;
    for (std::size_t x = 0; x < width; ++x) {
      uint16_t value;  // machine order, as the methods read it
      std::memcpy(&value, row + 2 * x, sizeof value);
      out[x] = value;
      top = std::max(top, value);
    }
    largest = std::max(largest, static_cast<double>(top));
  } else {
    for (std::size_t x = 0; x < width; ++x) out[x] = row[x];
    largest = std::max(largest, static_cast<double>(*std::max_element(row, row + width)));
  }
}

void add_signals(FrameProducts& p, const std::vector<std::complex<double>>& z) {
  for (std::size_t k = 0; k < p.n; ++k) {
    p.row[k] += z[k] * std::conj(z[0]);
    p.energy[k] += std::norm(z[k]);
  }
}

// One row's analytic signals (3 or 4 frames of a period an eighth of the row
// or less): over windows of two periods, weighted as a triangle (one
// period's sum summed over a period), the sum of J_k exp(-i carrier) holds
// the first order alone, as the background, the other order and the
// harmonics of whole periods sum to nothing, and fringes the surface bends a
// little off those frequencies leak little.
void row_signals(FrameProducts& p, const double* centred, const uint8_t* modulated, double period,
                 const std::vector<std::complex<double>>& turn_back) {
  const std::size_t n = p.n, w = p.width;
  std::vector<std::complex<double>> z(n);
  const auto box = static_cast<std::size_t>(std::nearbyint(period));
  std::vector<std::complex<double>> once(n), ring(n * box);
  std::size_t dark = 0;  // unmodulated pixels in the window
  for (std::size_t x = 0; x < w; ++x) {
    const std::size_t slot = x % box;
    const std::complex<double> back = turn_back[x];
    const std::complex<double> back_out = x >= box ? turn_back[x - box] : 0.0;
    for (std::size_t k = 0; k < n; ++k) {
      once[k] += centred[k * w + x] * back;
      if (x >= box) once[k] -= centred[k * w + x - box] * back_out;
      z[k] += once[k] - ring[k * box + slot];
      ring[k * box + slot] = once[k];
    }
    dark += modulated[x] ? 0 : 1;
    if (x + 1 >= 2 * box) dark -= modulated[x + 1 - 2 * box] ? 0 : 1;
    if (x + 2 >= 2 * box && dark == 0) add_signals(p, z);
  }
}

FrameProducts frame_products(std::span<const GreyImage* const> frames, double period) {
  FrameProducts p;
  p.n = frames.size();
  const std::size_t n = p.n;
  const int32_t width = frames[0]->width, height = frames[0]->height;
  const double pixels = std::max(kLeastPixels, kPixelBudget * std::min(1.0, 64.0 / static_cast<double>(n * n)));
  const auto stride = static_cast<int32_t>(std::max(1.0, std::floor(static_cast<double>(width) * height / pixels)));
  const int32_t first_row = (height - 1) % stride / 2;  // the rows centred on the frame
  const auto w = static_cast<std::size_t>(width);
  p.width = w;
  // Windows of two periods fit four times into a row.
  p.along_rows = n <= 4 && period <= static_cast<double>(width) / 8.0;
  p.rows = static_cast<std::size_t>((height - 1 - first_row) / stride + 1);
  p.centred.resize(p.rows * n * w);
  p.modulated.resize(p.rows * w);

  // The methods' rule for dark or flat pixels: 1 % of the largest sample.
  double largest = 0.0;
  for (std::size_t r = 0; r < p.rows; ++r)
    for (std::size_t k = 0; k < n; ++k)
      read_row(*frames[k], first_row + static_cast<int32_t>(r) * stride, p.centred.data() + (r * n + k) * w, largest);
  const double least = 0.01 * largest;

  // exp(-i carrier) of each column, for the analytic signals.
  std::vector<std::complex<double>> turn_back(p.along_rows ? w : 0);
  for (std::size_t x = 0; x < turn_back.size(); ++x)
    turn_back[x] = std::polar(1.0, -kTwoPi * static_cast<double>(x) / period);
  p.gram.assign(n * n, 0.0);
  p.row.assign(n, 0.0);
  p.energy.assign(n, 0.0);
  std::vector<double> here(n);
  for (std::size_t r = 0; r < p.rows; ++r) {
    double* const centred = p.centred.data() + r * n * w;
    uint8_t* const modulated = p.modulated.data() + r * w;
    for (std::size_t x = 0; x < w; ++x) {
      double mean = 0.0;
      for (std::size_t k = 0; k < n; ++k) mean += centred[k * w + x];
      mean /= static_cast<double>(n);
      double squares = 0.0;
      for (std::size_t k = 0; k < n; ++k) {
        here[k] = centred[k * w + x] -= mean;
        squares += here[k] * here[k];
      }
      const double modulation = std::sqrt(2.0 * squares / static_cast<double>(n));
      modulated[x] = modulation > 0.0 && modulation >= least;
      if (!modulated[x]) continue;
      ++p.cells;
      for (std::size_t j = 0; j < n; ++j) {
        double* g = p.gram.data() + j * n;
        for (std::size_t k = j; k < n; ++k) g[k] += here[j] * here[k];
      }
    }
    if (p.along_rows) row_signals(p, centred, modulated, period, turn_back);
  }
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t k = 0; k < j; ++k) p.gram[j * n + k] = p.gram[k * n + j];
  return p;
}

using Matrix3 = std::array<std::array<double, 3>, 3>;

// The inverse of a symmetric 3 x 3 matrix; false when it is singular.
bool inverse(const Matrix3& a, Matrix3& out) {
  out[0][0] = a[1][1] * a[2][2] - a[1][2] * a[2][1];
  out[0][1] = a[0][2] * a[2][1] - a[0][1] * a[2][2];
  out[0][2] = a[0][1] * a[1][2] - a[0][2] * a[1][1];
  out[1][1] = a[0][0] * a[2][2] - a[0][2] * a[2][0];
  out[1][2] = a[0][2] * a[1][0] - a[0][0] * a[1][2];
  out[2][2] = a[0][0] * a[1][1] - a[0][1] * a[1][0];
  out[1][0] = out[0][1];
  out[2][0] = out[0][2];
  out[2][1] = out[1][2];
  const double det = a[0][0] * out[0][0] + a[0][1] * out[1][0] + a[0][2] * out[2][0];
  const double scale = std::fabs(a[0][0]) + std::fabs(a[1][1]) + std::fabs(a[2][2]);
  if (!(std::fabs(det) > 1e-12 * scale * scale * scale)) return false;
  for (auto& row : out)
    for (double& v : row) v /= det;
  return true;
}

// The pixels' least-squares fit A + u cos(d_k) + v sin(d_k) over the frames
// other than `skip` (none: n): fit[a][k], a = A, u, v, the weights of frame
// k's sample (0 for `skip`). False when the steps leave it singular.
bool pixel_fit(const std::vector<double>& d, std::size_t skip, std::vector<std::array<double, 3>>& fit) {
  const std::size_t n = d.size();
  Matrix3 normal{};
  for (std::size_t k = 0; k < n; ++k) {
    if (k == skip) continue;
    const double row[3] = {1.0, std::cos(d[k]), std::sin(d[k])};
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) normal[a][b] += row[a] * row[b];
  }
  Matrix3 inv;
  if (!inverse(normal, inv)) return false;
  fit.assign(n, {0.0, 0.0, 0.0});
  for (std::size_t k = 0; k < n; ++k) {
    if (k == skip) continue;
    const double row[3] = {1.0, std::cos(d[k]), std::sin(d[k])};
    for (int a = 0; a < 3; ++a) fit[k][a] = inv[a][0] * row[0] + inv[a][1] * row[1] + inv[a][2] * row[2];
  }
  return true;
}

// One frame's step from the others' fit: its samples less the fitted
// background, regressed on u and v over the pixels.
struct FrameFit {
  double c = 0.0, s = 0.0;        // amplitude times cos and sin of the step
  double uu = 0.0, uv = 0.0, vv = 0.0;  // the regression's normal matrix
};

bool frame_fit(const FrameProducts& p, const std::vector<double>& d, std::size_t k, FrameFit& out) {
  const std::size_t n = p.n;
  std::vector<std::array<double, 3>> fit;
  if (!pixel_fit(d, k, fit)) return false;
  // G W^T (n x 3), then T = W G W^T and r = W G e_k.
  std::vector<std::array<double, 3>> gw(n, {0.0, 0.0, 0.0});
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t i = 0; i < n; ++i) {
      const double g = p.gram[j * n + i];
      for (int a = 0; a < 3; ++a) gw[j][a] += g * fit[i][a];
    }
  Matrix3 t{};
  for (std::size_t j = 0; j < n; ++j)
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) t[a][b] += fit[j][a] * gw[j][b];
  const double r_u = gw[k][1], r_v = gw[k][2];  // sum u J_k, sum v J_k
  out.uu = t[1][1];
  out.uv = t[1][2];
  out.vv = t[2][2];
  const double b_u = r_u - t[1][0], b_v = r_v - t[2][0];
  const double det = out.uu * out.vv - out.uv * out.uv;
  if (!(det > 1e-12 * (out.uu + out.vv) * (out.uu + out.vv))) return false;
  out.c = (out.vv * b_u - out.uv * b_v) / det;
  out.s = (out.uu * b_v - out.uv * b_u) / det;
  return true;
}

// The sense in which the fit's phase runs along the rows: the sum over
// neighbours of the imaginary part of w(x + 1) conj(w(x)), w = u - i v the
// pixel's B exp(i phi).
double row_sense(const FrameProducts& p, const std::vector<double>& d) {
  std::vector<std::array<double, 3>> fit;
  if (!pixel_fit(d, d.size(), fit)) return 0.0;
  const std::size_t n = p.n, w = p.width;
  double sum = 0.0;
  for (std::size_t r = 0; r < p.rows; ++r) {
    const double* centred = p.centred.data() + r * n * w;
    const uint8_t* modulated = p.modulated.data() + r * w;
    double u_left = 0.0, v_left = 0.0;
    for (std::size_t x = 0; x < w; ++x) {
      double u = 0.0, v = 0.0;
      if (modulated[x])
        for (std::size_t k = 0; k < n; ++k) {
          u += fit[k][1] * centred[k * w + x];
          v += fit[k][2] * centred[k * w + x];
        }
      // Im(w(x) conj(w(x - 1))) where both are modulated (u, v 0 elsewhere).
      if (x > 0 && modulated[x - 1]) sum += u * v_left - v * u_left;
      u_left = u;
      v_left = v;
    }
  }
  return sum;
}

// The energy the pixels' model takes from the frames at steps d, F =
// trace((Phi' Phi)^-1 Phi' G Phi) with Phi's rows (1, cos d_k, sin d_k), and
// its gradient in d_1 .. d_n-1 (d_0 stays): the fit leaves trace(G) - F, so
// the steps that fit best are those of the largest F.
bool model_energy(const FrameProducts& p, const std::vector<double>& d, double& energy, double* gradient) {
  const std::size_t n = p.n;
  std::vector<std::array<double, 3>> phi(n), g(n, {0.0, 0.0, 0.0});
  Matrix3 normal{};
  for (std::size_t k = 0; k < n; ++k) {
    phi[k] = {1.0, std::cos(d[k]), std::sin(d[k])};
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) normal[a][b] += phi[k][a] * phi[k][b];
  }
  Matrix3 inv;
  if (!inverse(normal, inv)) return false;
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t j = 0; j < n; ++j) {
      const double gkj = p.gram[k * n + j];
      for (int a = 0; a < 3; ++a) g[k][a] += gkj * phi[j][a];
    }
  Matrix3 q{};
  for (std::size_t k = 0; k < n; ++k)
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) q[a][b] += phi[k][a] * g[k][b];
  energy = 0.0;
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) energy += inv[a][b] * q[b][a];
  if (gradient == nullptr) return true;
  Matrix3 iqi{};  // M^-1 Q M^-1
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b)
      for (int c = 0; c < 3; ++c)
        for (int e = 0; e < 3; ++e) iqi[a][e] += inv[a][b] * q[b][c] * inv[c][e];
  for (std::size_t k = 1; k < n; ++k) {
    const double t[3] = {0.0, -std::sin(d[k]), std::cos(d[k])};
    double sum = 0.0;
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) sum += t[a] * (inv[a][b] * g[k][b] - iqi[a][b] * phi[k][b]);
    gradient[k - 1] = 2.0 * sum;
  }
  return true;
}

// Solves a x = b in place (a: m x m, row by row) by elimination with partial
// pivoting; false when a is singular.
bool solve(std::vector<double> a, std::vector<double>& b, std::size_t m) {
  for (std::size_t c = 0; c < m; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < m; ++r)
      if (std::fabs(a[r * m + c]) > std::fabs(a[pivot * m + c])) pivot = r;
    if (!(std::fabs(a[pivot * m + c]) > 0.0)) return false;
    if (pivot != c) {
      for (std::size_t e = 0; e < m; ++e) std::swap(a[c * m + e], a[pivot * m + e]);
      std::swap(b[c], b[pivot]);
    }
    for (std::size_t r = c + 1; r < m; ++r) {
      const double f = a[r * m + c] / a[c * m + c];
      for (std::size_t e = c; e < m; ++e) a[r * m + e] -= f * a[c * m + e];
      b[r] -= f * b[c];
    }
  }
  for (std::size_t c = m; c-- > 0;) {
    for (std::size_t e = c + 1; e < m; ++e) b[c] -= a[c * m + e] * b[e];
    b[c] /= a[c * m + c];
  }
  return true;
}

// The inverse of -h (m x m).
bool inverse_of_negated(const std::vector<double>& h, std::size_t m, std::vector<double>& out) {
  std::vector<double> negated(h.size());
  for (std::size_t i = 0; i < h.size(); ++i) negated[i] = -h[i];
  out.assign(m * m, 0.0);
  for (std::size_t c = 0; c < m; ++c) {
    std::vector<double> column(m, 0.0);
    column[c] = 1.0;
    if (!solve(negated, column, m)) return false;
    for (std::size_t r = 0; r < m; ++r) out[r * m + c] = column[r];
  }
  return true;
}

// The Hessian of the energy in d_1 .. d_n-1, by differences of the gradient.
bool energy_hessian(const FrameProducts& p, const std::vector<double>& d, std::vector<double>& h) {
  const std::size_t m = p.n - 1;
  constexpr double kStep = 1e-5;  // rad
  h.assign(m * m, 0.0);
  std::vector<double> up(m), down(m), shifted = d;
  double energy = 0.0;
  for (std::size_t i = 0; i < m; ++i) {
    shifted[i + 1] = d[i + 1] + kStep;
    if (!model_energy(p, shifted, energy, up.data())) return false;
    shifted[i + 1] = d[i + 1] - kStep;
    if (!model_energy(p, shifted, energy, down.data())) return false;
    shifted[i + 1] = d[i + 1];
    for (std::size_t r = 0; r < m; ++r) h[r * m + i] = (up[r] - down[r]) / (2.0 * kStep);
  }
  for (std::size_t r = 0; r < m; ++r)
    for (std::size_t c = 0; c < r; ++c) h[r * m + c] = h[c * m + r] = 0.5 * (h[r * m + c] + h[c * m + r]);
  return true;
}

// Levenberg-Marquardt steps from d up to the largest energy; `hessian`
// holds the energy's Hessian there.
bool model_optimum(const FrameProducts& p, std::vector<double>& d, std::vector<double>& hessian) {
  const std::size_t m = p.n - 1;
  std::vector<double> gradient(m);
  double energy = 0.0;
  if (!model_energy(p, d, energy, gradient.data())) return false;
  double damping = 1e-3;
  for (int iteration = 0; iteration < kMostNewtonSteps; ++iteration) {
    if (!energy_hessian(p, d, hessian)) return false;
    bool moved = false;
    double largest_step = 0.0;
    for (int attempt = 0; attempt < 30 && !moved; ++attempt) {
      std::vector<double> a(m * m), step = gradient;
      for (std::size_t i = 0; i < m * m; ++i) a[i] = -hessian[i];
      for (std::size_t i = 0; i < m; ++i) a[i * m + i] += damping * std::max(std::fabs(hessian[i * m + i]), 1e-30);
      if (solve(a, step, m)) {
        std::vector<double> next = d;
        for (std::size_t i = 0; i < m; ++i) next[i + 1] = wrapped(d[i + 1] + step[i]);
        double next_energy = 0.0;
        std::vector<double> next_gradient(m);
        if (model_energy(p, next, next_energy, next_gradient.data()) && next_energy >= energy) {
          largest_step = 0.0;
          for (const double s : step) largest_step = std::max(largest_step, std::fabs(s));
          d = next;
          energy = next_energy;
          gradient = next_gradient;
          damping = std::max(damping / 4.0, 1e-9);
          moved = true;
          continue;
        }
      }
      damping *= 4.0;
    }
    if (!moved || largest_step < kSettled) break;
  }
  return energy_hessian(p, d, hessian);
}

std::vector<double> relative_to_median(const std::vector<double>& values) {
  std::vector<double> sorted = values;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
  const double median = sorted[sorted.size() / 2];
  std::vector<double> out(values.size(), 0.0);
  for (std::size_t k = 0; k < values.size(); ++k) out[k] = median > 0.0 ? values[k] / median : 0.0;
  return out;
}

// Three or four frames: the pixels' fit takes any three steps, and leaves
// four free to move along a curve, so each frame's own analytic signal
// tells the steps (good to some hundredths of a radian), in the rows' sense.
MeasuredSteps along_rows(const FrameProducts& p) {
  MeasuredSteps m;
  m.cells = p.cells;
  if (!(p.energy[0] > 0.0)) return m;
  m.phases.resize(p.n);
  std::vector<double> amplitude(p.n);
  for (std::size_t k = 0; k < p.n; ++k) {
    m.phases[k] = k == 0 ? 0.0 : wrapped(std::arg(p.row[k]));
    amplitude[k] = std::sqrt(p.energy[k]);
  }
  m.amplitudes = relative_to_median(amplitude);
  m.noise = std::numeric_limits<double>::quiet_NaN();
  m.errors.assign(p.n, std::numeric_limits<double>::quiet_NaN());
  m.along_rows = true;
  m.measured = true;
  return m;
}

}  // namespace


MeasuredSteps measure_phase_steps(std::span<const GreyImage* const> frames, std::span<const double> planned,
                                  double period) {
  MeasuredSteps m;
  const std::size_t n = frames.size();
  if (n < 3 || planned.size() != n || !(period > 2.0)) return m;
  const FrameProducts p = frame_products(frames, period);
  m.cells = p.cells;
  if (p.cells == 0) return m;
  if (n <= 4) {
    if (p.along_rows) return along_rows(p);
    // Fringes too coarse to follow along the rows: the plan's steps in the
    // sense the rows show, which tells a reversed set alone.
    m.phases.assign(planned.begin(), planned.end());
    if (row_sense(p, m.phases) < 0.0)
      for (double& step : m.phases) step = wrapped(-step);
    m.plan_only = true;
    m.along_rows = true;
    m.measured = true;
    m.amplitudes.assign(n, 1.0);
    m.errors.assign(n, std::numeric_limits<double>::quiet_NaN());
    m.noise = std::numeric_limits<double>::quiet_NaN();
    return m;
  }

  // The alternating fit from the plan, then the fit's own optimum.
  std::vector<double> d(planned.begin(), planned.end());
  std::vector<FrameFit> fits(n);
  for (int iteration = 0; iteration < kStartIterations; ++iteration) {
    std::vector<double> next(n);
    bool fitted = true;
    for (std::size_t k = 0; k < n && fitted; ++k) {
      fitted = frame_fit(p, d, k, fits[k]);
      next[k] = std::atan2(fits[k].s, fits[k].c);
    }
    if (!fitted) break;
    for (std::size_t k = 0; k < n; ++k) next[k] = wrapped(next[k] - next[0]);
    d = next;
  }
  std::vector<double> hessian;
  if (!model_optimum(p, d, hessian)) return m;
  double energy = 0.0;
  model_energy(p, d, energy, nullptr);
  for (std::size_t k = 0; k < n; ++k)
    if (!frame_fit(p, d, k, fits[k])) return m;

  // What the model leaves: the noise, and with it the steps' errors from the
  // curvature of the fit at its optimum (covariance 2 sigma^2 (-H)^-1).
  double total = 0.0;
  for (std::size_t k = 0; k < n; ++k) total += p.gram[k * n + k];
  const double variance = std::max(0.0, total - energy) / (static_cast<double>(p.cells) * static_cast<double>(n - 3));
  m.noise = std::sqrt(variance);
  std::vector<double> covariance;
  if (!inverse_of_negated(hessian, n - 1, covariance)) return m;
  m.errors.assign(n, 0.0);
  for (std::size_t k = 1; k < n; ++k)
    m.errors[k] = std::sqrt(std::max(0.0, 2.0 * variance * covariance[(k - 1) * (n - 1) + (k - 1)]));

  std::vector<double> amplitude(n);
  for (std::size_t k = 0; k < n; ++k) amplitude[k] = std::hypot(fits[k].c, fits[k].s);
  m.amplitudes = relative_to_median(amplitude);
  if (row_sense(p, d) < 0.0)
    for (double& step : d) step = wrapped(-step);
  m.phases = d;
  m.measured = true;
  return m;
}
