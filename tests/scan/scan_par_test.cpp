#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "default_par.h"
#include "private_profile.h"
#include "scan.h"
#include "temp_dir.h"

namespace {

ScnPar filled_with(double value) {
  ScnPar par;
  par.NFilt = static_cast<int32_t>(value);
  par.FlawThr = static_cast<int32_t>(value);
  par.LambdaF = par.CamResX = par.CamResY = par.Alpha = value;
  par.MaskRadius = par.MaskXOfs = par.MaskYOfs = par.DepthLimit = value;
  return par;
}

void expect_defaults(const ScnPar& par) {
  EXPECT_EQ(par.NFilt, 2);
  EXPECT_EQ(par.FlawThr, 16);
  EXPECT_EQ(par.LambdaF, 10.0);
  EXPECT_EQ(par.CamResX, 0.01);
  EXPECT_EQ(par.CamResY, 0.01);
  EXPECT_EQ(par.Alpha, 30.0);
  EXPECT_EQ(par.MaskRadius, 3.5);
  EXPECT_EQ(par.MaskXOfs, 0.0);
  EXPECT_EQ(par.MaskYOfs, 0.0);
  EXPECT_EQ(par.DepthLimit, -10.0);
}

TEST(ScanPar, MissingFileSectionOrKeysGiveTheDefaults) {
  TempDir dir;
  ScnPar par = filled_with(77.0);
  scn_LoadPar(&par, "./missing.ini", "ScanParameter");
  expect_defaults(par);

  write_file_bytes("scnmod.ini", "[Other]\r\nNFilt=5\r\n[ScanParameter]\r\n");
  par = filled_with(77.0);
  scn_LoadPar(&par, "./scnmod.ini", "ScanParameter");
  expect_defaults(par);

  // Null arguments change nothing.
  par = filled_with(77.0);
  scn_LoadPar(&par, nullptr, "ScanParameter");
  scn_LoadPar(&par, "./scnmod.ini", nullptr);
  scn_LoadPar(nullptr, "./scnmod.ini", "ScanParameter");
  EXPECT_EQ(par.NFilt, 77);
  EXPECT_EQ(par.DepthLimit, 77.0);
}

TEST(ScanPar, ValuesAreScannedLikeTheFormattedScan) {
  TempDir dir;
  write_file_bytes("scnmod.ini",
                   "[scanparameter]\r\n"
                   "NFilt=2.7\r\n"
                   "FlawThr=15\r\n"
                   "LambdaF=12.5 mm\r\n"
                   "CamResX=1e-2\r\n"
                   "camresy=  +0.02\n"
                   "Alpha=-45\r\n"
                   "maskradius=4\r\n"
                   "MAskXOfs=0.5\r\n"
                   "MaskYOfs=-.25\r\n"
                   "DEPTHLIMIT=-20\r\n");
  ScnPar par = filled_with(0.0);
  scn_LoadPar(&par, "./scnmod.ini", "ScanParameter");
  EXPECT_EQ(par.NFilt, 2);
  EXPECT_EQ(par.FlawThr, 15);
  EXPECT_EQ(par.LambdaF, 12.5);
  EXPECT_EQ(par.CamResX, 0.01);
  EXPECT_EQ(par.CamResY, 0.02);
  EXPECT_EQ(par.Alpha, -45.0);
  EXPECT_EQ(par.MaskRadius, 4.0);
  EXPECT_EQ(par.MaskXOfs, 0.5);
  EXPECT_EQ(par.MaskYOfs, -0.25);
  EXPECT_EQ(par.DepthLimit, -20.0);
}

TEST(ScanPar, TextWithoutAUsableNumberKeepsTheField) {
  TempDir dir;
  write_file_bytes("scnmod.ini",
                   "[ScanParameter]\r\n"
                   "NFilt=\r\n"
                   "FlawThr=abc\r\n"
                   "LambdaF=mm 12\r\n"
                   "CamResX=-\r\n"
                   "CamResY=1e999\r\n"   // beyond double
                   "Alpha=nan\r\n"
                   "MaskRadius=inf\r\n"
                   "MaskXOfs=.\r\n");
  ScnPar par = filled_with(5.0);
  scn_LoadPar(&par, "./scnmod.ini", "ScanParameter");
  EXPECT_EQ(par.NFilt, 5);
  EXPECT_EQ(par.FlawThr, 5);
  EXPECT_EQ(par.LambdaF, 5.0);
  EXPECT_EQ(par.CamResX, 5.0);
  EXPECT_EQ(par.CamResY, 5.0);
  EXPECT_EQ(par.Alpha, 5.0);
  EXPECT_EQ(par.MaskRadius, 5.0);
  EXPECT_EQ(par.MaskXOfs, 5.0);
  EXPECT_EQ(par.MaskYOfs, 0.0);      // absent: the default
  EXPECT_EQ(par.DepthLimit, -10.0);  // absent: the default

  // Integers the 32-bit fields cannot hold are refused; their limits are not.
  write_file_bytes("ints.ini",
                   "[S]\r\nNFilt=2147483648\r\nFlawThr=-99999999999999999999999\r\n");
  par = filled_with(5.0);
  scn_LoadPar(&par, "./ints.ini", "S");
  EXPECT_EQ(par.NFilt, 5);
  EXPECT_EQ(par.FlawThr, 5);
  write_file_bytes("ints.ini", "[S]\r\nNFilt=2147483647\r\nFlawThr=-2147483648\r\n");
  scn_LoadPar(&par, "./ints.ini", "S");
  EXPECT_EQ(par.NFilt, INT32_MAX);
  EXPECT_EQ(par.FlawThr, INT32_MIN);
}

TEST(ScanPar, SavedFileHoldsSixDecimalsAndLoadsBack) {
  TempDir dir;
  ScnPar par = {2, 16, 12.5, 0.01, 0.01, 30.0, 3.5, 0.0, 0.123456789, -10.0};
  scn_SavePar(&par, "./scnmod.ini", "ScanParameter");
  EXPECT_EQ(read_file_bytes("scnmod.ini"),
            "[ScanParameter]\r\n"
            "NFilt=2\r\n"
            "FlawThr=16\r\n"
            "LambdaF=12.500000\r\n"
            "CamResX=0.010000\r\n"
            "CamResY=0.010000\r\n"
            "Alpha=30.000000\r\n"
            "MaskRadius=3.500000\r\n"
            "MaskXOfs=0.000000\r\n"
            "MaskYOfs=0.123457\r\n"
            "DepthLimit=-10.000000\r\n");
  ScnPar back = filled_with(1.0);
  scn_LoadPar(&back, "./scnmod.ini", "ScanParameter");
  par.MaskYOfs = 0.123457;  // six decimals survive
  EXPECT_EQ(std::memcmp(&back, &par, sizeof par), 0);

  // A huge double is written in full, not cut at some buffer size.
  par.Alpha = 1e300;
  scn_SavePar(&par, "./big.ini", "S");
  const std::string alpha = profile_read("./big.ini", "S", "Alpha", "");
  EXPECT_EQ(alpha.size(), 255u);  // the reader's cut; the file holds all 308 characters
  const std::string file = read_file_bytes("big.ini");
  const size_t start = file.find("Alpha=") + 6;
  EXPECT_EQ(file.find("\r\n", start) - start, 308u);  // 301 digits, point, six decimals
  scn_SavePar(nullptr, "./none.ini", "S");
  EXPECT_FALSE(std::filesystem::exists("none.ini"));
}

TEST(ScanPar, SavingKeepsOtherSectionsAndKeys) {
  TempDir dir;
  // As the parameters dialog writes it: other spelling, an extra key, a
  // second section.
  const std::string original =
      "[ScanParameter]\r\n"
      "NFilt=3\r\n"
      "MAskXOfs=0.0\r\n"
      "Comment=kept\r\n"
      "[Display]\r\n"
      "NFilt=42\r\n";
  write_file_bytes("scnmod.ini", original);
  ScnPar par = {4, 20, 9.0, 0.02, 0.03, 25.0, 3.0, 0.5, -0.5, -5.0};
  scn_SavePar(&par, "./scnmod.ini", "scanparameter");
  EXPECT_EQ(read_file_bytes("scnmod.ini"),
            "[ScanParameter]\r\n"
            "NFilt=4\r\n"
            "MAskXOfs=0.500000\r\n"
            "Comment=kept\r\n"
            "FlawThr=20\r\n"
            "LambdaF=9.000000\r\n"
            "CamResX=0.020000\r\n"
            "CamResY=0.030000\r\n"
            "Alpha=25.000000\r\n"
            "MaskRadius=3.000000\r\n"
            "MaskYOfs=-0.500000\r\n"
            "DepthLimit=-5.000000\r\n"
            "[Display]\r\n"
            "NFilt=42\r\n");
  ScnPar back = filled_with(0.0);
  scn_LoadPar(&back, "./scnmod.ini", "ScanParameter");
  EXPECT_EQ(std::memcmp(&back, &par, sizeof par), 0);
}

// scn_SavePar's file and save_scan_par's text in memory are the same bytes,
// for a new file, one with other sections and spellings, one without a last
// line end, and a section the writer refuses (nothing changes).
TEST(ScanPar, SavingInMemoryGivesTheFileScnSaveParWrites) {
  TempDir dir;
  const ScnPar par = {4, 20, 9.0, 0.02, 0.03, 25.0, 3.0, 0.5, -0.5, 1e300};
  struct Case {
    const char* text;
    const char* section;
  };
  const Case cases[] = {{"", "ScanParameter"},
                        {"[ScanParameter]\r\nNFilt=3\r\nMAskXOfs=0.0\r\nComment=kept\r\n[Display]\r\nNFilt=42\r\n",
                         "scanparameter"},
                        {"\xEF\xBB\xBF; comment\n[Other]\nA=1", " New "},
                        {"[ScanParameter]\nNFilt=3", "Bad]Section"},
                        {"[ScanParameter]\nNFilt=3", "  "}};
  for (const Case& c : cases) {
    write_file_bytes("scnmod.ini", c.text);
    scn_SavePar(&par, "./scnmod.ini", c.section);
    std::string text = c.text;
    save_scan_par(&par, text, c.section);
    EXPECT_EQ(text, read_file_bytes("scnmod.ini")) << c.text;
    ScnPar from_file = filled_with(1.0);
    scn_LoadPar(&from_file, "./scnmod.ini", c.section);
    ScnPar from_text = filled_with(1.0);
    load_scan_par(&from_text, ProfileFileText::of_text(text), c.section);
    EXPECT_EQ(std::memcmp(&from_file, &from_text, sizeof par), 0) << c.text;
  }
}

}  // namespace
