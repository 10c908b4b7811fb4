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

// A restored main window keeps its title bar and frame on the screen.
TEST(NormalGeometryWithin, IsCentredWithRoomForTheFrame) {
  for (const QRect freeArea : {QRect(0, 0, 1366, 768), QRect(0, 0, 1600, 1000), QRect(0, 24, 1366, 744),
                               QRect(1920, 0, 1280, 1024), QRect(0, 0, 640, 480)}) {
    const QRect normal = NormalGeometryWithin(freeArea);
    EXPECT_TRUE(freeArea.contains(normal.adjusted(-30, -32, 30, 30))) << normal.x() << "," << normal.y();
    EXPECT_LE((normal.center() - freeArea.center()).manhattanLength(), 1);
    EXPECT_GE(normal.width(), freeArea.width() * 3 / 4) << "not the system's smallest default";
    EXPECT_GE(normal.height(), freeArea.height() * 3 / 4);
  }
}

struct CascadeCase {
  const char* name;
  std::optional<QRect> newest;
  QSize size;
  QRect expected;
};

TEST(CascadedWindowRect, StepsDownAndRightAndStaysInTheArea) {
  const QRect area(0, 0, 1366, 700);
  const CascadeCase cases[] = {
      {"the first at the corner", std::nullopt, QSize(942, 557), QRect(0, 0, 942, 557)},
      {"the next a title bar further", QRect(0, 0, 942, 557), QSize(942, 557), QRect(22, 22, 942, 557)},
      {"from where the newest was moved", QRect(300, 100, 942, 557), QSize(942, 557), QRect(322, 122, 942, 557)},
      {"back to the corner when it would stick out", QRect(806, 130, 942, 557), QSize(942, 557),
       QRect(0, 0, 942, 557)},
      {"the last step that fits", QRect(402, 121, 942, 557), QSize(942, 557), QRect(424, 143, 942, 557)},
      {"no larger than the area", QRect(0, 0, 942, 557), QSize(1500, 900), QRect(0, 0, 1366, 700)},
  };
  for (const CascadeCase& c : cases) {
    EXPECT_EQ(CascadedWindowRect(c.newest, c.size, area, 22), c.expected) << c.name;
    EXPECT_TRUE(area.contains(CascadedWindowRect(c.newest, c.size, area, 22))) << c.name;
  }
}

}  // namespace
}  // namespace wave
