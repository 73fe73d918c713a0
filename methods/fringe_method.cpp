#include "methods/fringe_method.h"

#include <cctype>
#include <cstring>

const char* fringe_method_name(FringeMethod method) {
  switch (method) {
    case FringeMethod::phase_shift:
      return "phase-shift";
    case FringeMethod::fourier:
      return "fourier";
    case FringeMethod::quadrature:
      break;
  }
  return "quadrature";
}

bool parse_fringe_method(const std::string& name, FringeMethod& method) {
  // Method files have always been read without regard to case ("Fourier"
  // measured); the options take a name as the files do.
  const auto same = [&name](const char* known) {
    const std::size_t length = std::strlen(known);
    if (name.size() != length) return false;
    for (std::size_t i = 0; i < length; ++i)
      if (std::tolower(static_cast<unsigned char>(name[i])) != known[i]) return false;
    return true;
  };
  for (const FringeMethod m : {FringeMethod::quadrature, FringeMethod::phase_shift, FringeMethod::fourier}) {
    if (same(fringe_method_name(m))) {
      method = m;
      return true;
    }
  }
  return false;
}

int plan_frame_count(const MethodPlan& plan) {
  if (plan.method != FringeMethod::phase_shift) return 1;
  return plan.steps * static_cast<int>(plan.periods.size());
}

std::string frame_count_refusal(const MethodPlan& plan, std::size_t given) {
  const auto expected = static_cast<std::size_t>(plan_frame_count(plan));
  if (given == expected) return "";
  return "the " + std::string(fringe_method_name(plan.method)) + " method with " +
         (plan.method == FringeMethod::phase_shift
              ? std::to_string(plan.steps) + " steps and " + std::to_string(plan.periods.size()) +
                    (plan.periods.size() == 1 ? " period" : " periods")
              : std::string("one frame")) +
         " takes " + std::to_string(expected) + (expected == 1 ? " frame" : " frames") + ", " +
         std::to_string(given) + " given";
}
