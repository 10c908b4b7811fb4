// The five dialogs of the library on a 1366 x 768 screen: no text cut short,
// no control outside its window. Each is shown through its export, checked
// once it is on screen, and closed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "clientif/clientlib.h"
#include "clientif/dialogs/dialogs.h"
#include "clientif/dialogs/forms.h"
#include "clientif/testsupport.h"
#include "common/forms/layout_check.h"
#include "common/gbk.h"
#include "common/forms/offscreen_test_app.h"
#include "tools/standin_client/standin.h"

namespace velk::dialogs {
namespace {

constexpr const char* kComputer = "velk-layout-host";

class DialogLayoutTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static forms::qttest::TempFolder root("velk_layout");
    forms::qttest::UseOffscreenScreen(root.path(), 1366, 768);
    forms::qttest::EnsureOffscreenApp(root.path(), "velklog2_layout_test");
  }

  DialogLayoutTest() {
    // The column titles of the point list come from the language file only.
    home_.write("Language/velklog2.lang",
                common::Utf8ToGbk("[StringsTable]\r\nVLOG_0053=测量量名称\r\nVLOG_0054=类型\r\nVLOG_0055=内部编码\r\n"));
    setMessageSink([](QWidget*, const QString&) {});
    client_ = std::make_unique<standin::StandinClient>(standin::SampleScenario(kComputer));
    library_ = std::make_unique<ClientLibrary>(velktest::TestConfig(home_, kComputer), engine_);
    attached_ = library_->init_mlog_calls() == 1;
  }
  ~DialogLayoutTest() override {
    setShowHook(nullptr);
    setMessageSink(nullptr);
  }

  // The next form is checked once it is shown, then cancelled.
  void checkNextForm() {
    ASSERT_TRUE(attached_);
    setShowHook([this](QDialog& form) {
      QTimer::singleShot(0, &form, [this, &form] {
        checked_ = form.metaObject()->className();
        faults_ = forms::LayoutFaultsOfEveryPage(form);
        fitsScreen_ = QGuiApplication::primaryScreen()->availableGeometry().contains(form.frameGeometry());
        form.reject();
      });
    });
  }

  void expectWhole(const char* className) {
    EXPECT_EQ(checked_, className);
    EXPECT_TRUE(faults_.isEmpty()) << className << ":\n" << faults_.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(fitsScreen_) << className << " is larger than the screen";
  }

  ClientLibrary& lib() { return *library_; }

  velktest::ScopedPrefix prefix_;
  velktest::TempFolder home_;
  lang::MultiLangEngine engine_{lang::LangVariant::Velklog2};
  std::unique_ptr<standin::StandinClient> client_;
  std::unique_ptr<ClientLibrary> library_;
  std::string checked_;
  QStringList faults_;
  bool fitsScreen_ = false;
  bool attached_ = false;
};

TEST_F(DialogLayoutTest, LogIn) {
  char name[14] = {};
  std::int32_t rights = 0;
  checkNextForm();
  CheckUserPassword(lib(), 0, name, &rights);
  expectWhole("velk::dialogs::TPasswordDlg");
  char longName[128] = {};
  checkNextForm();
  CheckUserPassword2(lib(), 0, longName, &rights, "用户登录");
  expectWhole("velk::dialogs::TPasswordDlg2");
}

TEST_F(DialogLayoutTest, PointChoice) {
  std::int32_t a = 0, b = 0, c = 0, d = 0, kind = 0;
  checkNextForm();
  ChooseParaTree(lib(), PointChoice::Measured, 0, &a, &b, &c, &d, &kind);
  expectWhole("velk::dialogs::TChRealPara_form");
}

TEST_F(DialogLayoutTest, ControlChoice) {
  std::int32_t station = 0, control = 0;
  checkNextForm();
  ChooseCtrl(lib(), 0, &station, &control);
  expectWhole("velk::dialogs::TChCtrl_form");
}

TEST_F(DialogLayoutTest, NodeStateChoice) {
  std::int32_t node = 0, kind = 0, state = 0;
  checkNextForm();
  ChooseNodeStatusTree(lib(), 0, &node, &kind, &state);
  expectWhole("velk::dialogs::TChooseNodeStatusDlg");
}

}  // namespace
}  // namespace velk::dialogs
