#include "common/errors.h"

namespace {

const char* verb(FileAction action) {
  switch (action) {
    case FileAction::open:
      return "open";
    case FileAction::create:
      return "create";
    case FileAction::read:
      return "read";
    case FileAction::write:
      break;
  }
  return "write";
}

FileError worded(FileAction action, const char* kind, const std::string& name,
                 const std::string& detail) {
  return FileError(std::string("Cannot ") + verb(action) + " " + kind + " \"" + name + "\"" + detail);
}

}  // namespace

FileError file_error(FileAction action, const std::string& name, const std::string& detail) {
  return worded(action, "file", name, detail);
}

FileError directory_error(FileAction action, const std::string& name, const std::string& detail) {
  return worded(action, "directory", name, detail);
}

std::string settings_file_label(const std::string& file) {
  return file.starts_with("./") && file.size() > 2 ? file.substr(2) : file;
}

SettingsError settings_value_error(const std::string& file, const std::string& key, const std::string& text,
                                   const std::string& what) {
  return settings_file_error(file, key + " = \"" + text + "\" " + what);
}

SettingsError settings_file_error(const std::string& file, const std::string& what) {
  return SettingsError(settings_file_label(file) + ": " + what);
}
