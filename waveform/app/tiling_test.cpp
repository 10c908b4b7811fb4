#include "waveform/app/tiling.h"

#include <gtest/gtest.h>

namespace wave {
namespace {

struct TileCase {
  const char* name;
  int count;
  QRect area;
  TileDirection direction;
  QVector<QRect> expected;
};

TEST(TileRects, SplitsTheAreaWithoutGaps) {
  const TileCase cases[] = {
      {"none", 0, QRect(0, 0, 300, 300), TileDirection::Horizontal, {}},
      {"one fills the area", 1, QRect(5, 6, 300, 200), TileDirection::Vertical, {QRect(5, 6, 300, 200)}},
      {"horizontal: rows of full width",
       3,
       QRect(0, 0, 400, 300),
       TileDirection::Horizontal,
       {QRect(0, 0, 400, 100), QRect(0, 100, 400, 100), QRect(0, 200, 400, 100)}},
      {"vertical: columns of full height",
       2,
       QRect(10, 20, 401, 300),
       TileDirection::Vertical,
       {QRect(10, 20, 201, 300), QRect(211, 20, 200, 300)}},
      {"left-over pixels go to the first ones",
       4,
       QRect(0, 0, 100, 302),
       TileDirection::Horizontal,
       {QRect(0, 0, 100, 76), QRect(0, 76, 100, 76), QRect(0, 152, 100, 75), QRect(0, 227, 100, 75)}},
  };
  for (const TileCase& c : cases) EXPECT_EQ(TileRects(c.count, c.area, c.direction), c.expected) << c.name;
}

}  // namespace
}  // namespace wave
