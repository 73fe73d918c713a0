#include "analysis/keratoconus_indices.h"

#include <cmath>
#include <numbers>

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

IndexCategory by_cut_offs(double value, double suspect, double keratoconus) {
  if (value > keratoconus) return IndexCategory::keratoconus;
  if (value >= suspect) return IndexCategory::suspect;
  return IndexCategory::normal;
}

double at_polar(const PowerAt& axial, double r, double deg) {
  return axial(r * std::cos(deg * kDegree), r * std::sin(deg * kDegree));
}

// The mean axial power along the semi-meridian at `deg`, 0.5 .. 3 mm out.
double semi_meridian(const PowerAt& axial, double deg) {
  double sum = 0.0;
  int n = 0;
  for (double r = 0.5; r <= kISRadius + 1e-9; r += 0.25, ++n) sum += at_polar(axial, r, deg);
  return sum / n;
}

// The steepest semi-meridian in [from, from + 180) degrees, whole degrees
// refined by a parabola through the best and its two neighbours.
double steepest_axis(const PowerAt& axial, int from) {
  double power[182];
  for (int k = 0; k < 182; ++k) power[k] = semi_meridian(axial, from - 1 + k);
  int best = 1;
  for (int k = 1; k <= 180; ++k)
    if (power[k] > power[best]) best = k;
  const double a = power[best - 1], b = power[best], c = power[best + 1];
  const double bend = a - 2.0 * b + c;
  const double shift = bend < 0.0 ? 0.5 * (a - c) / bend : 0.0;
  return from - 1 + best + shift;
}

}  // namespace

const char* index_category_name(IndexCategory category, bool srax) {
  switch (category) {
    case IndexCategory::normal: return "normal";
    case IndexCategory::suspect: return "suspect";
    case IndexCategory::keratoconus: return srax ? "abnormal" : "keratoconus";
  }
  return "";
}

IndexCategory central_k_category(double k) { return by_cut_offs(k, kCentralKSuspect, kCentralKKeratoconus); }
IndexCategory i_s_category(double i_s) { return by_cut_offs(i_s, kISSuspect, kISKeratoconus); }
IndexCategory srax_category(double srax) {
  return srax > kSraxAbnormal ? IndexCategory::keratoconus : IndexCategory::normal;
}
IndexCategory kisa_category(double kisa) { return by_cut_offs(kisa, kKisaSuspect, kKisaKeratoconus); }

std::optional<KeratoconusIndices> keratoconus_indices(const PowerAt& axial, double ast, std::string* why_not,
                                                      const PowerAt* meridians) {
  KeratoconusIndices k;
  // Central K: rings of equal width, each weighted by its radius.
  double sum = 0.0, weight = 0.0;
  for (int ring = 0; ring < 6; ++ring) {
    const double r = 0.125 + 0.25 * ring;
    for (int p = 0; p < 36; ++p) {
      sum += r * at_polar(axial, r, 10.0 * p);
      weight += r;
    }
  }
  k.central_k_D = sum / weight;
  double inferior = 0.0, superior = 0.0;
  for (int p = 0; p < 5; ++p) {
    inferior += at_polar(axial, kISRadius, 210.0 + 30.0 * p);
    superior += at_polar(axial, kISRadius, 30.0 + 30.0 * p);
  }
  k.i_s_D = (inferior - superior) / 5.0;
  const PowerAt& skewed = meridians != nullptr ? *meridians : axial;
  const double up = steepest_axis(skewed, 0), down = steepest_axis(skewed, 180);
  // The two axes as lines: 0 when the lower one continues the upper one.
  double skew = std::fmod(std::abs(down - up - 180.0), 360.0);
  if (skew > 180.0) skew = 360.0 - skew;
  k.srax_deg = skew;
  k.ast_D = ast;
  k.kisa_percent = k.central_k_D * k.i_s_D * k.ast_D * k.srax_deg * 100.0 / 300.0;
  if (!std::isfinite(k.central_k_D) || !std::isfinite(k.i_s_D) || !std::isfinite(k.srax_deg) ||
      !std::isfinite(k.kisa_percent)) {
    if (why_not != nullptr) *why_not = "the axial map does not reach 3 mm from the centre";
    return std::nullopt;
  }
  k.central_k_category = central_k_category(k.central_k_D);
  k.i_s_category = i_s_category(k.i_s_D);
  k.srax_category = srax_category(k.srax_deg);
  k.kisa_category = kisa_category(k.kisa_percent);
  return k;
}
