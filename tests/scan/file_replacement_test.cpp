// Every writer of the engine and of the program replaces its file by one
// rule: written whole beside the target and renamed over it, a link stays a
// link, permission bits stay, a device or FIFO is written in place and a
// FIFO nobody reads is refused rather than waited on. Each case runs for the
// bitmap, the profile, the parameter file and the settings-line writers; the
// bitmap and profile writers as the chain's working files, which are not
// waited for on the disk, and as files users keep, which are.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "common/errors.h"
#include "common/replace_file.h"
#include "common/settings_file.h"
#include "file_size_limit.h"
#include "grey_image.h"
#include "private_profile.h"
#include "profile_file.h"
#include "temp_dir.h"

// Every fsync of the program is counted on its way to the system; an
// exchange of two names can be refused, as a file system without it does,
// or preceded by a directory taking the target's place.
namespace {
int fsync_calls = 0;
enum class Exchange { passes, refused, target_becomes_directory };
Exchange exchange = Exchange::passes;
}  // namespace
extern "C" int fsync(int descriptor) {
  ++fsync_calls;
  return static_cast<int>(::syscall(SYS_fsync, descriptor));
}
extern "C" int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) {
  if (exchange == Exchange::refused && (flags & RENAME_EXCHANGE) != 0) {
    errno = EINVAL;
    return -1;
  }
  if (exchange == Exchange::target_becomes_directory && (flags & RENAME_EXCHANGE) != 0) {
    exchange = Exchange::passes;  // once, not when it is undone
    std::filesystem::remove(to);
    std::filesystem::create_directory(to);
  }
  return static_cast<int>(::syscall(SYS_renameat2, from_dir, from, to_dir, to, flags));
}

namespace {

namespace fs = std::filesystem;

struct ImageDeleter {
  void operator()(GreyImage* image) const { img_destroy(image); }
};

// Writes the writer's fixed contents to `name`; true when it reports success
// (the profile writer reports nothing: its success is read off the file).
struct Writer {
  const char* name;
  std::function<bool(const std::string&)> write;
  int syncs;  // fsync calls per replacement of a regular file
};

bool save_bitmap(const std::string& name, Durability durability) {
  std::unique_ptr<GreyImage, ImageDeleter> image(img_create(1, 8, 4));
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x) img_line(image.get(), y)[x] = static_cast<uint8_t>(10 * y + x);
  return img_save_bmp(image.get(), name.c_str(), durability) == BMP_OK;
}

bool save_profile_file(const std::string& name, Durability durability) {
  ScnMatrix profile{};
  if (mat_create(&profile, 3, 2, 0.04, 0.04) != 0) return false;
  for (int i = 0; i < 6; ++i) profile.values[0][i] = 0.25f * static_cast<float>(i);
  save_profile(profile, name.c_str(), durability);
  mat_free(&profile);
  std::error_code none;
  return fs::exists(name, none);
}

bool save_parameter(const std::string& name) {
  return profile_write(name.c_str(), "ScanParameter", "NFilt", "3");
}

bool save_lines(const std::string& name) {
  try {
    write_lines(name, {"XPixels=1280", "YPixels=1024"});
    return true;
  } catch (const FileError&) {
    return false;
  }
}

bool working_bitmap(const std::string& name) { return save_bitmap(name, Durability::atomic_only); }
bool kept_bitmap(const std::string& name) { return save_bitmap(name, Durability::synced); }
bool working_profile(const std::string& name) { return save_profile_file(name, Durability::atomic_only); }
bool kept_profile(const std::string& name) { return save_profile_file(name, Durability::synced); }

const Writer kWriters[] = {
    {"bitmap", working_bitmap, 0},  // the chain's working files
    {"profile", working_profile, 0},
    {"parameter", save_parameter, 1},  // what users keep
    {"settings lines", save_lines, 1},
    {"kept bitmap", kept_bitmap, 1},
    {"kept profile", kept_profile, 1},
};

