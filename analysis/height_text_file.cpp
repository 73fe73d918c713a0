#include "analysis/height_text_file.h"

#include <sys/stat.h>

#include <algorithm>
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

#include <immintrin.h>

#include "analysis/resample.h"
#include "common/errors.h"
#include "common/number_text.h"
#include "common/replace_file.h"
#include "scan/cpu_features.h"
#include "scan/lane_masks.h"

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

// scan_fixed_float for the word "%f" writes for heights below 10^8: an
// optional minus, one to eight digits, a point and six digits, 16 bytes of
// which can be read. Its digits are gathered in one vector, right-aligned and
// without the point, and summed in pairs, fours and eights, which gives the
// same N as the digit loop. nullptr both for the words scan_fixed_float
// refuses and for those of any other form, which it reads.
AVX512_TARGET inline __attribute__((always_inline)) const char* six_decimals(const char* p, float& f) {
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i values = _mm_sub_epi8(text, _mm_set1_epi8('0'));
  const auto digit_bits = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values)));
  const auto point_bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(text, _mm_set1_epi8('.'))));
  const int sign = p[0] == '-' ? 1 : 0;
  const int point = __builtin_ctz(point_bits | 0x10000u);
  // The point at 1 .. 8 after the sign, digits before it and six after it,
  // and no digit after those (the word then ends inside the 16 bytes).
  if (point <= sign || point > 8) return nullptr;
  const unsigned wanted = ((1u << point) - (1u << sign)) | (0x3Fu << (point + 1));
  if ((digit_bits & (wanted | (1u << (point + 7)))) != wanted) return nullptr;
  // Byte j of the gathered digits: the word's byte point - 10 + j for the
  // integer digits (j <= 9), point - 9 + j for the decimals; zero before the
  // first digit.
  const __m128i from_point = _mm_setr_epi8(-10, -9, -8, -7, -6, -5, -4, -3, -2, -1, 1, 2, 3, 4, 5, 6);
  const __m128i index = _mm_add_epi8(from_point, _mm_set1_epi8(static_cast<char>(point)));
  const __m128i before_digits = _mm_cmplt_epi8(index, _mm_set1_epi8(static_cast<char>(sign)));
  const __m128i gathered = _mm_shuffle_epi8(values, _mm_or_si128(index, before_digits));
  const __m128i pairs = _mm_maddubs_epi16(gathered, _mm_set1_epi16(0x010A));  // 10, 1
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00010064));    // 100, 1
  const __m128i eights = _mm_madd_epi16(_mm_packus_epi32(fours, fours), _mm_set1_epi32(0x00012710));  // 10000, 1
  const uint64_t digits = static_cast<uint64_t>(_mm_cvtsi128_si32(eights)) * 100000000u +
                          static_cast<uint64_t>(_mm_extract_epi32(eights, 1));
  return fixed_float(digits, 6, sign != 0, f) ? p + point + 7 : nullptr;
}
AVX512_TARGET const char* scan_six_decimals(const char* p, float& f) { return six_decimals(p, f); }

bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Whether two texts of n <= 16 characters are equal, reading 16 bytes of
// each (the reader's read-ahead), in little-endian byte order.
bool same_short_text(const char* a, const char* b, std::size_t n) {
  uint64_t a0, a1, b0, b1;
  std::memcpy(&a0, a, 8);
  std::memcpy(&a1, a + 8, 8);
  std::memcpy(&b0, b, 8);
  std::memcpy(&b1, b + 8, 8);
  const uint64_t low = n >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1;
  const uint64_t high = n >= 16 ? ~uint64_t{0} : n <= 8 ? 0 : (uint64_t{1} << (8 * (n - 8))) - 1;
  return (((a0 ^ b0) & low) | ((a1 ^ b1) & high)) == 0;
}

