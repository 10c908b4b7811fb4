// The road a newcomer takes with the demo catalogs: quenlor started against
// them as the README says, a log-in, the records of a channel listed, one
// opened in a record window; for both record sources.

#include "tools/democatalog/demo_catalog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QTimer>

#include <cstdlib>
#include <filesystem>

#include "common/forms/form_services.h"
#include "common/paths.h"
#include "stationdb/ui/getpass.h"
#include "stationdb/ui/selectwave_dlg.h"
#include "waveform/app/db_menu_dialogs.h"
#include "waveform/app/form_record_windows.h"
#include "waveform/app/main_form.h"
#include "waveform/app/station_access.h"
#include "waveform/app/test_support.h"
#include "waveform/ui/fault_wave_form.h"
#include "waveform/ui/options_dlg.h"

namespace demo {
namespace {

namespace fs = std::filesystem;

// Plays the user: logs in, clicks a channel in the record selection, notes the
// records listed and opens the first, and shows its first channel.
class PlayingUser : public forms::FormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage& message, const std::vector<std::string>&) override {
    messages.push_back(common::ResolveText(message, common::BuiltInText));
  }
  void showError(QWidget*, const QString& text) override { messages.push_back(text.toStdString()); }
  int execDialog(QDialog& dialog) override {
    if (auto* login = dynamic_cast<stationdb::TPasswordDlg*>(&dialog)) {
      login->UserNameComboBox()->setCurrentText(QString::fromUtf8(user));
      login->password()->setText(QString::fromUtf8(password));
      login->OKBtnClick();
      return login->result();
    }
    if (auto* select = dynamic_cast<stationdb::TSelectWaveDlg*>(&dialog)) return chooseRecord(*select);
    if (auto* options = dynamic_cast<wave::TOptionsDlg*>(&dialog)) {
      options->show();
      options->dropItem(options->findChild<QListWidget*>(QStringLiteral("AnalogListBox")), 0, options->axisList(0));
      options->OKBtnClick();
      return options->result();
    }
    return QDialog::Rejected;
  }

  const char* user = kAdminUser;
  const char* password = kAdminPassword;
  QString channel;  // the tree node clicked
  QStringList listed;
  std::vector<std::string> messages;

 private:
  int chooseRecord(stationdb::TSelectWaveDlg& dialog) {
    dialog.show();
    QTreeWidget* tree = dialog.Select_Meter_TreeView();
    tree->expandAll();
    const QList<QTreeWidgetItem*> found = tree->findItems(channel, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) {
      std::string all;
      for (QTreeWidgetItemIterator it(tree); *it; ++it) all += (*it)->text(0).toStdString() + "|";
      messages.push_back("no node " + channel.toStdString() + " in " + all);
      return QDialog::Rejected;
    }
    tree->scrollToItem(found.front());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found.front()).center());
    QTreeWidget* list = dialog.Select_Wave_ListView();
    for (int i = 0; i < list->topLevelItemCount(); ++i) listed.append(list->topLevelItem(i)->text(0));
    if (list->topLevelItemCount() == 0) return QDialog::Rejected;
    const QPoint at = list->visualItemRect(list->topLevelItem(0)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    const int result = dialog.isVisible() ? QDialog::Rejected : dialog.result();
    dialog.hide();
    return result;
  }
};

class DemoRoadTest : public wave::test::WithApplication, public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    wave::test::Application();
    // The test's environment names the client library's folder; the demo goes beside it.
    const char* home = std::getenv("VELKLOG2_HOME");
    ASSERT_NE(home, nullptr);
    folders = WriteDemoCatalogs(fs::path(home).parent_path(), common::ProgramFolder());
    ASSERT_EQ(folders.velklog2Home, fs::path(home));
    // As the README starts quenlor.
    ::setenv("QUENLOR_DB_PROVIDERS", folders.providerMapping().c_str(), 1);
    ::setenv("QUENLOR_SETTINGS_DIR", folders.settings.string().c_str(), 1);
  }

  // The main window as the program makes it, with the database and its dialogs.
  struct Program {
    explicit Program(PlayingUser& user)
        : kit(user),
          form(ui, kit, settings, wave::test::NewFolder("ini") / "zavoviv.ini"),
          dialogs(&form, user, station) {
      form.WaveTimer()->stop();
      kit.createOptionsDialog(&form, form);
      form.attachDatabase(station, dialogs);
    }
    wave::test::FakeUi ui;
    wave::FormRecordWindows kit;
    wave::DisplaySettings settings;
    wave::TMainForm form;
    wave::StationAccess station;
    wave::QtDatabaseDialogs dialogs;
  };

  void trigger(wave::TMainForm& form, const char* item) {
    QAction* action = form.findChild<QAction*>(QString::fromLatin1(item));
    ASSERT_NE(action, nullptr) << item;
    action->trigger();
  }

  static DemoFolders folders;
};

DemoFolders DemoRoadTest::folders;

TEST_F(DemoRoadTest, AutomationDatabasesLogInListAndOpenARecord) {
  PlayingUser user;
  user.channel = QStringLiteral("1号主变");
  Program program(user);
  trigger(program.form, "database_velkora");

  EXPECT_TRUE(user.messages.empty()) << user.messages.front();
  EXPECT_TRUE(program.ui.messages.empty());
  EXPECT_EQ(program.form.RecordSourceMode, 21);
  EXPECT_EQ(program.form.CurrentUserID, 1);
  EXPECT_EQ(user.listed.size(), 2) << "the two records of the transformer";
  ASSERT_EQ(program.form.RecordWindows().size(), 1);
  auto* window = qobject_cast<wave::TFaultWaveForm*>(program.form.RecordWindows().front());
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->WindowRecord().A, 6);
  EXPECT_EQ(window->WindowRecord().D, 4);
  EXPECT_EQ(window->NoNegativeSamples(), 0) << "waves with their RMS view";
}

TEST_F(DemoRoadTest, PowerQualityDatabaseLogInListAndOpenARecord) {
  PlayingUser user;
  user.user = kOperatorUser;
  user.password = kOperatorPassword;  // a daily rule that covers the whole day
  user.channel = QStringLiteral("10kV I段母线");
  Program program(user);
  trigger(program.form, "database_20");

  EXPECT_TRUE(user.messages.empty()) << user.messages.front();
  EXPECT_EQ(program.form.RecordSourceMode, 12);
  EXPECT_EQ(program.form.CurrentUserID, 2);
  EXPECT_EQ(user.listed.size(), 2) << "the two records of the bus";
  ASSERT_EQ(program.form.RecordWindows().size(), 1);
  auto* window = qobject_cast<wave::TFaultWaveForm*>(program.form.RecordWindows().front());
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(window->WindowRecord().A, 3);
  EXPECT_EQ(window->WindowRecord().AInfo[0].ch_id, "A相电压");
  EXPECT_EQ(window->WindowRecord().AInfo[2].ch_id, "C相电压");
}

TEST_F(DemoRoadTest, APowerQualityUserWhosePeriodIsOverIsRefused) {
  PlayingUser user;
  user.user = kExpiredUser;
  user.password = kExpiredPassword;
  Program program(user);
  trigger(program.form, "database_20");
  EXPECT_EQ(program.form.CurrentUserID, 0);
  EXPECT_FALSE(user.messages.empty() && program.ui.messages.empty()) << "the log-in rules refuse him";
  EXPECT_TRUE(program.form.RecordWindows().isEmpty());
}

}  // namespace
}  // namespace demo
