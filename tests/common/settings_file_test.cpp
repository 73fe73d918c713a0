#include "common/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "error_of.h"
#include "temp_dir.h"

namespace {

TEST(ReadLines, AcceptsCrLfAndLfAndAnUnterminatedLastLine) {
  TempDir dir;
  write_file_bytes("mixed.ini", "[ScanParameter]\r\nNFilt=2\nLambdaF=12.5\r\n\r\nlast");
  EXPECT_EQ(read_lines("./mixed.ini"),
            (std::vector<std::string>{"[ScanParameter]", "NFilt=2", "LambdaF=12.5", "", "last"}));
  write_file_bytes("empty.ini", "");
  EXPECT_TRUE(read_lines("empty.ini").empty());
  // A CR inside a line is kept; only the one before the line end goes.
  write_file_bytes("cr.ini", "a\rb\r\n");
  EXPECT_EQ(read_lines("cr.ini"), (std::vector<std::string>{"a\rb"}));
}

// The file reader splits the file's text as text_lines splits it in memory.
TEST(TextLines, SplitsAsReadLinesDoes) {
  TempDir dir;
  const std::string texts[] = {"[ScanParameter]\r\nNFilt=2\nLambdaF=12.5\r\n\r\nlast", "", "a\rb\r\n", "\n\n", "\r\n",
                               "x\r", std::string("nul\0inside\n", 11)};
  for (const std::string& text : texts) {
    write_file_bytes("lines.ini", text);
    EXPECT_EQ(text_lines(text), read_lines("lines.ini")) << text;
    EXPECT_EQ(text_lines(lines_text(text_lines(text))), text_lines(text)) << text;
  }
}

TEST(ReadLines, MissingFileOrDirectoryIsAFileError) {
  TempDir dir;
  EXPECT_EQ(error_of<FileError>([] { read_lines("./scnmod.ini"); }), "Cannot open file \"./scnmod.ini\"");
  // A directory opens and fails on its first read: said as the dialogs say it.
  std::filesystem::create_directory("folder");
  EXPECT_EQ(error_of<FileError>([] { read_lines("folder"); }), "Cannot open file \"folder\"");
}

TEST(SettingsValue, FirstMatchingKeyIgnoringCaseValueUntrimmed) {
  const std::vector<std::string> lines = {
      "[ScanParameter]", "no equals here", "XPixels=1280", "xpixels=640", "Radius= 7.5 ",
      "Empty=",          "A=b=c",          "Lambda=9",     "LambdaF=12"};
  EXPECT_EQ(settings_value(lines, "XPIXELS"), "1280");
  EXPECT_EQ(settings_value(lines, "Radius"), " 7.5 ");
  EXPECT_EQ(settings_value(lines, "Empty"), "");
  EXPECT_EQ(settings_value(lines, "A"), "b=c");
  EXPECT_EQ(settings_value(lines, "LambdaF"), "12");  // not the prefix "Lambda"
  EXPECT_EQ(settings_value(lines, "Missing"), "");
  EXPECT_EQ(settings_value(lines, "[ScanParameter]"), "");
  EXPECT_EQ(settings_value(lines, "Radius "), "");  // blanks belong to the key
}

TEST(SetSettingsValue, ReplacesWhereSettingsValueReadsOrAppends) {
  std::vector<std::string> lines{"[ScanParameter]", "LambdaF=10.0", "MAskXOfs=0.0", "lambdaf=99"};
  set_settings_value(lines, "lambdaf", "12.5");
  set_settings_value(lines, "MaskXOfs", "1e-05");
  set_settings_value(lines, "NFilt", "3");
  EXPECT_EQ(lines, (std::vector<std::string>{"[ScanParameter]", "LambdaF=12.5", "MAskXOfs=1e-05",
                                             "lambdaf=99", "NFilt=3"}))
      << "the first match keeps its key text; a second one stays; a missing key is appended";
  EXPECT_EQ(settings_value(lines, "LAMBDAF"), "12.5");
  std::vector<std::string> empty_value{"Radius="};
  set_settings_value(empty_value, "Radius", "7.5");
  EXPECT_EQ(empty_value, (std::vector<std::string>{"Radius=7.5"}));
}

TEST(WriteLines, ExactBytesRoundTripAndReplacement) {
  TempDir dir;
  write_lines("./image.ini", {"[ScanParameter]", "XPixels=1280", ""});
  EXPECT_EQ(read_file_bytes("image.ini"), "[ScanParameter]\r\nXPixels=1280\r\n\r\n");
  EXPECT_EQ(read_lines("./image.ini"),
            (std::vector<std::string>{"[ScanParameter]", "XPixels=1280", ""}));
  // Rewriting replaces the whole file and leaves no temporary file behind.
  write_lines("./image.ini", {"Radius=7.8"});
  EXPECT_EQ(read_file_bytes("image.ini"), "Radius=7.8\r\n");
  write_lines("none.ini", {});
  EXPECT_EQ(read_file_bytes("none.ini"), "");
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 2);
}

TEST(WriteLines, FailureIsAFileErrorAndKeepsTheOldFile) {
  TempDir dir;
  EXPECT_EQ(error_of<FileError>([] { write_lines("./missing/scnmod.ini", {"a"}); }),
            "Cannot create file \"./missing/scnmod.ini\"");
  std::filesystem::create_directory("taken");
  EXPECT_THROW(write_lines("taken", {"a"}), FileError);
  EXPECT_TRUE(std::filesystem::is_directory("taken"));

  // Through a link the file it points to is replaced, the link stays.
  write_file_bytes("real.ini", "old\r\n");
  std::filesystem::create_symlink("real.ini", "link.ini");
  write_lines("link.ini", {"new"});
  EXPECT_TRUE(std::filesystem::is_symlink("link.ini"));
  EXPECT_EQ(read_file_bytes("real.ini"), "new\r\n");
}

}  // namespace