// Whitespace-separated words of a text file, read in blocks. A word is what
// one "%d" or "%f" conversion consumes in a well-formed file; a word longer
// than kMaxWord characters is cut there and marks the reading as failed.
// Words are handed out as views into the block (valid until the next call);
// only a word that runs across the end of a block is copied. At least
// kReadAhead bytes can be read from the start of every word handed out (the
// block ends in blanks), so that a short word can be compared whole.
class WordReader {
 public:
  static constexpr std::size_t kMaxWord = 64;  // no number of ours is longer
  static constexpr std::size_t kReadAhead = 16;

  explicit WordReader(std::FILE* stream) : stream_(stream), buffer_(kBlockBytes + kReadAhead, ' ') {}

  // The next word, or an empty one at the end of the file or on a read error.
  std::string_view next() {
    const char* const block = buffer_.data();
    for (;;) {
      while (position_ < filled_) {
        const unsigned words = ~space_bits(block + position_) & 0xFFFFu;
        if (words != 0) {
          position_ += static_cast<std::size_t>(__builtin_ctz(words));
          break;
        }
        position_ += kReadAhead;
      }
      if (position_ < filled_) break;
      if (!refill()) return {};
    }
    last_repeated_ = false;
    const std::size_t start = position_;
    position_ = word_end(position_);
    if (position_ != filled_) return cut(block + start, position_ - start);
    // The word may go on in the next block.
    std::size_t length = 0;
    append(block + start, position_ - start, length);
    while (refill()) {
      const std::size_t from = position_;
      position_ = word_end(position_);
      append(block + from, position_ - from, length);
      if (position_ != filled_) break;
    }
    return {word_, length};
  }
  // The next word as a height where it is a "%f" word lying wholly in the
  // block (see scan_fixed_float); false, with nothing consumed, for any other
  // word, which next() then hands out. A word equal to the one read this way
  // before (with the same blank after it) has its value without being read
  // again: profiles repeat the no-data height outside the mask.
  bool next_fixed_height(float& value) {
    const char* const block = buffer_.data();
    std::size_t start = position_;
    while (start < filled_ && is_space(block[start])) ++start;
    if (start + kReadAhead >= filled_) return false;
    const char* const word = block + start;
    if (repeat_length_ != 0 && same_short_text(word, repeat_text_, repeat_length_ + 1)) {
      value = repeat_value_;
      position_ = start + repeat_length_;
      last_repeated_ = true;
      return true;
    }
    const char* end = wide_ ? scan_six_decimals(word, value) : nullptr;
    if (end == nullptr) end = scan_fixed_float(word, block + filled_, value);
    if (end == nullptr || end == block + filled_ || !is_space(*end)) return false;
    position_ = static_cast<std::size_t>(end - block);
    const auto length = static_cast<std::size_t>(end - word);
    last_repeated_ = length < kReadAhead;
    if (last_repeated_) {
      std::memcpy(repeat_text_, word, kReadAhead);
      repeat_length_ = length;
      repeat_value_ = value;
    }
    return true;
  }
  // Heights of the form scan_six_decimals reads, each unlike the word before,
  // read into out[0 .. most) in one go (at the AVX-512 level only). The word
  // boundaries of 64 bytes come from one comparison, so that finding a word
  // does not wait for the reading of the one before. Stops before a repeated
  // word, a word of any other form and the block's last 64 + kReadAhead
  // bytes, which next_fixed_height and next() read; returns how many were
  // read. Afterwards the last of them is the word a repeat is compared with.
  AVX512_TARGET std::size_t next_distinct_heights(double* out, std::size_t most) {
    const char* const block = buffer_.data();
    if (position_ >= filled_ || !is_space(block[position_])) return 0;
    const char* previous = repeat_length_ != 0 ? repeat_text_ : nullptr;
    std::size_t previous_length = repeat_length_;
    std::size_t count = 0;
    float value = 0.0f;
    // Each window starts at the blank after the last word read.
    for (std::size_t window = position_; count < most && window + 64 + kReadAhead <= filled_; window = position_) {
      const __m512i bytes = _mm512_loadu_si512(block + window);
      const uint64_t blanks =
          _mm512_cmpeq_epi8_mask(bytes, _mm512_set1_epi8(' ')) |
          _mm512_cmple_epu8_mask(_mm512_sub_epi8(bytes, _mm512_set1_epi8('\t')), _mm512_set1_epi8('\r' - '\t'));
      uint64_t starts = ~blanks & (blanks << 1);
      const std::size_t read_before = count;
      for (; starts != 0 && count < most; starts &= starts - 1) {
        const int start = __builtin_ctzll(starts);
        const uint64_t after = blanks >> start;
        if (after == 0) break;  // the word goes on beyond the window
        const auto length = static_cast<std::size_t>(__builtin_ctzll(after));
        const char* const word = block + window + static_cast<std::size_t>(start);
        if (previous != nullptr && length == previous_length && same_short_text(word, previous, length + 1)) {
          return finish_distinct(count, previous, previous_length, value);
        }
        float height;
        if (length >= kReadAhead || six_decimals(word, height) != word + length) {
          return finish_distinct(count, previous, previous_length, value);
        }
        out[count++] = static_cast<double>(height);
        value = height;
        previous = word;
        previous_length = length;
        position_ = window + static_cast<std::size_t>(start) + length;
      }
      if (count == read_before) break;  // a word as long as the window
    }
    return finish_distinct(count, previous, previous_length, value);
  }
  // After next_fixed_height gave the repeated word: how many of the next
  // words, at most `most`, are that word again, each with the same single
  // blank after it; they are passed over. Such a run is a stretch of the
  // block equal to itself one word and blank earlier, compared many words at
  // a time (the no-data heights outside the mask come in rows of them). Stays
  // kReadAhead bytes short of the block's end, as next_fixed_height does.
  std::size_t skip_repeats(std::size_t most) {
    if (!last_repeated_) return 0;
    const std::size_t unit = repeat_length_ + 1;
    const std::size_t from = position_ + 1;  // the next word, if one blank follows
    if (from + kReadAhead >= filled_) return 0;
    const std::size_t limit = std::min(most, (filled_ - kReadAhead - from) / unit);
    const char* const next = buffer_.data() + from;
    constexpr std::size_t kWordsAtOnce = 16;
    std::size_t count = 0;
    while (count < limit) {
      // One word as a short text first: most heights inside the mask differ
      // from the one before.
      const char* const at = next + count * unit;
      if (!same_short_text(at, at - unit, unit)) break;
      ++count;
      const std::size_t words = std::min(kWordsAtOnce, limit - count);
      if (std::memcmp(at + unit, at, words * unit) == 0) count += words;
    }
    if (count > 0) position_ = from + count * unit - 1;  // the blank after the last one
    return count;
  }
  bool failed() const { return std::ferror(stream_) != 0 || overlong_; }

