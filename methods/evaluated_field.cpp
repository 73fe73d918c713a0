#include "methods/evaluated_field.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "scan/grey_image.h"
#include "scan/image_processing.h"
#include "scan/round_clamped.h"

namespace fringe::methods {

namespace {

// Centres and semi-axes are clamped as the engine clamps them.
constexpr int32_t kFarPixels = 1 << 30;

}  // namespace

std::vector<RowRun> evaluation_runs(int32_t width, int32_t height, const ScnPar& par) {
  const int32_t cx = round_clamped(par.MaskXOfs / par.CamResX, -kFarPixels, kFarPixels) + width / 2;
  const int32_t cy = round_clamped(par.MaskYOfs / par.CamResY, -kFarPixels, kFarPixels) + height / 2;
  const int32_t rx = round_clamped(par.MaskRadius / par.CamResX, -kFarPixels, kFarPixels);
  const int32_t ry = round_clamped(par.MaskRadius / par.CamResY, -kFarPixels, kFarPixels);
  // The engine's own mask, so that both evaluate exactly the same pixels.
  const GreyImageOwner mask(img_create(1, width, height));
  if (!mask) throw std::bad_alloc();
  ellipse_mask(mask.get(), cx, cy, rx, ry);
  std::vector<RowRun> runs(static_cast<std::size_t>(height));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = img_line(mask.get(), y);
    const uint8_t* first = std::find(row, row + width, uint8_t{255});
    // Inside pixels form one run per row (ellipse_mask fills one).
    const uint8_t* end = std::find(first, row + width, uint8_t{0});
    runs[static_cast<std::size_t>(y)] = {static_cast<int32_t>(first - row), static_cast<int32_t>(end - row)};
  }
  return runs;
}

void evaluated_field(PhaseField& field, int32_t width, int32_t height, const ScnPar& par) {
  const int32_t cx = round_clamped(par.MaskXOfs / par.CamResX, -kFarPixels, kFarPixels) + width / 2;
  const int32_t cy = round_clamped(par.MaskYOfs / par.CamResY, -kFarPixels, kFarPixels) + height / 2;
  const int32_t rx = round_clamped(par.MaskRadius / par.CamResX, -kFarPixels, kFarPixels);
  const int32_t ry = round_clamped(par.MaskRadius / par.CamResY, -kFarPixels, kFarPixels);

  if (field.width == width && field.height == height && field.ellipse[0] == cx && field.ellipse[1] == cy &&
      field.ellipse[2] == rx && field.ellipse[3] == ry)
    return;
  std::vector<RowRun> runs = evaluation_runs(width, height, par);

  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const bool same = field.width == width && field.height == height && field.runs.size() == runs.size() &&
                    std::equal(runs.begin(), runs.end(), field.runs.begin(), [](const RowRun& a, const RowRun& b) {
                      return a.first == b.first && a.end == b.end;
                    });
  field.ellipse[0] = cx;
  field.ellipse[1] = cy;
  field.ellipse[2] = rx;
  field.ellipse[3] = ry;
  if (same) return;
  field.width = width;
  field.height = height;
  field.runs = std::move(runs);
  field.psi.assign(pixels, 0.0);
  field.modulation.assign(pixels, 0.0);
  field.phase.assign(pixels, 0.0);
  field.data.assign(pixels, 0);
}

}  // namespace fringe::methods
