#include "analysis/height_text_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

#include "analysis/resample.h"
#include "common/errors.h"
#include "common/number_text.h"
#include "common/replace_file.h"

namespace {

// Whitespace-separated words of a text file, read in blocks. A word is what
// one "%d" or "%f" conversion consumes in a well-formed file; a word longer
// than kMaxWord characters is cut there and marks the reading as failed.
// Words are handed out as views into the block (valid until the next call);
// only a word that runs across the end of a block is copied.
class WordReader {
 public:
  explicit WordReader(std::FILE* stream) : stream_(stream), buffer_(kBlockBytes) {}

  // The next word, or an empty one at the end of the file or on a read error.
  std::string_view next() {
    for (;;) {
      while (position_ != filled_ && is_space(buffer_[position_])) ++position_;
      if (position_ != filled_) break;
      if (!refill()) return {};
    }
    const std::size_t start = position_;
    while (position_ != filled_ && !is_space(buffer_[position_])) ++position_;
    if (position_ != filled_) return cut(buffer_.data() + start, position_ - start);
    // The word may go on in the next block.
    std::size_t length = 0;
    append(buffer_.data() + start, position_ - start, length);
    while (refill()) {
      const std::size_t from = position_;
      while (position_ != filled_ && !is_space(buffer_[position_])) ++position_;
      append(buffer_.data() + from, position_ - from, length);
      if (position_ != filled_) break;
    }
    return {word_, length};
  }
  bool failed() const { return std::ferror(stream_) != 0 || overlong_; }

 private:
  static constexpr std::size_t kMaxWord = 64;  // no number of ours is longer
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 16;
  static bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

  std::string_view cut(const char* start, std::size_t length) {
    if (length > kMaxWord) {
      overlong_ = true;
      length = kMaxWord;
    }
    return {start, length};
  }
  void append(const char* piece, std::size_t count, std::size_t& length) {
    const std::size_t kept = std::min(count, kMaxWord - length);
    std::memcpy(word_ + length, piece, kept);
    length += kept;
    if (kept < count) overlong_ = true;
  }
  bool refill() {
    position_ = 0;
    filled_ = std::fread(buffer_.data(), 1, buffer_.size(), stream_);
    return filled_ != 0;
  }

  std::FILE* stream_;
  std::vector<char> buffer_;
  std::size_t filled_ = 0;
  std::size_t position_ = 0;
  char word_[kMaxWord] = {};
  bool overlong_ = false;
};

// One "%d" word: optional sign and decimal digits.
bool parse_int(std::string_view word, int& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
  return result.ec == std::errc() && result.ptr == word.data() + word.size();
}

// One "%f" word read into a 32-bit float, as the scan module's heights are
// stored: correctly rounded to float, then widened. "nan" and "inf" (which
// printf writes for such heights) are accepted; values beyond the float range
// are not.
//
// Words as printf's "%f" writes them (an optional minus, digits, a point,
// digits: at most 15 digits in all) are read directly: their digits N are an
// exact double, N / 10^d the correctly rounded double quotient, and rounding
// that to float gives the correctly rounded float unless the quotient lies
// exactly halfway between two floats (where the first rounding may have
// decided the second): those, and every other word, go to from_chars.
bool parse_fixed_float(std::string_view word, float& f) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::size_t i = 0;
  const bool negative = !word.empty() && word[0] == '-';
  if (negative) i = 1;
  uint64_t digits = 0;
  int count = 0;
  int decimals = -1;
  for (; i < word.size(); ++i) {
    const char c = word[i];
    if (c == '.' && decimals < 0 && count > 0) {
      decimals = 0;
      continue;
    }
    if (c < '0' || c > '9' || count == 15) return false;
    digits = digits * 10 + static_cast<uint64_t>(c - '0');
    ++count;
    if (decimals >= 0) ++decimals;
  }
  if (decimals <= 0) return false;
  const double quotient = static_cast<double>(digits) / kPowers[decimals];
  // Float range and halfway cases left to from_chars: below FLT_MIN the float
  // has fewer bits, and 29 dropped bits of exactly 1000...0 mark a halfway
  // quotient.
  if (quotient != 0.0 && !(quotient >= static_cast<double>(FLT_MIN) && quotient <= static_cast<double>(FLT_MAX)))
    return false;
  uint64_t bits;
  std::memcpy(&bits, &quotient, sizeof bits);
  if ((bits & ((uint64_t{1} << 29) - 1)) == (uint64_t{1} << 28)) return false;
  f = static_cast<float>(negative ? -quotient : quotient);
  return true;
}

bool parse_float(std::string_view word, double& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  float f = 0.0f;
  if (parse_fixed_float(word, f)) {
    value = static_cast<double>(f);
    return true;
  }
  const auto result =
      std::from_chars(word.data(), word.data() + word.size(), f, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != word.data() + word.size()) return false;
  value = static_cast<double>(f);
  return true;
}

