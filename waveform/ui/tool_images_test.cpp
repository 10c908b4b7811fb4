// The tool-button images: all drawn, all different, and the same whatever
// fonts the machine has.

#include "waveform/ui/tool_images.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>

#include "waveform/ui/ui_test_support.h"

namespace wave {
namespace {

int inkedPixels(const QImage& image) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 0;
  return count;
}

TEST(ToolImages, EveryImageIsDrawnAndDiffersFromTheOthers) {
  uitest::EnsureApp();
  for (int i = 0; i < kToolImageCount; ++i) {
    const QImage image = ToolImage(i);
    EXPECT_EQ(image.size(), QSize(kToolImageSize, kToolImageSize));
    // More than a hair, less than a filled square (an empty-glyph box is neither).
    EXPECT_GT(inkedPixels(image), 20) << i;
    EXPECT_LT(inkedPixels(image), kToolImageSize * kToolImageSize * 3 / 4) << i;
    for (int j = 0; j < i; ++j) EXPECT_NE(image, ToolImage(j)) << i << " and " << j;
  }
}

TEST(ToolImages, DoNotDependOnTheFonts) {
  uitest::EnsureApp();
  std::vector<QImage> before;
  for (int i = 0; i < kToolImageCount; ++i) before.push_back(ToolImage(i));
  const QFont kept = QApplication::font();
  QFont other(QStringLiteral("DejaVu Serif"));
  other.setPixelSize(31);
  QApplication::setFont(other);
  for (int i = 0; i < kToolImageCount; ++i) EXPECT_EQ(ToolImage(i), before[static_cast<std::size_t>(i)]) << i;
  QApplication::setFont(kept);
}

}  // namespace
}  // namespace wave
