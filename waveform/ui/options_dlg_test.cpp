#include "waveform/ui/options_dlg.h"

#include <gtest/gtest.h>

#include <QColorDialog>
#include <QDropEvent>
#include <QMimeData>
#include <QFrame>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "common/lang/translateform.h"
#include "waveform/ui/ui_test_support.h"

namespace wave {
namespace {

using uitest::RecordingServices;

TcfgInfo recordWith(int analog, int digital) {
  TcfgInfo r;
  r.A = static_cast<std::uint16_t>(analog);
  r.D = static_cast<std::uint16_t>(digital);
  r.TT = static_cast<std::uint16_t>(analog + digital);
  for (int i = 0; i < analog; ++i) r.AInfo.push_back({"U" + std::to_string(i + 1), "V"});
  for (int i = 0; i < digital; ++i) r.DInfo.push_back({"K" + std::to_string(i + 1), 0});
  return r;
}

QStringList texts(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

class OptionsDlgTest : public ::testing::Test {
 protected:
  OptionsDlgTest() {
    uitest::EnsureApp();
    iniPath = uitest::FreshFolder("options") / "zavoviv.ini";
    dialog = std::make_unique<TOptionsDlg>(settings, services, nullptr, iniPath);
    dialog->setRecord(recordWith(6, 40));
  }

  void showFor(bool newRecord) {
    settings.NewRecordOpened = newRecord ? 1 : 0;
    dialog->show();
    QCoreApplication::processEvents();
  }

  template <class T>
  T* child(const char* name) const {
    return dialog->findChild<T*>(QString::fromLatin1(name));
  }
  QListWidget* list(const char* name) const { return child<QListWidget>(name); }

  DisplaySettings settings;
  RecordingServices services;
  std::filesystem::path iniPath;
  std::unique_ptr<TOptionsDlg> dialog;
};

TEST_F(OptionsDlgTest, ComponentsCarryTheirFormNames) {
  EXPECT_EQ(dialog->property(lang::kFormClassProperty).toString(), QStringLiteral("TOptionsDlg"));
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("选择波形通道"));
  const char* const lists[] = {"AnalogListBox", "Axis1_ListBox", "Axis8_ListBox", "DigitalListBox",
                               "DigitalAxisListBox"};
  for (const char* name : lists) EXPECT_NE(list(name), nullptr) << name;
  const char* const buttons[] = {"SelectAllDigitalBtn", "ClearAllDigitalBtn", "DefaultColorBtn",
                                 "CustomColorBtn",      "Button1",            "OKBtn",
                                 "CancelBtn"};
  for (const char* name : buttons) EXPECT_NE(child<QPushButton>(name), nullptr) << name;
  const char* const radios[] = {"XYAxis_RadioBtn", "XAxis_RadioBtn", "YAxis_RadioBtn",
                                "NoAxis_RadioBtn", "PointLineRadioBtn", "LineRadioBtn"};
  for (const char* name : radios) EXPECT_NE(child<QRadioButton>(name), nullptr) << name;
  for (const char* name : {"Panel_Chnl1", "Panel_Chnl20", "Panel_Axis", "Panel_BG", "Panel_Digital",
                           "Panel_DigitalName"})
    EXPECT_NE(child<QFrame>(name), nullptr) << name;
  for (const char* name : {"WaveChannelTabSheet", "WaveColorTabSheet", "DemoPaintBox"})
    EXPECT_NE(child<QWidget>(name), nullptr) << name;
  EXPECT_NE(child<QPlainTextEdit>("Memo1"), nullptr);
  EXPECT_NE(child<QColorDialog>("FW_ColorDialog"), nullptr);
}

TEST_F(OptionsDlgTest, ShowingListsTheRecordAndItsHelp) {
  showFor(true);
  EXPECT_EQ(texts(list("AnalogListBox")), (QStringList{"U1", "U2", "U3", "U4", "U5", "U6"}));
  EXPECT_EQ(list("DigitalListBox")->count(), 40);
  EXPECT_TRUE(child<QPlainTextEdit>("Memo1")->toPlainText().startsWith(QStringLiteral("从模拟量")));
  EXPECT_TRUE(child<QRadioButton>("XYAxis_RadioBtn")->isChecked());
  EXPECT_TRUE(child<QRadioButton>("PointLineRadioBtn")->isChecked());
  EXPECT_EQ(settings.NewRecordOpened, 0);
}

TEST_F(OptionsDlgTest, DraggingChannelsBetweenTheLists) {
  showFor(true);
  QListWidget* analog = list("AnalogListBox");
  QListWidget* axis1 = list("Axis1_ListBox");
  QListWidget* axis2 = list("Axis2_ListBox");
  dialog->dropItem(analog, 2, axis1);
  dialog->dropItem(analog, 4, axis1);
  dialog->dropItem(analog, 2, axis1);  // refused: already there
  dialog->dropItem(analog, 2, axis2);
  EXPECT_EQ(texts(axis1), (QStringList{"U3", "U5"}));
  EXPECT_EQ(texts(axis2), (QStringList{"U3"}));
  dialog->dropItem(axis1, 1, list("Axis3_ListBox"));
  EXPECT_EQ(texts(axis1), (QStringList{"U3"}));
  EXPECT_EQ(texts(list("Axis3_ListBox")), (QStringList{"U5"}));
  EXPECT_EQ(settings.ChannelGroups[2].ColorIndex[0], 4);
  dialog->dropItem(axis1, 0, analog);  // back onto the analogue list: removed
  EXPECT_TRUE(texts(axis1).isEmpty());
  EXPECT_EQ(settings.ChannelGroupCount, 2);
  dialog->dropItem(analog, 0, list("DigitalAxisListBox"));  // nowhere it belongs
  EXPECT_EQ(list("DigitalAxisListBox")->count(), 0);

  QListWidget* digital = list("DigitalListBox");
  QListWidget* shown = list("DigitalAxisListBox");
  for (int d = 0; d < 33; ++d) dialog->dropItem(digital, d, shown);
  EXPECT_EQ(shown->count(), 32);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].text, QStringLiteral("一次最多显示32个开关量"));
  dialog->dropItem(shown, 0, digital);
  EXPECT_EQ(shown->item(0)->text(), QStringLiteral("K2"));
}

