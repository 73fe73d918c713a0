// A channel's frame-set record ("./sim00_frames.ini": the method settings its
// frames were made for) on arbitrary text, as "profile" reads it before it
// reads the frames, which are pictures (the BMP, PNG and TIFF targets).
// Input: the record's bytes.
// Properties: the record gives method settings or a SettingsError naming it,
// nothing else; settings read lie in their documented ranges; the lines
// written for them read back to the same settings; their summary is made
// without fault; the plan made for them takes steps x periods frames for
// phase shifting and one otherwise, at periods coarse to fine, and names a
// file for each frame.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/errors.h"
#include "common/settings_file.h"
#include "fuzz_work_dir.h"
#include "methods/fringe_method.h"
#include "runs/channel_frames.h"
#include "settings/method_settings.h"

namespace {

constexpr char kRecord[] = "./sim00_frames.ini";
constexpr double kLambdaF = 10.0;  // the scan settings' default period
// Frame names are made for plans up to this many frames; a longer list of
// periods costs a string per frame and checks nothing new.
constexpr int kMaxNamedFrames = 256;

bool same_settings(const MethodSettings& a, const MethodSettings& b) {
  return a.method == b.method && a.steps == b.steps && a.periods == b.periods && a.errors.gamma == b.errors.gamma &&
         a.errors.blur == b.errors.blur && a.errors.bits == b.errors.bits && a.errors.ambient == b.errors.ambient;
}

void check_ranges(const MethodSettings& s) {
  if (s.steps < 3 || s.steps > 64) fuzz_fail("steps outside 3..64");
  if (s.errors.bits < 8 || s.errors.bits > 16) fuzz_fail("bits outside 8..16");
  if (s.method == FringeMethod::quadrature && s.errors.bits != 8) fuzz_fail("a quadrature set deeper than 8 bits");
  if (!(std::isfinite(s.errors.gamma) && s.errors.gamma > 0.0)) fuzz_fail("gamma not positive");
  if (!(s.errors.blur >= 0.0 && s.errors.blur <= 4096.0)) fuzz_fail("blur outside 0..4096");
  if (!(s.errors.ambient >= 0.0 && s.errors.ambient <= 254.0)) fuzz_fail("ambient outside 0..254");
  for (std::size_t k = 0; k < s.periods.size(); ++k) {
    if (!(std::isfinite(s.periods[k]) && s.periods[k] > 0.0)) fuzz_fail("a period not positive");
    if (k > 0 && !(s.periods[k] < s.periods[k - 1])) fuzz_fail("periods not coarse to fine");
  }
}

void check_plan(const MethodSettings& s) {
  const MethodPlan plan = method_plan(s, kLambdaF);
  if (plan.periods.empty()) fuzz_fail("a plan without a period");
  const long long frames = plan_frame_count(plan);
  const long long expected =
      s.method == FringeMethod::phase_shift ? static_cast<long long>(s.steps) * static_cast<long long>(plan.periods.size())
                                            : 1;
  if (frames != expected) fuzz_fail("a plan's frame count");
  if (frames <= kMaxNamedFrames &&
      frame_files(0, static_cast<int>(frames), s.errors.bits).size() != static_cast<std::size_t>(frames))
    fuzz_fail("not one file per frame");
  if (method_summary(s, kLambdaF).empty()) fuzz_fail("an empty summary");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> lines = text_lines(std::string_view(reinterpret_cast<const char*>(data), size));
  MethodSettings settings;
  try {
    settings = read_method_settings(lines, kRecord);
  } catch (const SettingsError& error) {
    if (std::string(error.what()).find("sim00_frames.ini") == std::string::npos)
      fuzz_fail("a refusal that does not name the record");
    return 0;
  }
  check_ranges(settings);
  try {
    if (!same_settings(read_method_settings(method_settings_lines(settings), kRecord), settings))
      fuzz_fail("written settings read back changed");
  } catch (const SettingsError&) {
    fuzz_fail("written settings do not read back");
  }
  check_plan(settings);
  return 0;
}
