// The engine's files keep the point under a caller's comma locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

#include "scan.h"
#include "temp_dir.h"

namespace {

TEST(ClassicNumbers, ParameterAndProfileFilesUseThePointUnderACommaLocale) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no comma locale here";
  TempDir dir;
  write_file_bytes("scan.ini", "[ScanParameter]\r\nCamResX=0.02\r\nLambdaF=12.5\r\n");
  ScnPar par{};
  scn_LoadPar(&par, "scan.ini", "ScanParameter");
  EXPECT_EQ(par.CamResX, 0.02);
  EXPECT_EQ(par.LambdaF, 12.5);
  scn_SavePar(&par, "saved.ini", "ScanParameter");
  EXPECT_NE(read_file_bytes("saved.ini").find("LambdaF=12.500000"), std::string::npos);

  ScnHandle handle = scn_Init();
  scn_SaveProfile(handle, "profile.txt");
  EXPECT_EQ(read_file_bytes("profile.txt"), "0 0\n0.000000 0.000000\n");
  scn_Exit(handle);

  char text[8];
  std::snprintf(text, sizeof text, "%.1f", 0.5);
  EXPECT_STREQ(text, "0,5") << "the caller's locale is back";
  std::setlocale(LC_ALL, "C");
}

}  // namespace