TEST_F(OptionsDlgTest, ADropOnAListsViewportMovesTheItem) {
  showFor(true);
  QListWidget* target = list("Axis2_ListBox");
  QMimeData mime;
  mime.setData(QStringLiteral("application/x-quenlor-options-item"), "8:1");  // the analogue list, row 1
  QDragEnterEvent enter(QPoint(5, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target->viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target->viewport(), &drop);
  EXPECT_EQ(texts(target), (QStringList{"U2"}));
  QMimeData foreign;
  foreign.setText(QStringLiteral("U3"));
  QDragEnterEvent other(QPoint(5, 5), Qt::MoveAction, &foreign, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(target->viewport(), &other);
  EXPECT_FALSE(other.isAccepted()) << "only drags from the dialog's lists";
}

TEST_F(OptionsDlgTest, SelectAllDigitalTakesThe32FirstAndSaysSo) {
  showFor(true);
  QTest::mouseClick(child<QPushButton>("SelectAllDigitalBtn"), Qt::LeftButton);
  EXPECT_EQ(list("DigitalAxisListBox")->count(), 32);
  EXPECT_EQ(list("DigitalAxisListBox")->item(31)->text(), QStringLiteral("K32"));
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].text, QStringLiteral("一次最多显示32个开关量"));
  QTest::mouseClick(child<QPushButton>("ClearAllDigitalBtn"), Qt::LeftButton);
  EXPECT_EQ(list("DigitalAxisListBox")->count(), 0);
  EXPECT_EQ(settings.DigitalSelection.Count, 0);
}

TEST_F(OptionsDlgTest, OkWithoutAChannelWarnsAndStaysOpen) {
  showFor(true);
  QTest::mouseClick(child<QPushButton>("OKBtn"), Qt::LeftButton);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].text, QStringLiteral("请您至少选择一个模拟量通道！"));
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->ChannelsChosen(), 0);
  dialog->dropItem(list("AnalogListBox"), 0, list("Axis4_ListBox"));
  QTest::mouseClick(child<QPushButton>("OKBtn"), Qt::LeftButton);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(dialog->ChannelsChosen(), 1);
  EXPECT_EQ(settings.OptionsAccepted, 1);
  EXPECT_EQ(settings.OptionsRedrawPending, 1);
}

