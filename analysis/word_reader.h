// Whitespace-separated words of a text file, read in blocks, for the height
// text files' reader (analysis/height_text_file.h).
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Whitespace-separated words of a text file, read in blocks. A word is what
// one "%d" or "%f" conversion consumes in a well-formed file; a word longer
// than kMaxWord characters is cut there and marks the reading as failed.
// Words are handed out as views into the block (valid until the next call);
// only a word that runs across the end of a block is copied.
class WordReader {
 public:
  static constexpr std::size_t kMaxWord = 64;  // no number of ours is longer

  // `file_bytes`, the file's size when known, sizes the block: a small file
  // is read whole without zeroing a block many times its size.
  explicit WordReader(std::FILE* stream, std::size_t file_bytes = kBlockBytes)
      : stream_(stream), block_(std::clamp(file_bytes + 1, kMinBlockBytes, kBlockBytes)) {}

  // The next word, or an empty one at the end of the file or on a read error.
  std::string_view next() {
    for (;;) {
      while (position_ < filled_ && is_space(block_[position_])) ++position_;
      if (position_ < filled_) break;
      if (!refill()) return {};
    }
    const std::size_t start = position_;
    skip_word();
    start_ = start;
    if (position_ != filled_) return cut({block_.data() + start, position_ - start});
    start_ = kCopied;
    // The word may go on in the next block; what lies beyond kMaxWord is not kept.
    word_.assign(block_.data() + start, std::min(position_ - start, kMaxWord + 1));
    while (refill()) {
      skip_word();
      word_.append(block_.data(), std::min(position_, kMaxWord + 1 - word_.size()));
      if (position_ != filled_) break;
    }
    return cut(word_);
  }
  // After next(): how many copies of the word it gave, each followed by the
  // same blank, come next in the block (at most `most`); they are passed over.
  // Profiles repeat the no-data height outside the mask in long runs.
  std::size_t skip_copies(std::size_t most) {
    if (start_ == kCopied || position_ - start_ > kMaxWord) return 0;
    const std::size_t unit = position_ + 1 - start_;  // the word and its blank
    const char* const first = block_.data() + start_;
    const std::size_t room = std::min(most, (filled_ - start_) / unit - 1);
    // Text of period `unit` over n + 1 units holds n copies: checked sixteen
    // copies at a time, then one at a time.
    const auto copies_at = [&](std::size_t n, std::size_t more) {
      return std::memcmp(first + (n + 1) * unit, first + n * unit, more * unit) == 0;
    };
    std::size_t n = 0;
    while (room - n >= 16 && copies_at(n, 16)) n += 16;
    while (n < room && copies_at(n, 1)) ++n;
    position_ = start_ + (n + 1) * unit - 1;  // the blank after the last copy
    return n;
  }
  bool failed() const { return std::ferror(stream_) != 0 || overlong_; }

 private:
  // White space as isspace has it in the "C" locale.
  static bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

  static constexpr std::size_t kCopied = ~std::size_t{0};  // start_ of a word copied out of the blocks
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 16;
  static constexpr std::size_t kMinBlockBytes = std::size_t{1} << 12;

  // To the first blank at or after position_, at most filled_; eight bytes
  // at a time to the first byte of ' ' or below, which is then looked at.
  void skip_word() {
    const char* p = block_.data() + position_;
    const char* const end = block_.data() + filled_;
    if constexpr (std::endian::native == std::endian::little) {
      constexpr uint64_t kOnes = 0x0101010101010101u;
      while (end - p >= 8) {
        uint64_t bytes;
        std::memcpy(&bytes, p, sizeof bytes);
        // The lowest flag marks the first byte below 0x21 exactly.
        const uint64_t below = (bytes - 0x21 * kOnes) & ~bytes & (0x80 * kOnes);
        if (below == 0) {
          p += 8;
          continue;
        }
        p += std::countr_zero(below) / 8;
        if (is_space(*p)) break;
        ++p;
      }
    }
    while (p != end && !is_space(*p)) ++p;
    position_ = static_cast<std::size_t>(p - block_.data());
  }
  std::string_view cut(std::string_view word) {
    if (word.size() <= kMaxWord) return word;
    overlong_ = true;
    return word.substr(0, kMaxWord);
  }
  bool refill() {
    position_ = 0;
    filled_ = std::fread(block_.data(), 1, block_.size(), stream_);
    return filled_ != 0;
  }

  std::FILE* stream_;
  std::vector<char> block_;
  std::size_t filled_ = 0;
  std::size_t position_ = 0;
  std::size_t start_ = kCopied;  // where the last word handed out starts in the block
  std::string word_;
  bool overlong_ = false;
};
