// The settings files as "default" followed by "OK" writes them, and how the
// engine and the start-up read them back.
#include <gtest/gtest.h>


#include "common/errors.h"
#include "common/settings_file.h"
#include "error_of.h"
#include "settings/channel_settings.h"
#include "settings/settings_check.h"
#include "scan.h"
#include "temp_dir.h"

namespace {

TEST(DefaultSettings, FilesHoldTheDialogsLinesWithCrLf) {
  TempDir dir;
  write_default_settings(".");
  EXPECT_EQ(read_file_bytes("scnmod.ini"),
            "[ScanParameter]\r\nLambdaF=10.0\r\nCamResX=0.01\r\nCamResY=0.01\r\nAlpha=30\r\n"
            "NFilt=3\r\nFlawThr=15\r\nMaskRadius=3.3\r\nMAskXOfs=0.0\r\nMAskYOfs=0.0\r\n"
            "DepthLimit=-10.0\r\n");
  EXPECT_EQ(read_file_bytes("image.ini"),
            "XPixels=1280\r\nYPixels=1024\r\nXRes=0.01\r\nYRes=0.01\r\nLambdaF=10.0\r\n"
            "Alpha=30\r\nRadius=7.5\r\nMAskXOfs=0.0\r\nMAskYOfs=0.0\r\n");
  EXPECT_EQ(read_file_bytes("scnmod_1.ini"), read_file_bytes("scnmod.ini"));
  EXPECT_EQ(read_file_bytes("image_1.ini"), read_file_bytes("image.ini"));
}

TEST(DefaultSettings, BoxTextsAreCopiedUnchanged) {
  ChannelSettingsTexts texts;
  texts.xres = "1e-2";
  texts.lambda = "12.5 px";
  texts.filters = "";
  const auto scan = scan_settings_lines(texts);
  ASSERT_EQ(scan.size(), 11u);
  EXPECT_EQ(scan[2], "CamResX=1e-2");
  EXPECT_EQ(scan[3], "CamResY=1e-2");
  EXPECT_EQ(scan[1], "LambdaF=12.5 px");
  EXPECT_EQ(scan[5], "NFilt=");
  const auto image = image_settings_lines(texts);
  ASSERT_EQ(image.size(), 9u);
  EXPECT_EQ(image[3], "YRes=1e-2");
}

TEST(DefaultSettings, EngineAndStartUpReadThemBack) {
  TempDir dir;
  write_default_settings(".");
  ScnPar par{};
  scn_LoadPar(&par, "./scnmod.ini", "ScanParameter");
  EXPECT_EQ(par.NFilt, 3);
  EXPECT_EQ(par.FlawThr, 15);
  EXPECT_EQ(par.LambdaF, 10.0);
  EXPECT_EQ(par.CamResX, 0.01);
  EXPECT_EQ(par.MaskRadius, 3.3);
  EXPECT_EQ(par.MaskXOfs, 0.0);
  EXPECT_EQ(par.DepthLimit, -10.0);

  SimParams params;
  params.radius = 1.0;
  load_sim_params(params, "./scnmod_1.ini", "./image_1.ini");
  EXPECT_EQ(params.x_pixels, 1280);
  EXPECT_EQ(params.y_pixels, 1024);
  EXPECT_EQ(params.pixel_size, 0.01);
  EXPECT_EQ(params.fringe_period, 10.0);
  EXPECT_EQ(params.alpha_deg, 30.0);
  EXPECT_EQ(params.radius, 7.5);
}

TEST(DefaultSettings, UnwritableDirectoryIsAFileError) {
  TempDir dir;
  write_file_bytes("plain_file", "x");
  EXPECT_THROW(write_default_settings("plain_file"), FileError);
}

TEST(LoadSimParams, ReadsBothFilesAndTruncatesTheSides) {
  TempDir dir;
  write_file_bytes("scan.ini",
                   "[ScanParameter]\r\nlambdaf=12.5\r\nCamResX=0.02\r\nAlpha=45\r\n"
                   "MAskXOfs=0.25\r\nMAskYOfs=-0.5\r\n");
  write_file_bytes("image.ini", "XPixels=1280.9\nYPixels=1000\nRadius=8.0\n");
  SimParams p;
  p.dynamic = 0.5;
  load_sim_params(p, "scan.ini", "image.ini");
  EXPECT_EQ(p.pixel_size, 0.02);
  EXPECT_EQ(p.fringe_period, 12.5);
  EXPECT_EQ(p.alpha_deg, 45.0);
  EXPECT_EQ(p.offset_x, 0.25);
  EXPECT_EQ(p.offset_y, -0.5);
  EXPECT_EQ(p.x_pixels, 1280);
  EXPECT_EQ(p.y_pixels, 1000);
  EXPECT_EQ(p.radius, 8.0);
  EXPECT_EQ(p.dynamic, 0.5) << "contrast is the track bar's, not the files'";
}

TEST(LoadSimParams, FailuresKeepWhatWasReadBefore) {
  TempDir dir;
  SimParams p;
  EXPECT_THROW(load_sim_params(p, "missing.ini", "image.ini"), FileError);
  EXPECT_EQ(p.pixel_size, 0.01);

  // "Alpha" is not a number: CamResX and LambdaF were read, the rest stays.
  // The words are the window's, as start-up shows them.
  write_file_bytes("scan.ini", "CamResX=0.03\r\nLambdaF=9\r\nAlpha=thirty\r\nMaskXOfs=1\r\n");
  EXPECT_EQ(error_of([&] { load_sim_params(p, "scan.ini", "image.ini"); }),
            "'thirty' is not a valid floating point value");
  EXPECT_EQ(p.pixel_size, 0.03);
  EXPECT_EQ(p.fringe_period, 9.0);
  EXPECT_EQ(p.alpha_deg, 30.0);
  EXPECT_EQ(p.offset_x, 0.0);

  // A missing key is the empty text, which is not a number either.
  write_file_bytes("scan.ini", "CamResX=0.01\r\nLambdaF=10\r\nAlpha=30\r\nMaskXOfs=0\r\nMaskYOfs=0\r\n");
  write_file_bytes("image.ini", "XPixels=99999999999\r\n");
  EXPECT_THROW(load_sim_params(p, "scan.ini", "image.ini"), ConversionError);
  EXPECT_EQ(p.x_pixels, 1280);
}

// ---- Read strictly, for the fringe tool and studies ---------------------------

TEST(CheckChannelSettings, EachFaultNamesTheFileTheKeyAndTheText) {
  // Each case: a line of `fringe init`'s files changed as a user might, and
  // the words of check_channel_settings. The windows' reading keeps its own
  // words (LoadSimParams above).
  const struct {
    int channel;
    bool scan;           // the scan settings file, else the image settings file
    const char* key;
    const char* value;   // nullptr: the key's line removed
    const char* message;
  } cases[] = {
      {0, false, "Radius", " 7.5 ", ""},
      {0, false, "XPixels", "1280.9", ""},
      {0, false, "XPixels", "3e9", "image.ini: XPixels = \"3e9\" is out of range"},
      {0, false, "YPixels", "", "image.ini: YPixels = \"\" is not a number"},
      {1, false, "Radius", "7,5", "image_1.ini: Radius = \"7,5\" is not a number"},
      {0, true, "LambdaF", "inf", "scnmod.ini: LambdaF = \"inf\" is not a number"},
      {0, true, "NFilt", "2.5", "scnmod.ini: NFilt = \"2.5\" is not a whole number"},
      {0, true, "NFilt", "+3", ""},
      {0, true, "NFilt", nullptr, "scnmod.ini: NFilt is missing"},
      {0, true, "FlawThr", nullptr, ""},
      {0, true, "FlawThr", "1e3", "scnmod.ini: FlawThr = \"1e3\" is not a whole number in digits"},
      {1, true, "MaskYOfs", "up", "scnmod_1.ini: MaskYOfs = \"up\" is not a number"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    write_default_settings(".");
    const ChannelFiles files = channel_files(c.channel);
    const char* file = c.scan ? files.scan : files.image;
    std::vector<std::string> lines = read_lines(file);
    if (c.value == nullptr)
      std::erase_if(lines, [&](const std::string& line) { return line.rfind(std::string(c.key) + "=", 0) == 0; });
    else
      set_settings_value(lines, c.key, c.value);
    write_lines(file, lines);
    const ChannelSettings s = read_channel_settings(c.channel);
    EXPECT_EQ(error_of([&] { check_channel_settings(c.channel, s.scan, s.image, s.surface); }), c.message)
        << c.key << "=" << (c.value ? c.value : "(removed)");
  }
}

TEST(CheckChannelSettings, EveryKeyOfBothImageFilesLeftOutIsNamedWhereARunReadsIt) {
  // The runs read the sides and the radius from the image settings; the
  // other lines are the dialog's and are not read by any run.
  const struct {
    const char* key;
    bool read;
  } keys[] = {{"XPixels", true}, {"YPixels", true},  {"XRes", false},     {"YRes", false},     {"LambdaF", false},
              {"Alpha", false},  {"Radius", true},   {"MAskXOfs", false}, {"MAskYOfs", false}};
  for (const int channel : {0, 1}) {
    TempDir dir;
    write_default_settings(".");
    const ChannelFiles files = channel_files(channel);
    const std::vector<std::string> lines = read_lines(files.image);
    ASSERT_EQ(lines.size(), std::size(keys)) << files.image << ": a key the table does not know";
    for (const auto& k : keys) {
      std::vector<std::string> without = lines;
      ASSERT_EQ(std::erase_if(without, [&](const std::string& line) { return line.rfind(std::string(k.key) + "=", 0) == 0; }),
                1u)
          << files.image << " " << k.key;
      const ChannelSettings s = read_channel_settings(channel);
      EXPECT_EQ(error_of([&] { check_channel_settings(channel, s.scan, without, s.surface); }),
                k.read ? std::string(channel == 0 ? "image.ini" : "image_1.ini") + ": " + k.key + " is missing" : "")
          << files.image << " without " << k.key;
    }
  }
}

TEST(CheckScanSettings, TheSectionAndTheEngineKeysAsTheEngineReadsThem) {
  const struct {
    std::vector<std::string> lines;
    const char* message;
  } cases[] = {
      {{"LambdaF=10"}, "p.ini: no section [ScanParameter]"},
      {{"[ScanParameters]", "LambdaF=10"}, "p.ini: no section [ScanParameter]"},
      {{"[ScanParameter]"}, ""},
      {{"  [SCANPARAMETER]  ", "  lambdaf\t=  12.5\t"}, ""},
      {{"[ScanParameter", "LambdaF=10"}, ""},  // the engine reads a section line without ']'
      {{"[ScanParameter]", "LambdaF=12.5 px"}, "p.ini: LambdaF = \"12.5 px\" is not a number"},
      {{"[ScanParameter]", "NFilt=-2"}, ""},
      {{"[ScanParameter]", "NFilt=2147483648"}, "p.ini: NFilt = \"2147483648\" is out of range"},
      {{"[ScanParameter]", "Comment=anything", "Unknown=x"}, ""},
      // The first occurrence counts, across repeated sections too.
      {{"[ScanParameter]", "Alpha=30", "[ScanParameter]", "Alpha=x"}, ""},
      {{"[ScanParameter]", "[Other]", "Alpha=x", "[ScanParameter]", "Alpha=thirty"},
       "p.ini: Alpha = \"thirty\" is not a number"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(error_of([&] { check_scan_settings(c.lines, "p.ini", "ScanParameter"); }), c.message)
        << c.lines.back();
}

TEST(CheckScanSettings, AcceptsWhatTheEngineReadsAsTheTextsGiven) {
  // What passes the check, the engine reads as those numbers, not as its defaults.
  TempDir dir;
  write_lines("p.ini", {"\xEF\xBB\xBF[ scanparameter ]", " NFilt = 5 ", "lambdaf=12.5", "CamResX=2e-2",
                        "MaskRadius=+4"});
  check_scan_settings(read_lines("p.ini"), "p.ini", "ScanParameter");
  ScnPar par{};
  scn_LoadPar(&par, "p.ini", "ScanParameter");
  EXPECT_EQ(par.NFilt, 5);
  EXPECT_EQ(par.LambdaF, 12.5);
  EXPECT_EQ(par.CamResX, 0.02);
  EXPECT_EQ(par.MaskRadius, 4.0);
}

}  // namespace
