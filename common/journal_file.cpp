#include "common/journal_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/errors.h"
#include "common/replace_file.h"
#include "common/write_all.h"

JournalFile::JournalFile(std::string file, std::string_view head) : file_(std::move(file)) {
  replace_file(file_, head);
  descriptor_ = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (descriptor_ < 0) throw file_error(FileAction::create, file_);
}

JournalFile::~JournalFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void JournalFile::append(std::string_view line) {
  buffer_.assign(line);
  buffer_ += '\n';
  // One write for the line: with O_APPEND it lands whole at the end. A
  // short write (a disk filling up) is finished while there is room.
  if (!write_all(descriptor_, buffer_)) throw file_error(FileAction::write, file_);
}

bool file_can_be_written(const std::string& file) {
  FileReplacement probe(file);
  return probe.open();  // not committed: the destructor removes the probe file
}