int entries_in(const fs::path& dir) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST(FileReplacement, LinksStayLinksAndTheirTargetsAreReplaced) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    TempDir dir;
    ASSERT_TRUE(w.write("plain"));
    const std::string contents = read_file_bytes("plain");
    ASSERT_FALSE(contents.empty());

    fs::create_directory("store");
    write_file_bytes("store/real", "");
    fs::create_symlink("store/real", "link");
    fs::create_symlink("link", "link_to_link");
    fs::create_symlink("store/new", "dangling");
    EXPECT_TRUE(w.write("link_to_link"));
    EXPECT_TRUE(w.write("dangling"));
    EXPECT_TRUE(fs::is_symlink("link") && fs::is_symlink("link_to_link") && fs::is_symlink("dangling"));
    EXPECT_EQ(read_file_bytes("store/real"), contents);
    EXPECT_EQ(read_file_bytes("store/new"), contents);
    EXPECT_EQ(entries_in("store"), 2) << "no temporary file is left";

    fs::create_symlink("loop_b", "loop_a");
    fs::create_symlink("loop_a", "loop_b");
    std::error_code loop;
    EXPECT_FALSE(w.write("loop_a") && fs::exists("loop_a", loop));
    EXPECT_TRUE(fs::is_symlink("loop_a"));
    EXPECT_EQ(entries_in("."), 7);
  }
}

TEST(FileReplacement, PermissionsStayAndProtectedFilesAndDirectoriesAreRefused) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    TempDir dir;
    ASSERT_TRUE(w.write("plain"));
    const std::string contents = read_file_bytes("plain");

    write_file_bytes("shared", "");
    const fs::perms shared = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                             fs::perms::group_write | fs::perms::others_read;
    fs::permissions("shared", shared);
    EXPECT_TRUE(w.write("shared"));
    EXPECT_EQ(fs::status("shared").permissions(), shared);
    EXPECT_EQ(read_file_bytes("shared"), contents);

    fs::create_directory("folder");
    EXPECT_FALSE(w.write("folder") && !fs::is_directory("folder"));
    EXPECT_TRUE(fs::is_directory("folder"));
    EXPECT_FALSE(w.write(""));

    // Write protection only holds for a process without the privilege to
    // ignore it.
    if (::geteuid() != 0) {
      write_file_bytes("protected", "keep");
      fs::permissions("protected", fs::perms::owner_read);
      w.write("protected");
      EXPECT_EQ(read_file_bytes("protected"), "keep");
    }
    EXPECT_EQ(entries_in("."), ::geteuid() != 0 ? 4 : 3);
  }
}

TEST(FileReplacement, AFifoIsWrittenInPlaceAndOneNobodyReadsIsRefused) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    TempDir dir;
    ASSERT_TRUE(w.write("plain"));
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);

    // Nobody reads: refused at once, the FIFO stays a FIFO.
    w.write("pipe");
    EXPECT_TRUE(fs::is_fifo("pipe"));

    // A reader gets the bytes; the node is never replaced by a plain file.
    // The reader's end is open before the write (without waiting for a
    // writer), and what is written fits the pipe's buffer, so one write
    // delivers everything and ends with the writer's close.
    const int reader = ::open("pipe", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    w.write("pipe");
    std::string received;
    char buffer[4096];
    for (ssize_t got; (got = ::read(reader, buffer, sizeof buffer)) > 0;)
      received.append(buffer, static_cast<std::size_t>(got));
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo("pipe"));
    EXPECT_FALSE(received.empty());
    if (std::string(w.name) != "parameter") {
      EXPECT_EQ(received, read_file_bytes("plain"));
    }
    EXPECT_EQ(entries_in("."), 2);
  }
}

// Working files are renamed into place without waiting for the disk; what
// users keep is synced first, new or replaced. Nothing is synced in place.
TEST(FileReplacement, WhatUsersKeepIsSyncedWorkingFilesAreNot) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    TempDir dir;
    for (int round = 0; round < 2; ++round) {
      const int before = fsync_calls;
      ASSERT_TRUE(w.write("target"));
      EXPECT_EQ(fsync_calls - before, w.syncs) << "round " << round;
    }
    const int before = fsync_calls;
    w.write("/dev/null");
    EXPECT_EQ(fsync_calls, before);
  }
  TempDir dir;
  const int before = fsync_calls;
  EXPECT_TRUE(write_file_whole("kept", "x"));
  EXPECT_TRUE(write_file_whole("working", "x", Durability::atomic_only));
  EXPECT_EQ(fsync_calls - before, 1);
  EXPECT_EQ(read_file_bytes("working"), "x");
}

