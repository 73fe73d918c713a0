// The profile text file: grid size, spacing and one height per line.
#pragma once

#include "scn_matrix.h"

// Writes the profile; a file that cannot be opened is silently skipped.
void save_profile(const ScnMatrix& profile, const char* fileName);
