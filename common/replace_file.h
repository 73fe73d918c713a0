// Writing a file whole, so that a failure never leaves a half-written one.
// Every file the program and the engine write goes through here, with one
// rule:
//
// * The new contents go to a temporary file beside the target, which then
//   takes the target's place (exchanged with an existing file, which is
//   removed, or renamed to a new name): a reader, and a program that failed
//   half-way, see the old file or the complete new one. How they survive a
//   crash of the machine itself is the writer's choice (Durability).
// * A symbolic link stays a link: it is followed, link by link, and the file
//   it leads to is replaced (created when the link dangles). A loop of links
//   is refused.
// * A replaced file keeps its permission bits (and, where the process may
//   set them, its owner and group); a new one gets 0666 less the umask.
// * An existing write-protected file, a directory and an empty name are
//   refused; the name stays as it was.
// * Anything else that already exists under the name (a device, a FIFO, a
//   socket) is written in place: renaming over it would replace the node
//   itself. A FIFO that nobody reads is refused instead of waited on.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

enum class Durability {
  // Flushed to the disk (fsync) before the rename: after a crash of the
  // machine the name holds the old file or the complete new one. For what
  // users keep: settings, exports, tables, saved pictures.
  synced,
  // Renamed without waiting for the disk. For the working files every
  // "apply" and "profile" writes again (fringe images, profiles): a study
  // rewrites them thousands of times, and the flush cost more than making
  // them. After a crash of the machine such a file may be empty or short,
  // which its reader reports as an error; it is made again by the next run.
  atomic_only,
};

class FileReplacement {
 public:
  explicit FileReplacement(std::string file, Durability durability = Durability::synced);
  // A replacement that was not committed leaves the target as it was and
  // removes its temporary file.
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Prepares the new contents. False when the name cannot be written (see
  // above) or no temporary file can be created beside it.
  bool open();
  // Appends bytes. False after any failed write (a full disk, say); the
  // replacement is then failed and commit() leaves the target alone.
  bool write(const void* bytes, std::size_t count);
  bool write(std::string_view text) { return write(text.data(), text.size()); }
  // Puts the new contents in place. True when every step succeeded.
  bool commit();
  // After a failure: true when the bytes could not be written out (a full
  // disk, a device that refuses them), false when the name itself could not
  // be opened or replaced.
  bool write_failed() const { return write_failed_; }

 private:
  bool flush();
  bool resolve_links();

  std::string path_;
  std::string temporary_;  // ours until renamed; removed otherwise
  int descriptor_ = -1;
  Durability durability_;
  bool in_place_ = false;
  bool failed_ = false;
  bool write_failed_ = false;
  std::string buffer_;
};

// Replaces `file` by `bytes` under the rule above. True on success; on
// failure the file is as it was.
bool write_file_whole(const std::string& file, std::string_view bytes,
                      Durability durability = Durability::synced) noexcept;

// The same, throwing FileError `Cannot create file "<file>"` on failure.
void replace_file(const std::string& file, std::string_view bytes,
                  Durability durability = Durability::synced);
