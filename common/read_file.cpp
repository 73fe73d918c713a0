#include "common/read_file.h"

#include <cstdio>

#include "common/errors.h"
#include "common/open_file.h"

FileRead read_file(const char* name, std::string& text) {
  text.clear();
  const OpenFile file(name, "rb");
  if (file.get() == nullptr) return FileRead::not_opened;
  char buffer[16384];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  return std::ferror(file.get()) ? FileRead::failed : FileRead::done;
}

std::string read_file_text(const std::string& file) {
  std::string text;
  switch (read_file(file.c_str(), text)) {
    case FileRead::done:
      break;
    case FileRead::not_opened:
      throw file_error(FileAction::open, file);
    case FileRead::failed:
      throw file_error(FileAction::read, file);
  }
  return text;
}
