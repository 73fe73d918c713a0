#include "common/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "common/errors.h"
#include "common/write_all.h"

namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr int kMaxLinks = 40;  // as many as the kernel follows in one path
// Bytes gathered before they go to the file: few system calls for writers
// that hand over a row or a line at a time.
constexpr std::size_t kBufferBytes = std::size_t{1} << 16;

// Puts the file `from` in the place of `to`, atomically. Over an existing
// file the two are exchanged and the old one, now under the name `from`,
// removed: readers see the old file or the new one, as with a rename, but
// the file system does not start writing the new data out on the spot, as
// ext4 does for a rename over a file (a third of a millisecond for a
// profile of 880 kB). Where there is nothing to exchange with, or the file
// system or kernel cannot exchange, a rename.
bool move_into_place(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) != 0)
    return std::rename(from.c_str(), to.c_str()) == 0;
  // What came back must be the file it replaced: a directory put there
  // since (which a rename would have refused) goes back where it was.
  struct stat old {};
  if (::lstat(from.c_str(), &old) == 0 && S_ISDIR(old.st_mode)) {
    (void)::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE);
    return false;
  }
  (void)::unlink(from.c_str());  // a leftover would be the old file's copy, harmless
  return true;
}

}  // namespace

FileReplacement::FileReplacement(std::string file, Durability durability)
    : path_(std::move(file)), durability_(durability) {}

FileReplacement::~FileReplacement() {
  if (descriptor_ >= 0) ::close(descriptor_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool FileReplacement::resolve_links() {
  std::filesystem::path name(path_);
  std::error_code error;
  for (int hops = 0; std::filesystem::is_symlink(name, error); ++hops) {
    if (hops == kMaxLinks) return false;
    const std::filesystem::path target = std::filesystem::read_symlink(name, error);
    if (error) return false;
    name = target.is_absolute() ? target : name.parent_path() / target;
  }
  path_ = name.string();
  return true;
}

bool FileReplacement::open() {
  if (descriptor_ >= 0 || failed_) return false;
  failed_ = true;  // until every step below succeeded
  if (path_.empty() || !resolve_links()) return false;

  struct stat existing {};
  const bool exists = ::stat(path_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) return false;
  if (exists && !S_ISREG(existing.st_mode)) {
    // O_NONBLOCK: a FIFO without a reader fails at once instead of waiting
    // for one; the writes themselves then block as usual.
    descriptor_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor_ < 0) return false;
    const int flags = ::fcntl(descriptor_, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
    in_place_ = true;
    failed_ = false;
    return true;
  }
  // A write-protected file stays, as opening it for writing would fail.
  if (exists && ::access(path_.c_str(), W_OK) != 0) return false;

  for (int attempt = 0; attempt < kTemporaryNameAttempts && descriptor_ < 0; ++attempt) {
    temporary_ = path_ + ".~" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
    // 0666 less the umask, as a newly created file gets.
    descriptor_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor_ < 0 && errno != EEXIST) break;
  }
  if (descriptor_ < 0) {
    temporary_.clear();  // nothing of ours to remove
    return false;
  }
  if (exists) {
    if (::fchmod(descriptor_, existing.st_mode & 07777) != 0) return false;
    // Only a privileged process can give the file back to its owner; for any
    // other the new file is its own, as any rewrite of it would be.
    if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())
      (void)::fchown(descriptor_, existing.st_uid, existing.st_gid);
  }
  buffer_.reserve(kBufferBytes);
  failed_ = false;
  return true;
}

bool FileReplacement::flush() {
  if (failed_ || descriptor_ < 0) return false;
  if (!write_all(descriptor_, buffer_)) failed_ = write_failed_ = true;
  buffer_.clear();
  return !failed_;
}

bool FileReplacement::write(const void* bytes, std::size_t count) {
  if (failed_ || descriptor_ < 0) return false;
  const char* data = static_cast<const char*>(bytes);
  if (buffer_.size() + count > kBufferBytes) {
    if (!flush()) return false;
    if (count >= kBufferBytes) {
      if (!write_all(descriptor_, {data, count})) failed_ = write_failed_ = true;
      return !failed_;
    }
  }
  buffer_.append(data, count);
  return true;
}

bool FileReplacement::commit() {
  if (descriptor_ < 0) return false;
  bool ok = flush();
  // Durable before it becomes visible: after a crash the name holds the old
  // file or the whole new one. A device or FIFO has nothing to sync.
  if (ok && !in_place_ && durability_ == Durability::synced) ok = ::fsync(descriptor_) == 0;
  ok = ::close(descriptor_) == 0 && ok;
  descriptor_ = -1;
  if (!ok) write_failed_ = true;
  if (ok && !in_place_) ok = move_into_place(temporary_, path_);
  if (ok) temporary_.clear();
  failed_ = !ok;
  return ok;
}

bool write_file_whole(const std::string& file, std::string_view bytes, Durability durability) noexcept {
  try {
    FileReplacement replacement(file, durability);
    return replacement.open() && replacement.write(bytes) && replacement.commit();
  } catch (...) {  // out of memory for a name or the buffer
    return false;
  }
}

void replace_file(const std::string& file, std::string_view bytes, Durability durability) {
  if (!write_file_whole(file, bytes, durability)) throw file_error(FileAction::create, file);
}
