#include "analysis/height_text_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

#include "analysis/resample.h"
#include "analysis/word_reader.h"
#include "common/errors.h"
#include "common/number_text.h"
#include "common/replace_file.h"

namespace {

// The float of a "%f" word from its digits N (at most 15), its count of
// decimals d and its sign; false for the words left to from_chars.
bool fixed_float(uint64_t digits, std::ptrdiff_t decimals, bool negative, float& f) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
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

// A "%f" word read into a 32-bit float, as the scan module's heights are
// stored: correctly rounded to float, then widened.
//
// Words as printf's "%f" writes them (an optional minus, digits, a point,
// digits: at most 15 digits in all) are read directly: their digits N are an
// exact double, N / 10^d the correctly rounded double quotient, and rounding
// that to float gives the correctly rounded float unless the quotient lies
// exactly halfway between two floats (where the first rounding may have
// decided the second). scan_fixed_float reads such a word from p on, up to
// its first character that is not part of it (at most end), and returns that
// position; it returns nullptr for halfway quotients, values beyond the float
// range and text of any other form, which from_chars reads.
const char* scan_fixed_float(const char* p, const char* end, float& f) {
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  // Digits beyond the fifteenth may wrap the sum; such words are refused below.
  uint64_t digits = 0;
  const char* const integer_start = p;
  while (p != end && static_cast<unsigned char>(*p - '0') < 10) digits = digits * 10 + static_cast<uint64_t>(*p++ - '0');
  const std::ptrdiff_t integer_count = p - integer_start;
  if (integer_count == 0 || p == end || *p != '.') return nullptr;
  const char* const fraction_start = ++p;
  while (p != end && static_cast<unsigned char>(*p - '0') < 10) digits = digits * 10 + static_cast<uint64_t>(*p++ - '0');
  const std::ptrdiff_t decimals = p - fraction_start;
  if (decimals == 0 || integer_count + decimals > 15) return nullptr;
  return fixed_float(digits, decimals, negative, f) ? p : nullptr;
}

// Whether two words are equal, compared from their ends: neighbouring heights
// mostly differ in their last digits.
bool same_word(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = a.size(); i-- > 0;)
    if (a[i] != b[i]) return false;
  return true;
}

// Rows y0 .. y0 + rows - 1 of the grid, held row after row in `block` (nx
// heights a row), into the grid's columns.
void rows_into_columns(const double* block, int rows, HeightMatrix& grid, int y0) {
  const auto nx = static_cast<std::size_t>(grid.nx());
  for (std::size_t x = 0; x < nx; ++x) {
    double* column = grid.column(static_cast<int>(x)) + y0;
    for (int y = 0; y < rows; ++y) column[y] = block[static_cast<std::size_t>(y) * nx + x];
  }
}

// One "%d" word: optional sign and decimal digits.
bool parse_int(std::string_view word, int& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
  return result.ec == std::errc() && result.ptr == word.data() + word.size();
}

// One "%f" word as a 32-bit float, widened. "nan" and "inf" (which printf
// writes for such heights) are accepted; values beyond the float range are
// not. from_chars reads what scan_fixed_float leaves, to the same float.
bool parse_float(std::string_view word, double& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  float f = 0.0f;
  if (scan_fixed_float(word.data(), word.data() + word.size(), f) == word.data() + word.size()) {
    value = static_cast<double>(f);
    return true;
  }
  const auto result = std::from_chars(word.data(), word.data() + word.size(), f, std::chars_format::general);
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
  return place_profile(read_profile_grid(file), target, width, height);
}

ProfileHeights profile_as_read(const ScnMatrix& profile) {
  // Each number as the engine's file states it ("%f") and as the reader
  // takes that text back. Heights repeat (the no-data height above all):
  // the last one's reading is kept by its bits.
  char text[kFixed6Room];
  const auto as_read = [&text](double value) {
    double read = std::numeric_limits<double>::quiet_NaN();
    parse_float(std::string_view(text, static_cast<std::size_t>(fixed6_text(text, value) - text)), read);
    return read;
  };
  const int nx = profile.values != nullptr ? profile.cols : 0;
  const int ny = profile.values != nullptr ? profile.rows : 0;
  ProfileHeights grid{as_read(profile.xStep), as_read(profile.yStep), HeightMatrix(nx, ny)};
  uint32_t last_bits = 0;
  double last_read = 0.0;
  bool have_last = false;
  for (int y = 0; y < ny; ++y) {
    const float* row = profile.values[y];
    for (int x = 0; x < nx; ++x) {
      uint32_t bits;
      std::memcpy(&bits, &row[x], sizeof bits);
      if (!have_last || bits != last_bits) {
        last_read = as_read(static_cast<double>(row[x]));
        last_bits = bits;
        have_last = true;
      }
      grid.heights(x, y) = last_read;
    }
  }
  return grid;
}

