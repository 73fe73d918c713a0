#include "common/read_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/errors.h"
#include "common/open_file.h"
#include "error_of.h"
#include "temp_dir.h"

namespace {

TEST(ReadFile, GivesEveryByteAsItIs) {
  TempDir dir;
  // CR LF, a lone CR, NUL bytes and no line end at the end; and files longer
  // than one read of the stream.
  std::string many(100003, '\0');
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<char>(i * 7 + i / 251);
  for (const std::string& bytes : {std::string(), std::string("a\r\nb\rc\n\n"), std::string("x\0y\0", 4),
                                   std::string(16384, 'k'), std::string(16385, 'k'), many}) {
    write_file_bytes("file.bin", bytes);
    std::string text = "earlier";
    EXPECT_EQ(read_file("file.bin", text), FileRead::done);
    EXPECT_EQ(text, bytes) << bytes.size();
    EXPECT_EQ(read_file_text("file.bin"), bytes) << bytes.size();
  }
}

TEST(ReadFile, MissingFilesAndDirectoriesAreErrorsNotEmptyTexts) {
  TempDir dir;
  std::filesystem::create_directory("folder");
  const struct {
    const char* name;
    FileRead outcome;
    const char* message;
  } cases[] = {
      {"missing.txt", FileRead::not_opened, "Cannot open file \"missing.txt\""},
      {"", FileRead::not_opened, "Cannot open file \"\""},
      // A directory opens, and its first read fails: never an empty file.
      {"folder", FileRead::failed, "Cannot read file \"folder\""},
  };
  for (const auto& c : cases) {
    std::string text = "earlier";
    EXPECT_EQ(read_file(c.name, text), c.outcome) << c.name;
    EXPECT_EQ(text, "") << c.name;
    EXPECT_EQ(error_of<FileError>([&] { read_file_text(c.name); }), c.message);
  }
}

TEST(OpenFile, ClosesWhenItGoesOutOfScope) {
  TempDir dir;
  write_file_bytes("file.bin", "abc");
  int descriptor = -1;
  {
    const OpenFile file("file.bin", "rb", 1 << 16);
    ASSERT_NE(file.get(), nullptr);
    descriptor = ::fileno(file.get());
    char bytes[4] = {};
    EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, file.get()), 3u);
    EXPECT_STREQ(bytes, "abc");
  }
  // The lowest free descriptor goes to the next file: the closed one's.
  const OpenFile next("file.bin", "rb");
  ASSERT_NE(next.get(), nullptr);
  EXPECT_EQ(::fileno(next.get()), descriptor);
  EXPECT_EQ(OpenFile("missing.bin", "rb").get(), nullptr);
}

}  // namespace
