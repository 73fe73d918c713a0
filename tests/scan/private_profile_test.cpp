#include "private_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "temp_dir.h"

namespace {

// Mixed line ends, blanks, comments, a key before any section, a repeated
// section and a last line without a line end.
const std::string kMixedFile =
    "; written by hand\r\n"
    "NFilt=99\r\n"
    "[Other]\r\n"
    "NFilt=9\r\n"
    "\r\n"
    "[scanparameter]\n"
    "  NFILT = 3 \r\n"
    "Empty=\r\n"
    "LambdaF=12.5 mm\n"
    "Formula=a=b\r\n"
    "no equals sign here\r\n"
    "[ ScanParameter ]\r\n"
    "NFilt=4\r\n"
    "Alpha=45";

TEST(PrivateProfile, ReadsTheValueOfTheKeyInItsSection) {
  TempDir dir;
  write_file_bytes("p.ini", kMixedFile);
  auto read = [](const char* section, const char* key) {
    return profile_read("p.ini", section, key, "fallback");
  };
  EXPECT_EQ(read("ScanParameter", "NFilt"), "3");  // names in any case, blanks trimmed
  EXPECT_EQ(read("SCANPARAMETER", "nfilt"), "3");
  EXPECT_EQ(read("Other", "NFilt"), "9");
  EXPECT_EQ(read("ScanParameter", "Empty"), "");  // present but empty: not the fallback
  EXPECT_EQ(read("ScanParameter", "LambdaF"), "12.5 mm");
  EXPECT_EQ(read("ScanParameter", "Formula"), "a=b");  // split at the first '='
  EXPECT_EQ(read("ScanParameter", "Alpha"), "45");     // later section of the same name
  EXPECT_EQ(read("ScanParameter", "Missing"), "fallback");
  EXPECT_EQ(read("ScanParameter", "no equals sign here"), "fallback");
  EXPECT_EQ(read("Absent", "NFilt"), "fallback");
  EXPECT_EQ(read("", "NFilt"), "fallback");  // the key above every section belongs to none
  EXPECT_EQ(profile_read("missing.ini", "ScanParameter", "NFilt", "2"), "2");
  EXPECT_EQ(profile_read(nullptr, "ScanParameter", "NFilt", "2"), "2");
  EXPECT_EQ(profile_read("p.ini", nullptr, "NFilt", "2"), "2");
  EXPECT_EQ(profile_read("p.ini", "ScanParameter", "NFilt", nullptr), "3");
  EXPECT_EQ(profile_read("p.ini", "ScanParameter", "Missing", nullptr), "");

  // A byte order mark in front of the first section does not hide it.
  write_file_bytes("bom.ini", "\xEF\xBB\xBF[S]\r\nk=v\r\n");
  EXPECT_EQ(profile_read("bom.ini", "S", "k", ""), "v");
}

// Several keys from one reading: each as profile_read gives it, and all of
// them from the file as it was read, even when it is replaced in between.
TEST(PrivateProfile, OneReadingGivesEveryKeyOfTheFileAsItWasRead) {
  TempDir dir;
  write_file_bytes("p.ini", kMixedFile);
  write_file_bytes("kept.ini", kMixedFile);
  const ProfileFileText file("p.ini");
  write_file_bytes("p.ini", "[ScanParameter]\nNFilt=7\nAlpha=1\n");
  for (const char* section : {"ScanParameter", "other", "Absent", ""})
    for (const char* key : {"NFilt", "Alpha", "Empty", "Formula", "Missing"})
      EXPECT_EQ(file.value(section, key, "fallback"), profile_read("kept.ini", section, key, "fallback"))
          << section << " " << key;
  EXPECT_EQ(file.value(nullptr, "NFilt", "2"), "2");
  EXPECT_EQ(profile_read("p.ini", "ScanParameter", "NFilt", ""), "7");
  EXPECT_EQ(ProfileFileText("missing.ini").value("ScanParameter", "NFilt", "2"), "2");
  EXPECT_EQ(ProfileFileText(nullptr).value("ScanParameter", "NFilt", nullptr), "");
}

TEST(PrivateProfile, KeepsTheFirst255Characters) {
  TempDir dir;
  std::string long_value;
  for (int i = 0; i < 300; ++i) long_value += static_cast<char>('a' + i % 26);
  write_file_bytes("long.ini", "[S]\r\nk=" + long_value + "\r\n");
  EXPECT_EQ(profile_read("long.ini", "S", "k", ""), long_value.substr(0, 255));
  EXPECT_EQ(profile_read("long.ini", "S", "x", long_value.c_str()), long_value.substr(0, 255));
}

TEST(PrivateProfile, WritingCreatesFileSectionAndKey) {
  TempDir dir;
  ASSERT_TRUE(profile_write("new.ini", "ScanParameter", "NFilt", "2"));
  EXPECT_EQ(read_file_bytes("new.ini"), "[ScanParameter]\r\nNFilt=2\r\n");
  ASSERT_TRUE(profile_write("new.ini", "scanparameter", "FlawThr", "16"));
  ASSERT_TRUE(profile_write("new.ini", "Second", "x", "y z"));
  ASSERT_TRUE(profile_write("new.ini", "SCANPARAMETER", "nfilt", "5"));
  EXPECT_EQ(read_file_bytes("new.ini"),
            "[ScanParameter]\r\nNFilt=5\r\nFlawThr=16\r\n[Second]\r\nx=y z\r\n");
  EXPECT_EQ(profile_read("new.ini", "second", "X", ""), "y z");
}

TEST(PrivateProfile, WritingKeepsEveryOtherLineByteForByte) {
  TempDir dir;
  write_file_bytes("p.ini", kMixedFile);
  // The value behind the '=' changes; the key's spelling, its blanks and its
  // line end (LF here) stay.
  ASSERT_TRUE(profile_write("p.ini", "ScanParameter", "lambdaf", "12.500000"));
  std::string expected = kMixedFile;
  expected.replace(expected.find("12.5 mm"), 7, "12.500000");
  EXPECT_EQ(read_file_bytes("p.ini"), expected);

  ASSERT_TRUE(profile_write("p.ini", "ScanParameter", "NFilt", "7"));
  expected.replace(expected.find("  NFILT = 3 "), 12, "  NFILT =7");
  EXPECT_EQ(read_file_bytes("p.ini"), expected);

  // A new key goes behind the last non-blank line of the first such section.
  ASSERT_TRUE(profile_write("p.ini", "Other", "Alpha", "30"));
  expected.insert(expected.find("NFilt=9\r\n") + 9, "Alpha=30\r\n");
  EXPECT_EQ(read_file_bytes("p.ini"), expected);

  // A new section follows the last line, which first gets its line end.
  ASSERT_TRUE(profile_write("p.ini", "Third", "k", "v"));
  expected += "\r\n[Third]\r\nk=v\r\n";
  EXPECT_EQ(read_file_bytes("p.ini"), expected);
  EXPECT_EQ(profile_read("p.ini", "ScanParameter", "Alpha", ""), "45");
}

TEST(PrivateProfile, RefusedWritesLeaveTheFileAsItWas) {
  TempDir dir;
  write_file_bytes("p.ini", kMixedFile);
  // Line breaks or brackets would turn into lines that read back differently.
  EXPECT_FALSE(profile_write("p.ini", "ScanParameter", "NFilt", "1\r\n[Evil]"));
  EXPECT_FALSE(profile_write("p.ini", "Scan]Parameter", "NFilt", "1"));
  EXPECT_FALSE(profile_write("p.ini", "ScanParameter", "a=b", "1"));
  EXPECT_FALSE(profile_write("p.ini", "ScanParameter", " ", "1"));
  EXPECT_FALSE(profile_write("p.ini", "", "k", "1"));
  EXPECT_FALSE(profile_write("p.ini", "ScanParameter", "NFilt", nullptr));
  EXPECT_FALSE(profile_write("p.ini", nullptr, "NFilt", "1"));
  EXPECT_FALSE(profile_write(nullptr, "S", "NFilt", "1"));
  EXPECT_EQ(read_file_bytes("p.ini"), kMixedFile);

  EXPECT_FALSE(profile_write("no/such/folder/p.ini", "S", "k", "v"));
  std::filesystem::create_directory("folder.ini");
  EXPECT_FALSE(profile_write("folder.ini", "S", "k", "v"));
  EXPECT_TRUE(std::filesystem::is_directory("folder.ini"));
  EXPECT_EQ(profile_read("folder.ini", "S", "k", "fallback"), "fallback");

  // No temporary file is left behind, after failures or successes.
  ASSERT_TRUE(profile_write("p.ini", "S", "k", "v"));
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 2);  // p.ini and folder.ini
}

TEST(PrivateProfile, ReplacedFileKeepsItsPermissions) {
  TempDir dir;
  write_file_bytes("p.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(::chmod("p.ini", 0640), 0);
  ASSERT_TRUE(profile_write("p.ini", "S", "k", "2"));
  struct stat info {};
  ASSERT_EQ(::stat("p.ini", &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(read_file_bytes("p.ini"), "[S]\r\nk=2\r\n");
}

}  // namespace
