#include "formats/quality_file.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "common/replace_file.h"

namespace {

void append_number(std::string& text, double value) {
  if (std::isnan(value)) {
    text += "nan";
    return;
  }
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(value));
  text.append(buffer, result.ptr);
}

const char* state_word(CellState state) {
  switch (state) {
    case CellState::valid:
      return "valid";
    case CellState::weak:
      return "weak";
    case CellState::unreached:
      return "unreached";
    case CellState::outside:
      break;
  }
  return "outside";
}

}  // namespace

std::string quality_csv_bytes(const QualityMap& map) {
  std::string text = "col,row,x_mm,y_mm,modulation,fit_residual,state\n";
  for (int32_t j = 0; j < map.rows; ++j) {
    const double y = ((map.rows - 1) * 0.5 - j) * map.step_y;
    for (int32_t i = 0; i < map.cols; ++i) {
      const CellState state = map.cell(i, j);
      if (state == CellState::outside) continue;
      const std::size_t cell = map.at(i, j);
      text += std::to_string(i);
      text += ',';
      text += std::to_string(j);
      text += ',';
      append_number(text, (i - (map.cols - 1) * 0.5) * map.step_x);
      text += ',';
      append_number(text, y);
      text += ',';
      append_number(text, map.modulation[cell]);
      text += ',';
      append_number(text, map.fit_residual[cell]);
      text += ',';
      text += state_word(state);
      text += '\n';
    }
  }
  return text;
}

void write_quality_file(const QualityMap& map, const std::string& file) { replace_file(file, quality_csv_bytes(map)); }

std::vector<HeightField::Channel> quality_channels(const QualityMap& map, int cols, int rows) {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  std::vector<HeightField::Channel> channels{{"modulation", {}}, {"fit_residual", {}}};
  if (cols == map.cols && rows == map.rows) {
    channels[0].values.assign(map.modulation.begin(), map.modulation.end());
    channels[1].values.assign(map.fit_residual.begin(), map.fit_residual.end());
    return channels;
  }
  quality_view(map, QualityView::modulation, cols, rows, kNone, channels[0].values);
  quality_view(map, QualityView::fit_residual, cols, rows, kNone, channels[1].values);
  return channels;
}