// A file is replaced by exchanging it with the new one (no data written out
// on the spot), or renamed over where the file system cannot exchange; a
// directory that took the target's place meanwhile stays and the write
// fails. Never a temporary file left behind.
TEST(FileReplacement, ExchangedRenamedOrRefusedNeverHalfDone) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    TempDir dir;
    ASSERT_TRUE(w.write("plain"));
    const std::string contents = read_file_bytes("plain");
    // The parameter writer keeps what the file held besides its key.
    write_file_bytes("reference", "earlier");
    ASSERT_TRUE(w.write("reference"));
    const std::string replaced = read_file_bytes("reference");
    fs::remove("reference");
    for (const Exchange how : {Exchange::passes, Exchange::refused}) {
      write_file_bytes("target", "earlier");
      ::link("target", "second_name");
      exchange = how;
      EXPECT_TRUE(w.write("target"));
      EXPECT_TRUE(w.write("new_name"));
      exchange = Exchange::passes;
      EXPECT_EQ(read_file_bytes("target"), replaced);
      EXPECT_EQ(read_file_bytes("new_name"), contents);
      EXPECT_EQ(read_file_bytes("second_name"), "earlier") << "another name keeps the earlier file";
      EXPECT_EQ(entries_in("."), 4);
      fs::remove("second_name");
      fs::remove("new_name");
    }
    write_file_bytes("target", "earlier");
    exchange = Exchange::target_becomes_directory;
    EXPECT_FALSE(w.write("target") && !fs::is_directory("target"));
    exchange = Exchange::passes;
    EXPECT_TRUE(fs::is_directory("target"));
    EXPECT_EQ(entries_in("."), 2);
  }
}

TEST(FileReplacement, AFailedWriteLeavesTheEarlierFileAndNoTemporary) {
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    TempDir dir;
    write_file_bytes("target", "earlier");
    {
      FileSizeLimit full(4);  // not even the first line fits
      w.write("target");
    }
    EXPECT_EQ(read_file_bytes("target"), "earlier");
    EXPECT_EQ(entries_in("."), 1);
  }
}

TEST(FileReplacement, BufferedAndLargeWritesArriveInOrderAndWholeOrNotAtAll) {
  TempDir dir;
  std::string expected;
  {
    FileReplacement file("big");
    ASSERT_TRUE(file.open());
    // Small pieces, then one larger than the buffer, then small again.
    for (int i = 0; i < 20000; ++i) {
      const std::string piece = std::to_string(i) + "\n";
      expected += piece;
      ASSERT_TRUE(file.write(piece));
    }
    const std::string large(200000, 'x');
    expected += large;
    ASSERT_TRUE(file.write(large));
    expected += "end";
    ASSERT_TRUE(file.write("end"));
    EXPECT_FALSE(fs::exists("big")) << "nothing is visible before the commit";
    ASSERT_TRUE(file.commit());
  }
  EXPECT_EQ(read_file_bytes("big"), expected);

  // Not committed: the earlier file stays and the temporary goes.
  {
    FileReplacement file("big");
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("new"));
  }
  EXPECT_EQ(read_file_bytes("big"), expected);
  EXPECT_EQ(entries_in("."), 1);

  // A full disk is a write failure, not a failure to open.
  {
    FileSizeLimit full(1000);
    FileReplacement file("big");
    ASSERT_TRUE(file.open());
    file.write(expected);
    EXPECT_FALSE(file.commit());
    EXPECT_TRUE(file.write_failed());
  }
  EXPECT_EQ(read_file_bytes("big"), expected);
  EXPECT_THROW(replace_file("folder/none", "x"), FileError);
  try {
    replace_file("folder/none", "x");
  } catch (const FileError& error) {
    EXPECT_STREQ(error.what(), "Cannot create file \"folder/none\"");
  }
}

}  // namespace