// Six decimals, the point as separator whatever the C locale ("%f").
void append_fixed(std::string& text, double value) {
  char buffer[kFixed6Room];
  text.append(buffer, fixed6_text(buffer, value));
}

}  // namespace

ProfileGrid read_profile(const std::string& file, HeightMatrix& target, int width, int height) {
  if (width < 1 || height < 1 || width > target.nx() || height > target.ny()) {
    throw std::invalid_argument("read_profile: result size outside the target map");
  }
  const ProfileHeights whole = read_profile_grid(file);
  const HeightMatrix& profile = whole.heights;
  const int nx = profile.nx();
  const int ny = profile.ny();
  ProfileGrid grid;
  grid.step_x = whole.step_x;
  grid.step_y = whole.step_y;

  // Cut the centred square of side n out of the longer direction.
  HeightMatrix result(width, height, 0.0);
  int n = 0;
  if (nx >= ny) {
    n = ny;
    const int offset = static_cast<int>(std::lrint((nx - ny) * 0.5));
    HeightMatrix square(n, n);
    for (int x = 0; x < n; ++x) {
      for (int y = 0; y < n; ++y) square(x, y) = profile(x + offset, y);
    }
    resample_bilinear(square, width, height, result);
  } else {
    n = nx;
    const int offset = static_cast<int>(std::lrint((ny - nx) * 0.5));
    HeightMatrix square(n, n);
    for (int x = 0; x < n; ++x) {
      for (int y = 0; y < n; ++y) square(x, y) = profile(x, y + offset);
    }
    // Nearest cell with scale n / width: the last column and row may fall
    // just outside the square and keep 0.0.
    for (int i = 0; i < width; ++i) {
      const long sx = std::lrint(static_cast<double>(i) / width * n);
      for (int j = 0; j < height; ++j) {
        const long sy = std::lrint(static_cast<double>(j) / height * n);
        if (sx >= 0 && sx < n && sy >= 0 && sy < n) {
          result(i, j) = square(static_cast<int>(sx), static_cast<int>(sy));
        }
      }
    }
  }

  for (int i = 0; i < width; ++i) {
    for (int j = 0; j < height; ++j) target(i, j) = result(i, j);
  }
  grid.side_x = n;
  grid.side_y = n;
  return grid;
}

void write_heights(const std::string& file, const HeightMatrix& map, int nx, int ny, double step_x,
                   double step_y) {
  if (nx < 0 || ny < 0 || nx > map.nx() || ny > map.ny()) {
    throw std::invalid_argument("write_heights: counts outside the map");
  }
  std::string text;
  text.reserve(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) * 12 + 64);
  text += std::to_string(nx) + " " + std::to_string(ny) + " \n";
  append_fixed(text, step_x);
  text += ' ';
  append_fixed(text, step_y);
  text += " \n";
  for (int y = 0; y < ny; ++y) {
    for (int x = 0; x < nx; ++x) {
      append_fixed(text, map(x, y));
      text += " \n";
    }
  }
  replace_file(file, text);
}

ProfileHeights read_profile_grid(const std::string& file) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file.c_str(), "r"), std::fclose);
  struct stat info {};
  if (!stream || ::fstat(::fileno(stream.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
    throw file_error(FileAction::open, file);
  }
  const auto bad = [&file](const std::string& reason) {
    return file_error(FileAction::read, file, ": " + reason);
  };

  WordReader reader(stream.get());
  std::string_view word;
  int nx = 0;
  int ny = 0;
  if ((word = reader.next()).empty() || !parse_int(word, nx) || (word = reader.next()).empty() ||
      !parse_int(word, ny)) {
    throw bad("no grid size");
  }
  if (nx < 1 || ny < 1 || nx > kMaxProfileSide || ny > kMaxProfileSide) {
    throw bad("grid size " + std::to_string(nx) + " x " + std::to_string(ny) + " out of range");
  }
  // Every height takes at least a digit and a separator: reject counts the
  // file cannot hold before allocating the grid.
  const long long count = static_cast<long long>(nx) * ny;
  if (count * 2 - 1 > static_cast<long long>(info.st_size)) {
    throw bad("file too short for " + std::to_string(nx) + " x " + std::to_string(ny) + " heights");
  }
  ProfileHeights grid{0.0, 0.0, HeightMatrix(nx, ny)};
  if ((word = reader.next()).empty() || !parse_float(word, grid.step_x) ||
      (word = reader.next()).empty() || !parse_float(word, grid.step_y)) {
    throw bad("no grid spacing");
  }
  for (int y = 0; y < ny; ++y) {
    for (int x = 0; x < nx; ++x) {
      if ((word = reader.next()).empty()) {
        throw bad("only " + std::to_string(static_cast<long long>(y) * nx + x) + " of " +
                  std::to_string(count) + " heights");
      }
      if (!parse_float(word, grid.heights(x, y))) throw bad("'" + std::string(word) + "' is not a height");
    }
  }
  if (reader.failed()) throw bad("read error");
  return grid;
}
