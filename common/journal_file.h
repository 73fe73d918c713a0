// A file that grows line by line while a long job works and keeps every line
// it was given when the job is interrupted: Ctrl-C, a killed process, a
// cancelled study. It is made whole through replace_file() with its first
// lines (so it never exists half-made), then each line is appended with one
// write(2) of the whole line: a process that dies leaves whole lines. After a
// crash of the machine itself the last line may be torn; readers of a
// journal drop a last line without its line end.
#pragma once

#include <string>
#include <string_view>

class JournalFile {
 public:
  // Creates or replaces `file` with `head` (whole lines, each ending in LF)
  // and opens it for appending. Throws FileError `Cannot create file
  // "<file>"`.
  JournalFile(std::string file, std::string_view head);
  ~JournalFile();
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // Appends `line` and a LF in one write. Throws FileError `Cannot write file
  // "<file>"` (a full disk); what was appended before stays.
  void append(std::string_view line);

  const std::string& file() const { return file_; }

 private:
  std::string file_;
  int descriptor_ = -1;
  std::string buffer_;
};

// True when `file` can be replaced whole (see replace_file.h): its folder
// takes a new file, and the name is no directory and not write-protected.
// Leaves nothing behind: the probe file is removed again, and the file
// itself is neither created nor touched.
bool file_can_be_written(const std::string& file);
