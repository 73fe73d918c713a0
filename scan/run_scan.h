// The driver the workbench uses: one image file in, one profile file out.
#pragma once

// referenceFile may be null. No result: every step's outcome is ignored. The
// profile is a working file of the chain: replaced whole, not waited for on
// the disk (common/replace_file.h).
void run_scan(const char* imageFile, const char* referenceFile,
              const char* iniFile, const char* section, const char* profileFile);
