#include "runs/quality_check.h"

#include "common/errors.h"

namespace {

// A grid without cells is no profile: its callers say so in their own words.
bool no_cells(const ScnMatrix& profile) { return profile.values == nullptr || profile.cols < 1 || profile.rows < 1; }

}  // namespace

void refuse_without_fringes(const QualityMap& map, const std::string& name) {
  if (const std::string why = no_fringes_refusal(map); !why.empty()) throw MeasurementRefused(name + ": " + why);
}

void refuse_too_little(const QualityMap& map, double min_valid, const std::string& name) {
  if (const std::string why = too_little_refusal(count_cells(map), min_valid); !why.empty())
    throw MeasurementRefused(name + ": " + why);
}

ScanEngine::Outcome checked_engine_scan(ScanEngine& engine, GreyImage& picture, const ScnPar& par,
                                        GreyImage* reference, QualityCheck* check, const std::string& name) {
  // The engine takes 8-bit pictures only: another it refuses by itself.
  if (check == nullptr || picture.type != 1) return engine.scan(picture, par, reference);
  check->carrier->measure(picture, par, check->map);
  refuse_without_fringes(check->map, name);
  const ScanEngine::Outcome outcome = engine.scan(picture, par, reference);
  if (outcome != ScanEngine::Outcome::scanned) return outcome;
  mark_cells(check->map, engine.profile(), par.DepthLimit);
  if (no_cells(engine.profile())) return outcome;
  refuse_too_little(check->map, check->least_valid(), name);
  return outcome;
}

void checked_method_profile(MethodEngine& engine, std::span<const GreyImage* const> frames, const MethodPlan& plan,
                            const ScnPar& par, ScnMatrix& profile, QualityCheck* check, const std::string& name) {
  if (check == nullptr) {
    engine.profile(frames, plan, par, profile);
    return;
  }
  engine.profile(frames, plan, par, profile, &check->map);
  if (no_cells(profile)) return;
  refuse_without_fringes(check->map, name);
  refuse_too_little(check->map, check->least_valid(), name);
}

void checked_pinhole_profile(MethodEngine& engine, std::span<const GreyImage* const> frames, const MethodPlan& plan,
                             const ScnPar& par, const ScnMatrix& profile, QualityCheck* check, const std::string& name) {
  if (check == nullptr) return;
  GridGuard telecentric;
  engine.profile(frames, plan, par, telecentric.grid, &check->map);
  refuse_without_fringes(check->map, name);
  if (no_cells(profile)) return;
  mark_cells(check->map, profile, par.DepthLimit);
  refuse_too_little(check->map, check->least_valid(), name);
}

