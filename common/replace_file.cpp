#include "common/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/errors.h"

namespace {

// Several attempts at a free temporary name beside the target.
constexpr int kTemporaryNameAttempts = 100;

bool write_all(int descriptor, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(descriptor, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

void replace_file(const std::string& file, const std::string& bytes) {
  const auto fail = [&file]() { return FileError("Cannot create file \"" + file + "\""); };

  std::error_code error;
  std::string target = file;
  if (std::filesystem::is_symlink(file, error)) {
    target = std::filesystem::weakly_canonical(file, error).string();
    if (error) throw fail();
  }
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0)) throw fail();

  std::string temporary;
  int descriptor = -1;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && descriptor < 0; ++attempt) {
    temporary = target + ".~" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
    // 0666 lets the umask decide the permissions of a new file, as fopen does.
    descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0 && errno != EEXIST) break;
  }
  if (descriptor < 0) throw fail();

  bool ok = write_all(descriptor, bytes);
  if (ok && exists) ok = ::fchmod(descriptor, existing.st_mode & 07777) == 0;
  ok = (::close(descriptor) == 0) && ok;
  if (ok) ok = std::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    throw fail();
  }
}
