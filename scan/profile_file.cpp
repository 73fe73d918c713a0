#include "profile_file.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/number_text.h"
#include "common/replace_file.h"

namespace {

// The text is made in blocks of this many bytes and handed over whole: a
// block at least as large as the replacement's own buffer goes to the file
// without another copy.
constexpr std::size_t kBlockBytes = std::size_t{1} << 16;

// Collects the file's text in blocks; false once a write failed.
class ProfileText {
 public:
  explicit ProfileText(FileReplacement& file) : file_(file), block_(kBlockBytes + kFixed6Room + 32) {}

  // Room for one line of at most kFixed6Room + 32 characters.
  char* room() { return block_.data() + used_; }
  void advance(char* end) {
    used_ = static_cast<std::size_t>(end - block_.data());
    if (used_ >= kBlockBytes) flush();
  }
  bool flush() {
    if (used_ > 0 && written_) written_ = file_.write(block_.data(), used_);
    used_ = 0;
    return written_;
  }

 private:
  FileReplacement& file_;
  std::vector<char> block_;
  std::size_t used_ = 0;
  bool written_ = true;
};

// The line of the last height made, by the height's bits. Lines are copied
// whole (the room for a line is larger). The line is taken from where it was
// made only when a height repeats it: reading it back at once would wait for
// the small stores that made it, for every height. Until then it is the last
// line made, which stays where it is in the block even when the block is
// handed over (the next lines are made from the block's start).
struct RepeatedLine {
  uint32_t bits = 0;
  std::size_t length = 0;  // 0: none yet
  const char* made = nullptr;  // where the line lies until it is copied
  char text[32] = {};
  const char* line() {
    if (made != nullptr) {
      std::memcpy(text, made, sizeof text);
      made = nullptr;
    }
    return text;
  }
};

// "%ld" of a count.
char* count_text(char* out, int32_t value) { return std::to_chars(out, out + 16, value).ptr; }

}  // namespace

void save_profile(const ScnMatrix& profile, const char* fileName, Durability durability) {
  if (fileName == nullptr || fileName[0] == '\0') return;
  if (profile.cols > 0 && profile.rows > 0 && profile.values == nullptr) return;

  FileReplacement file(fileName, durability);
  if (!file.open()) return;
  // The lines printf("%ld %ld\n"), ("%lf %lf\n") and ("%f\n") would write in
  // the "C" locale, whatever the caller's locale: fixed6_text gives exactly
  // those characters.
  ProfileText text(file);
  char* line = text.room();
  line = count_text(line, profile.cols);
  *line++ = ' ';
  line = count_text(line, profile.rows);
  *line++ = '\n';
  text.advance(line);
  line = fixed6_text(text.room(), profile.xStep);
  *line++ = ' ';
  text.advance(line);
  line = fixed6_text(text.room(), profile.yStep);
  *line++ = '\n';
  text.advance(line);
  // Row 0 first; row 0 lies at the bottom of the picture. A height with the
  // bits of the one before (the no-data height outside the mask, mostly) has
  // its line: it is copied, not made again.
  RepeatedLine repeated;
  for (int32_t row = 0; profile.cols > 0 && row < profile.rows; ++row) {
    const float* heights = profile.values[row];
    for (int32_t col = 0; col < profile.cols; ++col) {
      uint32_t bits;
      std::memcpy(&bits, &heights[col], sizeof bits);
      char* const start = text.room();
      if (repeated.length != 0 && bits == repeated.bits) {
        std::memcpy(start, repeated.line(), sizeof repeated.text);
        line = start + repeated.length;
      } else {
        line = fixed6_text(start, static_cast<double>(heights[col]));
        *line++ = '\n';
        const auto length = static_cast<std::size_t>(line - start);
        if (length <= sizeof repeated.text) {
          repeated.bits = bits;
          repeated.length = length;
          repeated.made = start;
        } else {
          repeated.length = 0;
        }
      }
      text.advance(line);
    }
  }
  if (text.flush()) file.commit();
}