 private:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 16;

  // Bit i set where byte i of the kReadAhead bytes at p is white space
  // (' ' or '\t' .. '\r', as isspace in the "C" locale).
  static unsigned space_bits(const char* p) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i blank = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '));
    const __m128i above_tab = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(above_tab, _mm_set1_epi8('\r' - '\t')), above_tab);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(blank, control)));
#else
    unsigned bits = 0;
    for (std::size_t i = 0; i < kReadAhead; ++i)
      if (is_space(p[i])) bits |= 1u << i;
    return bits;
#endif
  }
  // The end of the word at `from` in the block: its first blank, at most
  // filled_ (the blanks after the block stop the search there).
  std::size_t word_end(std::size_t from) const {
    for (;;) {
      const unsigned blanks = space_bits(buffer_.data() + from);
      if (blanks != 0) return std::min(filled_, from + static_cast<std::size_t>(__builtin_ctz(blanks)));
      from += kReadAhead;
    }
  }
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
    filled_ = std::fread(buffer_.data(), 1, kBlockBytes, stream_);
    std::memset(buffer_.data() + filled_, ' ', kReadAhead);
    return filled_ != 0;
  }

  // Makes the last word next_distinct_heights read the one a repeat is
  // compared with, as next_fixed_height does; returns count.
  std::size_t finish_distinct(std::size_t count, const char* last, std::size_t length, float value) {
    if (count == 0) return 0;
    std::memcpy(repeat_text_, last, kReadAhead);
    repeat_length_ = length;
    repeat_value_ = value;
    last_repeated_ = true;
    return count;
  }

  std::FILE* stream_;
  const bool wide_ = simd_level() == SimdLevel::avx512;
  std::vector<char> buffer_;
  std::size_t filled_ = 0;
  std::size_t position_ = 0;
  char word_[kMaxWord] = {};
  bool overlong_ = false;
  // The last word next_fixed_height read and the blank after it.
  char repeat_text_[kReadAhead] = {};
  std::size_t repeat_length_ = 0;
  float repeat_value_ = 0.0f;
  bool last_repeated_ = false;  // the last word handed out is that word
};

