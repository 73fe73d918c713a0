// The driver the workbench uses: one image file in, one profile file out.
#pragma once

// referenceFile may be null. No result: every step's outcome is ignored.
void run_scan(const char* imageFile, const char* referenceFile,
              const char* iniFile, const char* section, const char* profileFile);
