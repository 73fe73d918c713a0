// The arithmetic behind the pointer readout: the cell under the pointer, the
// cell areas of the statistics and the magnifier, and where the value label
// goes.
#include "analysis/pointer_readout.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

TEST(PointerReadout, CellsAreasAndLabelPlaces) {
  EXPECT_EQ(pointer_cell(128, 256), 128);
  EXPECT_EQ(pointer_cell(3, 512), 2);  // 1.5 and 2.5 both round to the even 2
  EXPECT_EQ(pointer_cell(5, 512), 2);
  EXPECT_EQ(pointer_cell(-1, 256), kOffMap);
  EXPECT_EQ(pointer_cell(256, 256), kOffMap);
  EXPECT_EQ(pointer_cell(10, 0), kOffMap);

  const auto area = [](int xi, int yi, double side, double field) {
    const std::optional<CellArea> a = area_around(xi, yi, side, side, field, field);
    return a ? std::vector<int>{a->x0, a->x1, a->y0, a->y1} : std::vector<int>{};
  };
  EXPECT_EQ(area(128, 64, 0.3, 10.24), (std::vector<int>{124, 132, 60, 68}));
  EXPECT_EQ(area(128, 64, 2.5, 10.24), (std::vector<int>{97, 159, 33, 95}));
  // h = 2.5 puts both bounds on halves.
  EXPECT_EQ(area(100, 101, 0.2, 10.24), (std::vector<int>{98, 102, 98, 104}));
  EXPECT_EQ(area(2, 2, 0.2, 10.24), (std::vector<int>{0, 4, 0, 4}));  // -0.5 rounds to 0
  EXPECT_EQ(area(253, 128, 0.2, 10.24), std::vector<int>{});           // 255.5 rounds to 256
  EXPECT_EQ(area(3, 128, 0.3, 10.24), std::vector<int>{});
  EXPECT_EQ(area(128, 128, 1e300, 10.24), std::vector<int>{});
  EXPECT_EQ(area(128, 128, 0.3, 0.0), std::vector<int>{});  // a field never measured

  EXPECT_EQ(label_position(200, 256, 400, 15, 40, 7), 560);
  EXPECT_EQ(label_position(64, 256, 56, 25, 25, 7), 145);
  for (int kept : {10, 128, 246, 250}) EXPECT_EQ(label_position(kept, 256, 400, 15, 40, 7), 7) << kept;
}

}  // namespace