// One "%d" word: optional sign and decimal digits.
bool parse_int(std::string_view word, int& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  const auto result = std::from_chars(word.data(), word.data() + word.size(), value);
  return result.ec == std::errc() && result.ptr == word.data() + word.size();
}

// One "%f" word as a 32-bit float, widened. "nan" and "inf" (which printf
// writes for such heights) are accepted; values beyond the float range are not.
bool parse_float(std::string_view word, double& value) {
  if (!word.empty() && word.front() == '+') word.remove_prefix(1);
  float f = 0.0f;
  if (scan_fixed_float(word.data(), word.data() + word.size(), f) == word.data() + word.size()) {
    value = static_cast<double>(f);
    return true;
  }
  const auto result =
      std::from_chars(word.data(), word.data() + word.size(), f, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != word.data() + word.size()) return false;
  value = static_cast<double>(f);
  return true;
}

// Rows y0 .. y0 + rows - 1 of the grid, held row after row in `block` (nx
// heights a row), into the grid's columns from column x0 on.
void rows_into_columns(const double* block, int rows, HeightMatrix& grid, int y0, int x0 = 0) {
  const int nx = grid.nx();
  for (int x = x0; x < nx; ++x) {
    double* column = grid.column(x) + y0;
    for (int y = 0; y < rows; ++y) column[y] = block[static_cast<std::size_t>(y) * static_cast<std::size_t>(nx) + x];
  }
}

// The same, eight rows by eight columns at a time: eight rows of eight
// heights turned into eight columns in registers, each stored whole.
AVX512_TARGET void rows_into_columns_avx512(const double* block, int rows, HeightMatrix& grid, int y0) {
  const int nx = grid.nx();
  // Read once: the stores below could otherwise be taken to change them.
  double* const top = grid.column(0) + y0;
  const auto column_step = static_cast<std::ptrdiff_t>(grid.ny());
  int x = 0;
  if (rows == 8) {
    for (; x + 8 <= nx; x += 8) {
      __m512d r[8];
      for (int y = 0; y < 8; ++y) r[y] = _mm512_loadu_pd(block + static_cast<std::size_t>(y) * static_cast<std::size_t>(nx) + x);
      // Pairs of rows (lanes: columns 0, 2, 4, 6 and 1, 3, 5, 7), then pairs
      // of pairs (columns 0 and 4, 1 and 5, ...), then the columns.
      __m512d pair[8];
      for (int y = 0; y < 8; y += 2) {
        pair[y] = _mm512_maskz_unpacklo_pd(0xFF, r[y], r[y + 1]);
        pair[y + 1] = _mm512_maskz_unpackhi_pd(0xFF, r[y], r[y + 1]);
      }
      __m512d quad[8];
      for (int half = 0; half < 8; half += 4) {
        quad[half + 0] = _mm512_maskz_shuffle_f64x2(0xFF, pair[half + 0], pair[half + 2], 0x88);
        quad[half + 1] = _mm512_maskz_shuffle_f64x2(0xFF, pair[half + 1], pair[half + 3], 0x88);
        quad[half + 2] = _mm512_maskz_shuffle_f64x2(0xFF, pair[half + 0], pair[half + 2], 0xDD);
        quad[half + 3] = _mm512_maskz_shuffle_f64x2(0xFF, pair[half + 1], pair[half + 3], 0xDD);
      }
      for (int c = 0; c < 4; ++c) {
        _mm512_storeu_pd(top + (x + c) * column_step, _mm512_maskz_shuffle_f64x2(0xFF, quad[c], quad[c + 4], 0x88));
        _mm512_storeu_pd(top + (x + c + 4) * column_step,
                         _mm512_maskz_shuffle_f64x2(0xFF, quad[c], quad[c + 4], 0xDD));
      }
    }
  }
  rows_into_columns(block, rows, grid, y0, x);
}

