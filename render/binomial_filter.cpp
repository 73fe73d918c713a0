#include "render/binomial_filter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "render/binomial_rows.h"
#include "render/row_smoothing.h"

namespace {

// The known terms of a row (binomial_rows.h), pixels `step` bytes apart:
// 8-bit rows in vectors, then pixel by pixel.
void known_terms(const uint8_t* up, const uint8_t* mid, const uint8_t* down, int w, int step, uint16_t* t) {
  int k = step == 1 ? known_terms_8bit(up, mid, down, w, t) : 1;
  for (; k < w - 1; ++k) {
    const int at = k * step;
    t[k] = static_cast<uint16_t>(up[at - step] + 2 * up[at] + up[at + step] + 4 * mid[at] +
                                 2 * mid[at + step] + down[at - step] + 2 * down[at] + down[at + step]);
  }
}

// One pass over one channel; returns whether any byte changed. `terms` holds
// at least width values, `before` is scratch space.
bool binomial_pass(Picture& picture, int channel, std::vector<uint16_t>& terms, std::vector<uint8_t>& before) {
  const int w = picture.width();
  const int h = picture.height();
  const int s = picture.bytes_per_pixel();
  const auto row_bytes = static_cast<std::size_t>(picture.bytes_per_line());
  bool changed = false;
  for (int j = 1; j < h - 1 && w > 0; ++j) {
    const uint8_t* up = picture.row(j - 1) + channel;
    uint8_t* middle = picture.row(j) + channel;
    const uint8_t* down = picture.row(j + 1) + channel;
    before.assign(picture.row(j), picture.row(j) + row_bytes);
    known_terms(up, middle, down, w, s, terms.data());
    // Left to right, each result entering the next sum as its left pixel:
    // (t[k] + 2 * left) / 16, rounded down.
    unsigned left = smooth_vertical_121(up[0], middle[0], down[0]);
    middle[0] = static_cast<uint8_t>(left);
    for (int k = 1; k < w - 1; ++k) {
      left = (terms[k] + 2 * left) >> 4;
      middle[k * s] = static_cast<uint8_t>(left);
    }
    if (w > 1) {
      const int at = (w - 1) * s;
      middle[at] = smooth_vertical_121(up[at], middle[at], down[at]);
    }
    changed |= std::memcmp(before.data(), picture.row(j), row_bytes) != 0;
  }
  if (h < 1) return changed;
  changed |= smooth_border_row(picture, 0, channel, before);
  changed |= smooth_border_row(picture, h - 1, channel, before);
  return changed;
}

// ---- Passes side by side --------------------------------------------------
//
// A row's pass is a chain of dependent steps along the row (each result is
// the next pixel's left neighbour), so one row at a time leaves the processor
// waiting. Pass q + 1 needs of pass q only the rows up to one below the row it
// works on, and the top and bottom rows' own smoothing depends on nothing but
// those rows: so kGroup passes can run together, pass q + 1 two rows behind
// pass q, their chains interleaved, each pass still seeing exactly the rows it
// would see on its own.
constexpr int kGroup = 3;

struct RowJob {
  const uint8_t* up;
  uint8_t* middle;
  const uint8_t* down;
  const uint16_t* terms;
  unsigned left;
};

// The interior pixels of `count` rows at once, chains interleaved.
template <int count>
inline void recurrences(RowJob* jobs, int w, int s) {
  if (s == 1) {
    for (int r = 0; r < count; ++r) chain_8bit(jobs[r].terms, jobs[r].middle, w, jobs[r].left);
    return;
  }
  unsigned left[kGroup];
  for (int r = 0; r < count; ++r) left[r] = jobs[r].left;
  for (int k = 1; k < w - 1; ++k) {
#pragma GCC unroll 3
    for (int r = 0; r < count; ++r) {
      left[r] = (jobs[r].terms[k] + 2 * left[r]) >> 4;
      jobs[r].middle[k * s] = static_cast<uint8_t>(left[r]);
    }
  }
}

// kGroup passes (or `passes` fewer) over one channel of a picture at least 4
// rows high and 3 wide. Returns whether the last of them changed a byte.
bool grouped_passes(Picture& picture, int channel, int passes, std::vector<std::vector<uint16_t>>& terms,
                    std::vector<uint8_t>& before) {
  const int w = picture.width();
  const int h = picture.height();
  const int s = picture.bytes_per_pixel();
  const auto row_bytes = static_cast<std::size_t>(picture.bytes_per_line());
  bool changed = false;
  const auto border = [&](int y, int pass) {
    const bool last = pass == passes;
    const bool moved = smooth_border_row(picture, y, channel, before);
    if (last) changed |= moved;
  };
  for (int t = 1; t <= (h - 2) + 2 * (passes - 1); ++t) {
    RowJob jobs[kGroup];
    int count = 0;
    int last_row = -1;  // the row the last pass works on in this step
    for (int q = 1; q <= passes; ++q) {
      const int j = t - 2 * (q - 1);
      if (j < 1 || j > h - 2) continue;
      // The previous pass's own smoothing of the top row, before this pass
      // reads it, and of the bottom row, after the previous pass is done
      // with it (its last interior row was two steps ago).
      if (q > 1 && j == 1) border(0, q - 1);
      if (q > 1 && j == h - 2) border(h - 1, q - 1);
      RowJob& job = jobs[count];
      job.up = picture.row(j - 1) + channel;
      job.middle = picture.row(j) + channel;
      job.down = picture.row(j + 1) + channel;
      job.terms = terms[static_cast<std::size_t>(count)].data();
      known_terms(job.up, job.middle, job.down, w, s, terms[static_cast<std::size_t>(count)].data());
      if (q == passes) {
        last_row = j;
        before.assign(picture.row(j), picture.row(j) + row_bytes);
      }
      job.left = smooth_vertical_121(job.up[0], job.middle[0], job.down[0]);
      job.middle[0] = static_cast<uint8_t>(job.left);
      ++count;
    }
    switch (count) {
      case 1:
        recurrences<1>(jobs, w, s);
        break;
      case 2:
        recurrences<2>(jobs, w, s);
        break;
      case 3:
        recurrences<3>(jobs, w, s);
        break;
      default:
        break;
    }
    for (int r = 0; r < count; ++r) {
      const int at = (w - 1) * s;
      jobs[r].middle[at] = smooth_vertical_121(jobs[r].up[at], jobs[r].middle[at], jobs[r].down[at]);
    }
    if (last_row >= 0) changed |= std::memcmp(before.data(), picture.row(last_row), row_bytes) != 0;
  }
  border(0, passes);
  border(h - 1, passes);
  return changed;
}

}  // namespace

void binomial_filter(Picture& picture, int passes) {
  const int runs = std::min(passes, kMaxBinomialPasses);
  std::vector<uint16_t> terms(static_cast<std::size_t>(picture.width()));
  std::vector<uint8_t> before;
  if (picture.height() < 4 || picture.width() < 3) {
    for (int pass = 0; pass < runs; ++pass) {
      bool changed = false;
      for (int channel = 0; channel < picture.bytes_per_pixel(); ++channel)
        changed |= binomial_pass(picture, channel, terms, before);
      if (!changed) break;
    }
    return;
  }
  // Groups of passes: once the last pass of a group changes nothing, so would
  // every later one (a pass is a fixed function of the picture), and an
  // earlier pass of the group that changed nothing was followed only by
  // passes that changed nothing either.
  std::vector<std::vector<uint16_t>> group_terms(kGroup, terms);
  for (int done = 0; done < runs;) {
    const int group = std::min(kGroup, runs - done);
    bool changed = false;
    for (int channel = 0; channel < picture.bytes_per_pixel(); ++channel)
      changed |= grouped_passes(picture, channel, group, group_terms, before);
    done += group;
    if (!changed) break;
  }
}