ProfileGrid place_profile(const ProfileHeights& whole, HeightMatrix& target, int width, int height) {
  if (width < 1 || height < 1 || width > target.nx() || height > target.ny()) {
    throw std::invalid_argument("place_profile: result size outside the target map");
  }
  const HeightMatrix& profile = whole.heights;
  const int nx = profile.nx();
  const int ny = profile.ny();
  ProfileGrid grid;
  grid.step_x = whole.step_x;
  grid.step_y = whole.step_y;

  // Cut the centred square of side n out of the longer direction. A result
  // of the target's size is made in the target itself (resampling fails, if
  // at all, before it writes); any other in a grid of its own, copied into
  // the target's corner.
  const bool in_place = nx >= ny && target.nx() == width && target.ny() == height;
  HeightMatrix own = in_place ? HeightMatrix(0, 0) : HeightMatrix(width, height, 0.0);
  HeightMatrix& result = in_place ? target : own;
  int n = 0;
  if (nx >= ny) {
    // The square is a run of whole columns of the profile, resampled where
    // it lies.
    n = ny;
    const int offset = static_cast<int>(std::lrint((nx - ny) * 0.5));
    resample_bilinear(profile.column(offset), n, n, width, height, result);
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
  if (!in_place) {
    for (int i = 0; i < width; ++i) {
      for (int j = 0; j < height; ++j) target(i, j) = result(i, j);
    }
  }
  grid.side_x = n;
  grid.side_y = n;
  return grid;
}

namespace {

// The lines of heights written before, found again by their bits. Maps
// repeat heights: the no-data height outside a mask, a centred reference
// sphere (whose height depends on the distance from its apex only, so each
// comes back up to eight times), flat regions. A height with the bits of one
// written before takes a copy of that one's line, which is the same text.
class LineCache {
 public:
  // Slots for `heights` heights at most as many as there are: a small map's
  // cache would otherwise be zeroed at its full size for a few lines.
  explicit LineCache(std::size_t heights)
      : slot_bits_(std::bit_width(std::clamp<std::size_t>(heights, 16, kSlots) - 1)),
        slots_(std::size_t{1} << slot_bits_) {}

  // Writes the line of `height` ("%f", a blank, a line end) at text[used],
  // which has room for the longest; returns the end of the line.
  std::size_t write(std::string& text, std::size_t used, double height) {
    uint64_t bits;
    std::memcpy(&bits, &height, sizeof bits);
    Slot& slot = slots_[(bits * 0x9E3779B97F4A7C15u) >> (64 - slot_bits_)];
    char* const start = text.data() + used;
    if (slot.length != 0 && slot.bits == bits) {
      // Sixteen bytes at once, through a copy: the earlier line may end
      // right where this one starts.
      char line[kShortLine];
      std::memcpy(line, text.data() + slot.offset, sizeof line);
      std::memcpy(start, line, sizeof line);
      return used + slot.length;
    }
    char* end = fixed6_text(start, height);
    *end++ = ' ';
    *end++ = '\n';
    const auto length = static_cast<std::size_t>(end - start);
    if (length <= kShortLine) slot = {bits, used, static_cast<uint32_t>(length)};
    return used + length;
  }

 private:
  static constexpr int kSlotBits = 14;
  static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
  static constexpr std::size_t kShortLine = 16;  // longer lines are made again
  struct Slot {
    uint64_t bits = 0;
    std::size_t offset = 0;
    uint32_t length = 0;  // 0: empty
  };
  int slot_bits_;
  std::vector<Slot> slots_;
};

}  // namespace

void write_heights(const std::string& file, const HeightMatrix& map, int nx, int ny, double step_x,
                   double step_y, Durability durability) {
  if (nx < 0 || ny < 0 || nx > map.nx() || ny > map.ny()) {
    throw std::invalid_argument("write_heights: counts outside the map");
  }
  std::string text = std::to_string(nx) + " " + std::to_string(ny) + " \n";
  append_fixed(text, step_x);
  text += ' ';
  append_fixed(text, step_y);
  text += " \n";
  // The heights are written straight into the text, which has room for a
  // line of the longest height before each one (most take some 10 bytes).
  std::size_t used = text.size();
  text.resize(used + static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) * 12 + kFixed6Room + 2);
  LineCache lines(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
  for (int y = 0; y < ny; ++y) {
    for (int x = 0; x < nx; ++x) {
      if (text.size() - used < static_cast<std::size_t>(kFixed6Room) + 2) text.resize(2 * text.size());
      used = lines.write(text, used, map(x, y));
    }
  }
  text.resize(used);
  replace_file(file, text, durability);
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

  WordReader reader(stream.get(), static_cast<std::size_t>(info.st_size));
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
  // The file holds the heights row after row, x across: they are read into a
  // block of rows first, then put into the grid (x major) eight rows at a
  // time, so that each column's eight heights fill one cache line. A word
  // equal to the one before takes its value unread, and so do the copies of
  // it that follow.
  constexpr std::size_t kRowsAtOnce = 8;
  const auto cells = static_cast<std::size_t>(count);
  const std::size_t block_cells = std::min(cells, kRowsAtOnce * static_cast<std::size_t>(nx));
  std::vector<double> block(block_cells);
  std::size_t block_start = 0;  // the cell (y * nx + x) at block[0]
  const auto flush = [&](std::size_t end) {
    const auto y0 = static_cast<int>(block_start / static_cast<std::size_t>(nx));
    rows_into_columns(block.data(), static_cast<int>(end / static_cast<std::size_t>(nx)) - y0, grid.heights, y0);
    block_start = end;
  };
  char last_word[WordReader::kMaxWord];
  std::string_view last;
  double height = 0.0;
  for (std::size_t k = 0; k < cells;) {
    if ((word = reader.next()).empty()) {
      throw bad("only " + std::to_string(k) + " of " + std::to_string(count) + " heights");
    }
    std::size_t same = 1;
    if (!same_word(word, last)) {
      if (!parse_float(word, height)) throw bad("'" + std::string(word) + "' is not a height");
      last = {last_word, word.size()};
      std::memcpy(last_word, word.data(), word.size());
    } else {
      same += reader.skip_copies(cells - k - 1);
    }
    while (same > 0) {
      if (k == block_start + block_cells) flush(k);
      const std::size_t n = std::min(same, block_start + block_cells - k);
      std::fill_n(block.data() + (k - block_start), n, height);
      k += n;
      same -= n;
    }
  }
  flush(cells);
  if (reader.failed()) throw bad("read error");
  return grid;
}
