// The profile text file: grid size, spacing and one height per line.
#pragma once

#include "common/replace_file.h"
#include "scn_matrix.h"

// Writes "cols rows", "xStep yStep" (mm, six decimals) and then one height
// per line (mm, six decimals), all columns of row 0 first. The file is
// replaced whole (see common/replace_file.h, also for the durability): a file
// that cannot be written, or a write that fails, leaves any earlier file as
// it was. Nothing is reported.
void save_profile(const ScnMatrix& profile, const char* fileName, Durability durability = Durability::synced);
