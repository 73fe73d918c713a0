// Reading a file whole into memory, bytes as they are (no line-end
// translation). Plain C streams underneath: they report a failed read (a
// directory, say) by a flag, where the C++ streams stop as at the end of the
// file, and they throw nothing out of the engine.
#pragma once

#include <string>

enum class FileRead {
  done,
  not_opened,  // no such file, no permission, an empty name
  failed,      // opened, but a read failed: `text` holds what came before
};

// Replaces `text` by the contents of the file `name`. Throws nothing but
// std::bad_alloc; the file is closed on every way out.
FileRead read_file(const char* name, std::string& text);

// The contents of the file `file`; throws the file error "Cannot open file"
// when it cannot be opened and "Cannot read file" when a read fails.
std::string read_file_text(const std::string& file);
