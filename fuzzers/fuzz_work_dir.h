// The readers under fuzzing take file names, so every input is written to a
// file first. Each process gets one private directory, made once with mkdtemp
// under the temporary directory ($TMPDIR or /tmp), with the process id in its
// name: parallel fuzzing processes never share a file. Targets empty it after
// every input and it is removed when the process exits normally.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz_detail {

inline std::string& work_dir_path() {
  static std::string path;
  return path;
}

inline void remove_work_dir() {
  std::error_code ignored;
  if (!work_dir_path().empty()) std::filesystem::remove_all(work_dir_path(), ignored);
}

}  // namespace fuzz_detail

// The process's directory; aborts when it cannot be made (no input could be
// tried without it).
inline const std::string& fuzz_work_dir() {
  std::string& path = fuzz_detail::work_dir_path();
  if (path.empty()) {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) base = "/tmp";
    std::string pattern =
        (base / ("fringe-fuzz-" + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern;
    std::atexit(fuzz_detail::remove_work_dir);
  }
  return path;
}

// Full name of a work file in the process's directory.
inline std::string fuzz_work_file(const char* name) { return fuzz_work_dir() + "/" + name; }

// Writes the bytes as the whole file; aborts when that fails, since a reader
// would then be tried on other bytes than the input.
inline void write_work_file(const std::string& file, const uint8_t* data, std::size_t size) {
  std::FILE* stream = std::fopen(file.c_str(), "wb");
  if (stream == nullptr) std::abort();
  const bool written = size == 0 || std::fwrite(data, 1, size, stream) == size;
  if (std::fclose(stream) != 0 || !written) std::abort();
}

inline void write_work_file(const std::string& file, const std::string& text) {
  write_work_file(file, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The whole file's bytes; aborts when it cannot be read.
inline std::string read_work_file(const std::string& file) {
  std::FILE* stream = std::fopen(file.c_str(), "rb");
  if (stream == nullptr) std::abort();
  std::string text;
  char block[4096];
  std::size_t count = 0;
  while ((count = std::fread(block, 1, sizeof block, stream)) > 0) text.append(block, count);
  const bool failed = std::ferror(stream) != 0;
  if (std::fclose(stream) != 0 || failed) std::abort();
  return text;
}

// Removes everything the last input left in the directory (the readers'
// temporary files included), keeping the directory for the next input.
inline void clear_work_dir() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(fuzz_work_dir(), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
}

// Stops the process as a crash, so that a broken property is reported with
// the input that broke it, like a sanitizer finding.
[[noreturn]] inline void fuzz_fail(const char* what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what);
  std::abort();
}
