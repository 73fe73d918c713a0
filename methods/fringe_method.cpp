#include "methods/fringe_method.h"

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
  for (const FringeMethod m : {FringeMethod::quadrature, FringeMethod::phase_shift, FringeMethod::fourier}) {
    if (name == fringe_method_name(m)) {
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