// n copies of a height: the no-data height fills most of a profile's rows.
AVX512_TARGET void fill_heights_avx512(double* out, std::size_t n, double value) {
  const __m512d copies = _mm512_set1_pd(value);
  for (std::size_t i = 0; i < n; i += 8)
    _mm512_mask_storeu_pd(out + i, first_of_8_lanes(static_cast<int32_t>(std::min<std::size_t>(n - i, 8))), copies);
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
  LineCache() : slots_(kSlots) {}

  // Writes the line of `height` ("%f", a blank, a line end) at text[used],
  // which has room for the longest; returns the end of the line.
  std::size_t write(std::string& text, std::size_t used, double height) {
    uint64_t bits;
    std::memcpy(&bits, &height, sizeof bits);
    Slot& slot = slots_[(bits * 0x9E3779B97F4A7C15u) >> (64 - kSlotBits)];
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
  LineCache lines;
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
  // The file holds the heights row after row, x across, and runs of repeated
  // heights go on across rows: they are read into a block of rows first, then
  // put into the grid (x major) eight rows at a time, so that each column's
  // eight heights fill one cache line.
  constexpr int kRowsAtOnce = 8;
  const auto cells = static_cast<std::size_t>(count);
  const auto block_cells = static_cast<std::size_t>(kRowsAtOnce) * static_cast<std::size_t>(nx);
  std::vector<double> block(std::min(cells, block_cells));
  std::size_t block_start = 0;  // the cell (y * nx + x) at block[0]
  const bool wide = simd_level() == SimdLevel::avx512;
  const auto flush = [&](std::size_t end) {
    const auto y0 = static_cast<int>(block_start / static_cast<std::size_t>(nx));
    const auto y1 = static_cast<int>(end / static_cast<std::size_t>(nx));
    if (wide) {
      rows_into_columns_avx512(block.data(), y1 - y0, grid.heights, y0);
    } else {
      rows_into_columns(block.data(), y1 - y0, grid.heights, y0);
    }
    block_start = end;
  };
  for (std::size_t k = 0; k < cells;) {
    if (wide) {
      if (k == block_start + block_cells) flush(k);
      const std::size_t most = std::min(cells, block_start + block_cells) - k;
      const std::size_t read = reader.next_distinct_heights(block.data() + (k - block_start), most);
      k += read;
      if (read != 0) continue;
    }
    float height = 0.0f;
    if (reader.next_fixed_height(height)) {
      for (std::size_t same = 1 + reader.skip_repeats(cells - k - 1); same > 0;) {
        if (k == block_start + block_cells) flush(k);
        const std::size_t n = std::min(same, block_start + block_cells - k);
        double* const out = block.data() + (k - block_start);
        if (wide) {
          fill_heights_avx512(out, n, static_cast<double>(height));
        } else {
          std::fill_n(out, n, static_cast<double>(height));
        }
        k += n;
        same -= n;
      }
      continue;
    }
    if ((word = reader.next()).empty()) {
      throw bad("only " + std::to_string(k) + " of " + std::to_string(count) + " heights");
    }
    if (k == block_start + block_cells) flush(k);
    if (!parse_float(word, block[k - block_start])) throw bad("'" + std::string(word) + "' is not a height");
    ++k;
  }
  flush(cells);
  if (reader.failed()) throw bad("read error");
  return grid;
}