TEST_F(OptionsDlgTest, CancelRestoresTheAxesShownAtTheStart) {
  showFor(true);
  dialog->dropItem(list("AnalogListBox"), 1, list("Axis1_ListBox"));
  QTest::mouseClick(child<QPushButton>("OKBtn"), Qt::LeftButton);
  showFor(false);  // the same record again, from its window
  EXPECT_EQ(texts(list("Axis1_ListBox")), (QStringList{"U2"}));
  dialog->dropItem(list("Axis1_ListBox"), 0, list("Axis5_ListBox"));
  child<QRadioButton>("NoAxis_RadioBtn")->click();
  QTest::mouseClick(child<QPushButton>("CancelBtn"), Qt::LeftButton);
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(settings.ChannelGroups[0].Count, 1);
  EXPECT_EQ(settings.ChannelGroups[4].Count, 0);
  EXPECT_EQ(settings.ShowGridX, 0) << "grid choices stay";
  EXPECT_EQ(settings.ShowGridY, 0);
  showFor(false);
  EXPECT_TRUE(child<QRadioButton>("NoAxis_RadioBtn")->isChecked());
}

TEST_F(OptionsDlgTest, GridAndLineRadios) {
  showFor(true);
  const struct {
    const char* radio;
    int x, y;
  } cases[] = {{"XAxis_RadioBtn", 1, 0}, {"YAxis_RadioBtn", 0, 1}, {"NoAxis_RadioBtn", 0, 0}, {"XYAxis_RadioBtn", 1, 1}};
  for (const auto& c : cases) {
    child<QRadioButton>(c.radio)->click();
    EXPECT_EQ(settings.ShowGridX, c.x) << c.radio;
    EXPECT_EQ(settings.ShowGridY, c.y) << c.radio;
  }
  child<QRadioButton>("LineRadioBtn")->click();
  EXPECT_EQ(settings.ShowPointsAndLines, 0);
}

TEST_F(OptionsDlgTest, ColoursChangeAtOnceAndReachTheFileOnlyWhenSaved) {
  showFor(true);
  child<QTabWidget>("PageControl1")->setCurrentIndex(1);
  EXPECT_EQ(dialog->selectedPanel(), 0);
  EXPECT_EQ(dialog->panel(0)->lineWidth(), 4);
  QTest::mouseClick(dialog->panel(21), Qt::LeftButton);  // the background
  EXPECT_EQ(dialog->selectedPanel(), 21);
  EXPECT_EQ(dialog->panel(0)->lineWidth(), 1);
  EXPECT_EQ(dialog->panel(21)->lineWidth(), 4);
  services.onDialog = [](QDialog& d) {
    auto& colours = dynamic_cast<QColorDialog&>(d);
    EXPECT_EQ(colours.objectName(), QStringLiteral("FW_ColorDialog"));
    colours.setCurrentColor(QColor(0x10, 0x20, 0x30));
    colours.accept();
    return static_cast<int>(QDialog::Accepted);
  };
  QTest::mouseClick(child<QPushButton>("CustomColorBtn"), Qt::LeftButton);
  EXPECT_EQ(settings.ChannelColors[21], 0x302010);
  EXPECT_EQ(dialog->panel(21)->palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
  EXPECT_FALSE(std::filesystem::exists(iniPath));
  QTest::mouseClick(child<QPushButton>("Button1"), Qt::LeftButton);
  DisplaySettings reread;
  LoadIniSettings(reread, iniPath);
  EXPECT_EQ(reread.ChannelColors[21], 0x302010);
  QTest::mouseClick(child<QPushButton>("DefaultColorBtn"), Qt::LeftButton);
  EXPECT_EQ(settings.ChannelColors, DisplaySettings::DefaultChannelColors);
  QTest::mouseClick(child<QPushButton>("CancelBtn"), Qt::LeftButton);
  EXPECT_EQ(settings.ChannelColors, DisplaySettings::DefaultChannelColors) << "Cancel keeps colours";
}

}  // namespace
}  // namespace wave
