// The scan parameters a missing parameter file gives: the defaults the
// parameter file's keys fall back to, as numbers.
#pragma once

#include "scan.h"

inline constexpr ScnPar kDefaultScnPar{2, 16, 10.0, 0.01, 0.01, 30.0, 3.5, 0.0, 0.0, -10.0};
