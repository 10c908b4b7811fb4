// Every window of the tool on a 1366 x 768 screen: no text cut short, no
// control outside its window.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>

#include "common/forms/layout_check.h"
#include "common/forms/offscreen_test_app.h"
#include "commtool/ui/aboutdlg.h"
#include "commtool/ui/checksetdlg.h"
#include "commtool/ui/sessiondlg.h"
#include "commtool/ui/tavrixdlg.h"

namespace tavrix {
namespace {

class TavrixLayoutTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static forms::qttest::TempFolder root("tavrix_layout");
    forms::qttest::UseOffscreenScreen(root.path(), 1366, 768);
    forms::qttest::EnsureOffscreenApp(root.path(), "tavrix_layout_test");
  }

  static UiHooks hooks() {
    UiHooks h;
    h.message = [](QWidget*, const QString&) {};
    h.askCheck = [](QWidget*) { return std::optional<CheckSetting>(); };
    h.clock = [] { return LocalTime{2024, 1, 2, 3, 4, 5, 6}; };
    h.localAddress = [] { return std::string("192.0.2.7"); };
    h.openUrl = [](const QUrl&) { return false; };
    return h;
  }

  static void expectWhole(QWidget& window) {
    window.show();
    const QStringList faults = forms::LayoutFaultsOfEveryPage(window);
    EXPECT_TRUE(faults.isEmpty()) << window.metaObject()->className() << ":\n"
                                  << faults.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(window.frameGeometry()))
        << window.metaObject()->className() << " is larger than the screen";
  }
};

TEST_F(TavrixLayoutTest, MainDialog) {
  CTavrixDlg dialog(hooks());
  expectWhole(dialog);
}

TEST_F(TavrixLayoutTest, ConnectionWindow) {
  CSessionDlg window(hooks(), nullptr);
  expectWhole(window);
}

TEST_F(TavrixLayoutTest, CheckCodeDialog) {
  CCheckSetDlg dialog(CheckSetting{}, [](QWidget*, const QString&) {});
  expectWhole(dialog);
}

TEST_F(TavrixLayoutTest, AboutBox) {
  CAboutDlg dialog([](const QUrl&) { return false; });
  expectWhole(dialog);
}

}  // namespace
}  // namespace tavrix
