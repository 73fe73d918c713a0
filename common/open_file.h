// A C stream that closes itself on every way out of a function, also when an
// exception passes (an allocation that fails while the file is read, say).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class OpenFile {
 public:
  // `mode` as std::fopen takes it. A `buffer` of more than 0 bytes replaces
  // the C library's stream buffer: a reader that asks for a few KiB at a
  // time would otherwise cost a system call for each.
  OpenFile(const char* name, const char* mode, std::size_t buffer = 0) : file_(std::fopen(name, mode)) {
    if (file_ != nullptr && buffer > 0) std::setvbuf(file_, nullptr, _IOFBF, buffer);
  }
  OpenFile(const std::string& name, const char* mode, std::size_t buffer = 0)
      : OpenFile(name.c_str(), mode, buffer) {}
  ~OpenFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  // Null when the file could not be opened.
  std::FILE* get() const { return file_; }

 private:
  std::FILE* file_;
};
