#include "waveform/app/app_start_dlg.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QScreen>

#include "waveform/app/test_support.h"

namespace wave {
namespace {

// The wait window as the user sees it: a sky-blue strip without a frame in
// the middle of the screen, above other windows, with its text from x 33.
TEST(AppStartDlg, IsAFramelessSkyBlueStripInTheMiddleOfTheScreen) {
  test::Application();
  TAppStartDlg dialog;
  dialog.show();

  EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(dialog.size(), QSize(427, 41));
  EXPECT_EQ(dialog.frameGeometry().center(), dialog.screen()->availableGeometry().center());
  EXPECT_EQ(dialog.Label1()->text(), QStringLiteral("程序启动......"));
  EXPECT_EQ(dialog.Label1()->geometry().topLeft(), QPoint(33, 12));

  const QImage image = dialog.grab().toImage();
  for (const QPoint inside : {QPoint(10, 20), QPoint(400, 20), QPoint(200, 5)})
    EXPECT_EQ(image.pixelColor(inside), QColor(166, 202, 240)) << inside.x() << "," << inside.y();
}

}  // namespace
}  // namespace wave
