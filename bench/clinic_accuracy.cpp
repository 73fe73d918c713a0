// The clinical figures against the truth, as a bench rather than a test (it
// takes minutes): noise-free default pictures of random biconics carrying a
// random cone (height 2..20 microns, sigma 0.5..2 mm, centre within 2.5 mm of
// the apex), measured by the default chain; each draw's I-S, SRAX, KISA%,
// higher-order RMS and Z(4, 0) over a 6 mm pupil against those of the exact
// surface (runs/true_figures.h). The counters are the worst of the draws
// (KISA% relative to the truth's, over the draws whose true KISA% is at
// least 1), and how many draws the measured categories of I-S and KISA%
// matched. FRINGE_DRAWS sets the number of draws (50 by default).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "runs/measurement.h"
#include "runs/true_figures.h"
#include "settings/channel_settings.h"
#include "settings/surface_settings.h"

namespace {

void clinical_figures_against_the_truth(benchmark::State& state) {
  const char* draws_text = std::getenv("FRINGE_DRAWS");
  const int draws = draws_text != nullptr ? std::max(1, std::atoi(draws_text)) : 50;
  const ChannelSettingsTexts texts;
  for (auto _ : state) {
    std::mt19937_64 random(2026);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const auto between = [&](double a, double b) { return a + (b - a) * unit(random); };
    double worst_is = 0.0, worst_srax = 0.0, worst_kisa = 0.0, worst_hoa = 0.0, worst_z40 = 0.0;
    int is_match = 0, kisa_match = 0, made = 0;
    MeasurementContext context;
    for (int d = 0; d < draws; ++d) {
      Surface s{.model = SurfaceModel::biconic};
      s.rx = between(7.2, 8.2);
      s.ry = s.rx + between(0.1, 0.5);
      s.axis_deg = between(0.0, 180.0);
      s.q = between(-0.5, 0.1);
      const double r = 2.5 * std::sqrt(unit(random)), t = between(0.0, 2.0 * 3.141592653589793);
      s.cones = {Cone{between(2.0, 20.0), r * std::cos(t), r * std::sin(t), between(0.5, 2.0)}};
      MeasurementSettings settings;
      settings.scan = scan_settings_lines(texts);
      settings.image = image_settings_lines(texts);
      settings.surface = surface_settings_lines(s);
      const Measurement m = measure(settings, context);
      const SurfaceFigures f =
          surface_figures({m.maps.measured_map, m.maps.sphere_map, m.maps.profile.field_x, m.mask_radius});
      const TrueFigures truth = true_figures(m.params, m.maps.measured_map, m.maps.profile.field_x, m.mask_radius);
      if (!f.indices || !truth.indices || !f.aberrations || !truth.aberrations) {
        std::printf("draw %d: no figures (%s / %s)\n", d, f.indices_note.c_str(), truth.indices_note.c_str());
        continue;
      }
      ++made;
      const KeratoconusIndices &a = *f.indices, &b = *truth.indices;
      worst_is = std::max(worst_is, std::abs(a.i_s_D - b.i_s_D));
      worst_srax = std::max(worst_srax, std::abs(a.srax_deg - b.srax_deg));
      if (std::abs(b.kisa_percent) >= 1.0)
        worst_kisa = std::max(worst_kisa, std::abs(a.kisa_percent - b.kisa_percent) / std::abs(b.kisa_percent));
      worst_hoa = std::max(worst_hoa, std::abs(f.aberrations->higher_order_rms_um - truth.aberrations->higher_order_rms_um));
      worst_z40 = std::max(worst_z40, std::abs(f.aberrations->spherical_um - truth.aberrations->spherical_um));
      is_match += a.i_s_category == b.i_s_category;
      kisa_match += a.kisa_category == b.kisa_category;
      std::printf("draw %2d: %s | I-S %.3f/%.3f SRAX %.2f/%.2f KISA %.2f/%.2f HOA %.4f/%.4f Z40 %.4f/%.4f\n", d,
                  surface_summary(s).c_str(), a.i_s_D, b.i_s_D, a.srax_deg, b.srax_deg, a.kisa_percent,
                  b.kisa_percent, f.aberrations->higher_order_rms_um, truth.aberrations->higher_order_rms_um,
                  f.aberrations->spherical_um, truth.aberrations->spherical_um);
    }
    state.counters["draws"] = made;
    state.counters["worst_IS_D"] = worst_is;
    state.counters["worst_SRAX_deg"] = worst_srax;
    state.counters["worst_KISA_rel"] = worst_kisa;
    state.counters["worst_HOA_um"] = worst_hoa;
    state.counters["worst_Z40_um"] = worst_z40;
    state.counters["IS_category_match"] = is_match;
    state.counters["KISA_category_match"] = kisa_match;
  }
}
BENCHMARK(clinical_figures_against_the_truth)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
