// The scan parameters a missing parameter file gives: the defaults the
// parameter file's keys fall back to, as numbers.
#pragma once

#include <string>

#include "private_profile.h"
#include "scan.h"

inline constexpr ScnPar kDefaultScnPar{2, 16, 10.0, 0.01, 0.01, 30.0, 3.5, 0.0, 0.0, -10.0};

// scn_LoadPar on a parameter file's text held in memory (the chain in memory
// reads its settings so): the same keys, defaults and number scanning.
void load_scan_par(ScnPar* par, const ProfileFileText& file, const char* section);

// scn_SavePar on a parameter file's text held in memory: the text the file
// holding `text` would hold after it (the same keys, number texts and lines
// kept). Nothing changes where scn_SavePar would write nothing.
void save_scan_par(const ScnPar* par, std::string& text, const char* section);
