// A full disk for the current process: while a FileSizeLimit lives, a write
// that would make any file longer than the limit fails with EFBIG (SIGXFSZ
// is ignored meanwhile). Keep its scope to the writes under test: output of
// the test program to a redirected file is limited just the same.
#pragma once

#include <sys/resource.h>

#include <csignal>

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : previous_signal_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limited = previous_;
    limited.rlim_cur = bytes < previous_.rlim_max ? bytes : previous_.rlim_max;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previous_signal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  void (*previous_signal_)(int);
  rlimit previous_{};
};
