// The dialog exports, driven through their forms offscreen: each test hooks
// the form before it runs and works it like a user would. Messages are
// caught instead of shown; a guard closes any form a test leaves open.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "clientif/clientlib.h"
#include "clientif/dialogs/dialogs.h"
#include "clientif/dialogs/forms.h"
#include "clientif/testsupport.h"
#include "common/forms/qt_translations.h"
#include "common/gbk.h"
#include "tools/standin_client/standin.h"

namespace velk::dialogs {
namespace {

using velktest::ScopedPrefix;
using velktest::TempFolder;

constexpr const char* kComputer = "velk-dialog-host";

// The first dialog shown makes the QApplication of this host (it has none).
// The library keeps that to the end of the process; the test takes it down
// before the process ends, so that Qt cleans up after itself.
class ApplicationCleanup : public testing::Environment {
 public:
  void TearDown() override { std::unique_ptr<QCoreApplication> made(QCoreApplication::instance()); }
};
const auto* const kCleanup = testing::AddGlobalTestEnvironment(new ApplicationCleanup);

class DialogTest : public testing::Test {
 protected:
  DialogTest() {
    std::string text = "[StringsTable]\r\n";
    for (int n = 1; n <= 55; ++n)
      if (n != 49) text += fmt::format("VLOG_{:04d}=K{}\r\n", n, n);
    text += "VLOG_0049=channel %s\r\n";
    home_.write("Language/velklog2.lang", common::Utf8ToGbk(text));
    setMessageSink([this](QWidget*, const QString& message) { messages_.push_back(message.toStdString()); });
  }
  ~DialogTest() override {
    setShowHook(nullptr);
    setMessageSink(nullptr);
  }

  void attach(const standin::Scenario& scenario) {
    client_ = std::make_unique<standin::StandinClient>(scenario);
    library_ = std::make_unique<ClientLibrary>(velktest::TestConfig(home_, kComputer), engine_);
    ASSERT_EQ(library_->init_mlog_calls(), 1);
  }
  void attachSample() { attach(standin::SampleScenario(kComputer)); }

  // The next form runs these steps, one after the other, from its event loop.
  void drive(std::vector<std::function<void(QDialog&)>> steps) {
    setShowHook([steps = std::move(steps)](QDialog& form) {
      int delay = 0;
      for (const auto& step : steps) QTimer::singleShot(delay++, &form, [&form, step] { step(form); });
      QTimer::singleShot(20000, &form, &QDialog::reject);  // never left hanging
    });
  }

  template <class T>
  static T* find(QDialog& form, const char* name) {
    T* widget = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  static void click(QDialog& form, const char* name) { find<QPushButton>(form, name)->click(); }
  // Types text one character at a time, as keystrokes do (each edit is
  // checked by the field).
  static void typeKeys(QLineEdit& edit, const char* text) {
    for (const QChar c : QString::fromUtf8(text)) edit.insert(QString(c));
  }
  static void type(QDialog& form, const char* name, const char* text) {
    find<QLineEdit>(form, name)->setText(QString::fromUtf8(text));
  }
  static void chooseMeterTreeItem(QDialog& form, int station, int channel, int meter = -1) {
    auto* tree = find<QTreeWidget>(form, "meter_tree");
    QTreeWidgetItem* item = tree->topLevelItem(station)->child(channel);
    if (meter >= 0) item = item->child(meter);
    tree->setCurrentItem(item);
  }
  static void chooseRow(QDialog& form, const char* list, int row) {
    auto* view = find<QTreeWidget>(form, list);
    view->setCurrentItem(view->topLevelItem(row));
  }
  static void chooseNodeItem(QDialog& form, int top, int item) {
    auto* tree = find<QTreeWidget>(form, "m_tvNodeStatus");
    tree->setCurrentItem(item < 0 ? tree->topLevelItem(top) : tree->topLevelItem(top)->child(item));
  }

  ClientLibrary& lib() { return *library_; }

  ScopedPrefix prefix_;
  TempFolder home_;
  lang::MultiLangEngine engine_{lang::LangVariant::Velklog2};
  std::unique_ptr<standin::StandinClient> client_;
  std::unique_ptr<ClientLibrary> library_;
  std::vector<std::string> messages_;
};

// First in this file: no QApplication exists yet.
TEST_F(DialogTest, DetachedDialogsAnswerAtOnceWithoutQt) {
  ClientLibrary detached(velktest::TestConfig(home_, kComputer), engine_);
  std::int32_t a = 1, b = 2, c = 3, d = 4, kind = 2;
  char name[32] = "unchanged";
  EXPECT_EQ(CheckUserPassword(detached, 0, name, &a), 0);
  EXPECT_EQ(CheckUserPassword2(detached, 0, name, &a, "caption"), 0);
  EXPECT_EQ(ChooseParaTree(detached, PointChoice::Measured, 0, &a, &b, &c, &d, &kind), 0);
  EXPECT_EQ(ChooseCtrl(detached, 0, &a, &b), 0);
  EXPECT_EQ(ChooseNodeStatusTree(detached, 0, &a, &b, &c), 0);
  EXPECT_EQ(QCoreApplication::instance(), nullptr);
  EXPECT_STREQ(name, "unchanged");
  EXPECT_EQ(kind, 2);
}

TEST_F(DialogTest, LogInWithoutRequiredRights) {
  attachSample();
  drive({[](QDialog& form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("用户登录"));
    type(form, "username", "guest");
    type(form, "password", "guest");
    click(form, "OKBtn");
  }});
  char name[14] = {};
  std::int32_t rights = 0;
  EXPECT_EQ(CheckUserPassword(lib(), 0, name, &rights), -1);
  EXPECT_STREQ(name, "guest");
  EXPECT_EQ(rights, 0x01);
  EXPECT_TRUE(messages_.empty());
}

// A host without a translator of its own gets Qt's texts (the dialogs'
// standard buttons) in Chinese with the first dialog.
TEST_F(DialogTest, QtTextsAreChineseInTheDialogs) {
  if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_zh_CN.qm")))
    GTEST_SKIP() << "Qt's Chinese translations are not installed (Debian package qt6-translations-l10n)";
  attachSample();
  bool translated = false;
  drive({[&](QDialog& form) {
    translated = forms::QtTextsTranslated();
    form.reject();
  }});
  char name[14] = {};
  std::int32_t rights = 0;
  EXPECT_EQ(CheckUserPassword(lib(), 0, name, &rights), 0);
  EXPECT_TRUE(translated);
}

TEST_F(DialogTest, LogInNeedsEveryBitOfTheMask) {
  attachSample();
  bool stayedOpen = false;
  drive({[](QDialog& form) {
           type(form, "username", "guest");
           type(form, "password", "guest");
           click(form, "OKBtn");
         },
         [&](QDialog& form) {
           stayedOpen = form.isVisible();
           type(form, "username", "Zhang");  // DTYPE 3 holds the mask 2
           type(form, "password", "abc");
           click(form, "OKBtn");
         }});
  char name[14] = {};
  std::int32_t rights = 0x02;
  EXPECT_EQ(CheckUserPassword(lib(), 0, name, &rights), -1);
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(messages_, std::vector<std::string>{"K46"});
  EXPECT_STREQ(name, "Zhang");
  EXPECT_EQ(rights, 0x03);
}

TEST_F(DialogTest, WrongPasswordThenCancel) {
  attachSample();
  drive({[](QDialog& form) {
           type(form, "username", "admin");
           type(form, "password", "12345");
           click(form, "OKBtn");
         },
         [](QDialog& form) { click(form, "CancelBtn"); }});
  char name[14] = "kept";
  std::int32_t rights = 0;
  EXPECT_EQ(CheckUserPassword(lib(), 0, name, &rights), 0);
  EXPECT_EQ(messages_, std::vector<std::string>{"K45"});
  EXPECT_STREQ(name, "kept");
}

// TPasswordDlg's callers hold 13 bytes of code page 936: the name field
// takes no keystroke past them (a Chinese character takes two).
TEST_F(DialogTest, LogInNameFieldTakesAtMost13Bytes) {
  attachSample();
  struct Case {
    const char* typed;
    const char* kept;
  };
  const Case cases[] = {
      {"一二三四五六七", "一二三四五六"},
      {"a一二三四五六", "a一二三四五六"},
      {"ab一二三四五六", "ab一二三四五"},
      {"abcdefghijklmn", "abcdefghijklm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    QString kept;
    drive({[&](QDialog& form) {
      typeKeys(*find<QLineEdit>(form, "username"), c.typed);
      kept = find<QLineEdit>(form, "username")->text();
      click(form, "CancelBtn");
    }});
    EXPECT_EQ(CheckUserPassword(lib(), 0, nullptr, nullptr), 0);
    EXPECT_EQ(kept, QString::fromUtf8(c.kept));
  }
}

// What passes the check is the name the caller gets, whole: an operator
// whose name would not fit cannot be typed in and so cannot log in cut.
TEST_F(DialogTest, LogInWithALongChineseNameComesBackWhole) {
  standin::Scenario scenario = standin::SampleScenario(kComputer);
  scenario.operators.push_back({"一二三四五六七", "p", 0x02});
  scenario.operators.push_back({"一二三四五六", "p", 0x04});
  attach(scenario);
  drive({[](QDialog& form) {
    typeKeys(*find<QLineEdit>(form, "username"), "一二三四五六七");
    type(form, "password", "p");
    click(form, "OKBtn");
  }});
  char name[20];
  std::memset(name, 'z', sizeof name);
  std::int32_t rights = 0;
  EXPECT_EQ(CheckUserPassword(lib(), 0, name, &rights), -1);
  EXPECT_EQ(std::string(name), common::Utf8ToGbk("一二三四五六"));
  EXPECT_EQ(rights, 0x04);
  EXPECT_EQ(std::count(name + 13, name + sizeof name, 'z'), 20 - 13);  // nothing past the 13 bytes and NUL
}

TEST_F(DialogTest, SecondLogInListsEveryOperatorSorted) {
  standin::Scenario scenario = standin::SampleScenario(kComputer);
  scenario.operators.clear();
  for (int i = 96; i >= 0; --i) scenario.operators.push_back({fmt::format("op{:02d}", i), "p", 1});
  scenario.operators.push_back({"b", "p", 1});
  scenario.operators.push_back({"A", "p", 1});
  scenario.operators.push_back({"a", "p", 4});
  attach(scenario);
  QStringList names;
  QString caption;
  drive({[&](QDialog& form) {
    auto* combo = find<QComboBox>(form, "UserName");
    for (int i = 0; i < combo->count(); ++i) names << combo->itemText(i);
    caption = form.windowTitle();
    combo->setEditText(QStringLiteral("a"));
    type(form, "password", "p");
    click(form, "OKBtn");
  }});
  char name[128] = {};
  std::int32_t rights = 0;
  EXPECT_EQ(CheckUserPassword2(lib(), 0, name, &rights, common::Utf8ToGbk("值班登录").c_str()), -1);
  ASSERT_EQ(names.size(), 100);
  EXPECT_EQ(names[0], QStringLiteral("A"));
  EXPECT_EQ(names[1], QStringLiteral("a"));
  EXPECT_EQ(names[2], QStringLiteral("b"));
  EXPECT_EQ(names[3], QStringLiteral("op00"));
  EXPECT_EQ(names[99], QStringLiteral("op96"));
  EXPECT_EQ(caption, QStringLiteral("值班登录"));
  EXPECT_STREQ(name, "a");
  EXPECT_EQ(rights, 4);
}

// The second log-in's name field takes 13 characters as typed, but a listed
// name, chosen or pasted, is taken whole and logs in.
TEST_F(DialogTest, SecondLogInTakesAListedNameWholeAndLimitsTyping) {
  standin::Scenario scenario = standin::SampleScenario(kComputer);
  scenario.operators.push_back({"operator_long_name_x", "p", 0x08});
  attach(scenario);
  enum class Entry { Chosen, Pasted, Typed };
  struct Case {
    const char* name;
    Entry entry;
    std::int32_t result;
    const char* field;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"chosen from the list", Entry::Chosen, -1, "operator_long_name_x", {}},
      {"pasted", Entry::Pasted, -1, "operator_long_name_x", {}},
      {"typed", Entry::Typed, 0, "operator_long", {"K45"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages_.clear();
    QString field;
    drive({[&](QDialog& form) {
             auto* combo = find<QComboBox>(form, "UserName");
             if (c.entry == Entry::Chosen)
               combo->setCurrentIndex(combo->findText(QStringLiteral("operator_long_name_x")));
             else if (c.entry == Entry::Pasted)
               combo->lineEdit()->insert(QStringLiteral("operator_long_name_x"));  // one edit, as a paste
             else
               typeKeys(*combo->lineEdit(), "operator_long_name_x");
             field = combo->currentText();
             type(form, "password", "p");
             click(form, "OKBtn");
           },
           [&](QDialog& form) {
             if (form.isVisible()) click(form, "CancelBtn");
           }});
    char name[128] = {};
    std::int32_t rights = 0;
    EXPECT_EQ(CheckUserPassword2(lib(), 0, name, &rights, nullptr), c.result);
    EXPECT_EQ(field, QString::fromUtf8(c.field));
    EXPECT_EQ(messages_, c.messages);
    EXPECT_STREQ(name, c.result == -1 ? "operator_long_name_x" : "");
    EXPECT_EQ(rights, c.result == -1 ? 0x08 : 0);
  }
}

// A listed name is checked and handed back with the bytes the table holds,
// also when they do not convert to text (here it ends in half a character).
TEST_F(DialogTest, SecondLogInKeepsAListedNamesOwnBytes) {
  attachSample();
  const std::string raw = "half\xB0";
  TOperatorRec record{};
  std::uint8_t* table = client_->bytes(kPasswordName);
  std::memcpy(&record, table + password::kRecords, sizeof record);
  std::memset(record.name, 0, sizeof record.name);
  std::memcpy(record.name, raw.data(), raw.size());
  std::memcpy(table + password::kRecords, &record, sizeof record);
  ASSERT_EQ(lib().check_operator_pass(raw.c_str(), "123456"), 0);
  drive({[&](QDialog& form) {
           auto* combo = find<QComboBox>(form, "UserName");
           for (int i = 0; i < combo->count(); ++i)
             if (combo->itemText(i).startsWith(QStringLiteral("half"))) combo->setCurrentIndex(i);
           type(form, "password", "123456");
           click(form, "OKBtn");
         },
         [&](QDialog& form) {
           if (form.isVisible()) click(form, "CancelBtn");
         }});
  char name[128] = {};
  std::int32_t rights = 0;
  EXPECT_EQ(CheckUserPassword2(lib(), 0, name, &rights, nullptr), -1);
  EXPECT_EQ(messages_, std::vector<std::string>{});
  EXPECT_EQ(std::string(name), raw);
}

TEST_F(DialogTest, SecondLogInCaptionRules) {
  attachSample();
  QString caption;
  auto cancelAndNote = [&](QDialog& form) {
    caption = form.windowTitle();
    click(form, "CancelBtn");
  };
  drive({cancelAndNote});
  EXPECT_EQ(CheckUserPassword2(lib(), 0, nullptr, nullptr, ""), 0);
  EXPECT_EQ(caption, QString());  // an empty caption replaces the built-in one too
  drive({cancelAndNote});
  EXPECT_EQ(CheckUserPassword2(lib(), 0, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(caption, QStringLiteral("用户登录"));
}

TEST_F(DialogTest, PointChoiceByRow) {
  attachSample();
  drive({[](QDialog& form) {
    EXPECT_EQ(find<QTreeWidget>(form, "meter_tree")->topLevelItemCount(), 2);
    chooseMeterTreeItem(form, 0, 0, 0);
    EXPECT_EQ(find<QTreeWidget>(form, "mhead_listview")->topLevelItemCount(), 5);
    chooseRow(form, "mhead_listview", 3);  // past the 3 analog points: the first status point
    click(form, "select_btn");
  }});
  std::int32_t station = 0, channel = 0, meter = 0, point = 0, kind = 1;
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::All, 0, &station, &channel, &meter, &point, &kind), -1);
  EXPECT_EQ(station, 10);
  EXPECT_EQ(channel, 101);
  EXPECT_EQ(meter, 1001);
  EXPECT_EQ(point, 6001);
  EXPECT_EQ(kind, 2);
}

TEST_F(DialogTest, StatusChoiceOpensWithKind2AndListsOnlyStatusPoints) {
  attachSample();
  QStringList kinds;
  int stationChildren = 0;
  drive({[&](QDialog& form) {
    stationChildren = find<QTreeWidget>(form, "meter_tree")->topLevelItem(0)->childCount();
    chooseMeterTreeItem(form, 0, 0, 0);
    auto* list = find<QTreeWidget>(form, "mhead_listview");
    for (int r = 0; r < list->topLevelItemCount(); ++r) kinds << list->topLevelItem(r)->text(1);
    chooseRow(form, "mhead_listview", 1);
    click(form, "select_btn");
  }});
  std::int32_t station = 0, channel = 0, meter = 0, point = 0, kind = 0;
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::Status, 0, &station, &channel, &meter, &point, &kind), -1);
  EXPECT_EQ(stationChildren, 2);  // no calculated-items node
  EXPECT_EQ(kinds, QStringList({QStringLiteral("K34"), QStringLiteral("K34")}));
  EXPECT_EQ(point, 6002);  // row 1 without analog points: status point A + 1
  EXPECT_EQ(kind, 2);
}

TEST_F(DialogTest, KindChangesBeforeTheDialogOpens) {
  attachSample();
  auto cancel = [](QDialog& form) { click(form, "close_btn"); };
  std::int32_t kind = 2;
  drive({cancel});
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::Measured, 0, nullptr, nullptr, nullptr, nullptr, &kind), 0);
  EXPECT_EQ(kind, 1);
  kind = 0;
  drive({cancel});
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::Status, 0, nullptr, nullptr, nullptr, nullptr, &kind), 0);
  EXPECT_EQ(kind, 2);
  kind = 1;
  drive({cancel});
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::Status, 0, nullptr, nullptr, nullptr, nullptr, &kind), 0);
  EXPECT_EQ(kind, 1);
}

TEST_F(DialogTest, PresetSelectsThePointAndCalculatedItems) {
  attachSample();
  QString selectedRow;
  drive({[&](QDialog& form) {
    auto* list = find<QTreeWidget>(form, "mhead_listview");
    if (list->currentItem() != nullptr) selectedRow = list->currentItem()->text(0);
    click(form, "select_btn");
  }});
  std::int32_t station = 10, channel = 102, meter = 1012, point = 6032, kind = 2;
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::All, 0, &station, &channel, &meter, &point, &kind), -1);
  EXPECT_EQ(selectedRow, QStringLiteral("分闸"));
  EXPECT_EQ(point, 6032);
  EXPECT_EQ(kind, 2);

  // A calculated item: station id and item id; channel and meter are not touched.
  drive({[&](QDialog& form) {
    selectedRow = find<QTreeWidget>(form, "mhead_listview")->currentItem()->text(0);
    click(form, "select_btn");
  }});
  channel = 77;
  meter = 88;
  point = 9502;
  kind = 0;
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::All, 0, &station, &channel, &meter, &point, &kind), -1);
  EXPECT_EQ(selectedRow, QStringLiteral("计算2"));
  EXPECT_EQ(station, 10);
  EXPECT_EQ(point, 9502);
  EXPECT_EQ(channel, 77);
  EXPECT_EQ(meter, 88);
  EXPECT_EQ(kind, 0);
}

TEST_F(DialogTest, NothingChosenIsSaid) {
  attachSample();
  drive({[](QDialog& form) { click(form, "select_btn"); },
         [](QDialog& form) {
           chooseMeterTreeItem(form, 0, 1);  // a channel lists nothing
           click(form, "select_btn");
         },
         [](QDialog& form) { click(form, "close_btn"); }});
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::All, 0, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(messages_, (std::vector<std::string>{"K51", "K51"}));
}

TEST_F(DialogTest, NodeStatePage) {
  attachSample();
  QStringList frontEndItems;
  drive({[&](QDialog& form) {
    find<QTabWidget>(form, "SelectPointPage")->setCurrentIndex(1);
    auto* tree = find<QTreeWidget>(form, "m_tvNodeStatus");
    ASSERT_EQ(tree->topLevelItemCount(), 6);
    QTreeWidgetItem* frontEnd = tree->topLevelItem(3);  // FE-10
    for (int i = 0; i < frontEnd->childCount(); ++i) frontEndItems << frontEnd->child(i)->text(0);
    chooseNodeItem(form, 3, -1);  // a top node: nothing happens
    click(form, "select_btn");
    chooseNodeItem(form, 5, 0);  // the client's second state
    click(form, "select_btn");
  }});
  std::int32_t station = 0, channel = 0, meter = 0, point = 9, kind = 0;
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::All, 0, &station, &channel, &meter, &point, &kind), -1);
  EXPECT_EQ(frontEndItems, QStringList({QStringLiteral("K47"), QStringLiteral("K48"),
                                        QStringLiteral("channel 一号通道"), QStringLiteral("channel 二号通道")}));
  EXPECT_EQ(kind, 3);
  EXPECT_EQ(station, 6);
  EXPECT_EQ(channel, kSelectorSecondState);
  EXPECT_EQ(meter, 0x10ffff03);
  EXPECT_EQ(point, 0);

  // Preset kind 3 opens on the node page with the item chosen: a channel state.
  bool onNodePage = false;
  drive({[&](QDialog& form) {
    onNodePage = find<QTabWidget>(form, "SelectPointPage")->currentIndex() == 1;
    click(form, "select_btn");
  }});
  station = 4;
  channel = kSelectorChannelState;
  meter = 102;
  kind = 3;
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::All, 0, &station, &channel, &meter, &point, &kind), -1);
  EXPECT_TRUE(onNodePage);
  EXPECT_EQ(meter, 102);
  EXPECT_EQ(channel, kSelectorChannelState);
  station = 3;
  channel = kSelectorNodeState;
  drive({[](QDialog& form) { click(form, "select_btn"); }});
  EXPECT_EQ(ChooseParaTree(lib(), PointChoice::All, 0, &station, &channel, &meter, &point, &kind), -1);
  EXPECT_EQ(meter, 20);  // the node state gives the node's station id
}

TEST_F(DialogTest, NodeStateDialogAnswersZeroEitherWay) {
  attachSample();
  std::int32_t node = 0, selector = 0, third = 0;
  drive({[](QDialog& form) {
    chooseNodeItem(form, 3, 1);  // FE-10, VLOG_0048
    click(form, "OKBtn");
  }});
  EXPECT_EQ(ChooseNodeStatusTree(lib(), 0, &node, &selector, &third), 0);
  EXPECT_EQ(node, 4);
  EXPECT_EQ(selector, kSelectorNodeState);
  EXPECT_EQ(third, 2);
  drive({[](QDialog& form) {
    chooseNodeItem(form, 2, 2);  // FE-20, its channel
    click(form, "OKBtn");
  }});
  EXPECT_EQ(ChooseNodeStatusTree(lib(), 0, &node, &selector, &third), 0);
  EXPECT_EQ(selector, kSelectorChannelState);
  EXPECT_EQ(third, 201);
  drive({[](QDialog& form) {
           chooseNodeItem(form, 0, -1);
           click(form, "OKBtn");  // a top node keeps it open
         },
         [](QDialog& form) {
           EXPECT_TRUE(form.isVisible());
           EXPECT_EQ(find<QTreeWidget>(form, "m_tvNodeStatus")->topLevelItem(5)->childCount(), 0);
           click(form, "CancelBtn");
         }});
  EXPECT_EQ(ChooseNodeStatusTree(lib(), 0, &node, &selector, &third), 0);
  EXPECT_EQ(node, 3);  // as before
  EXPECT_EQ(third, 201);
}

// The dialog opens on the item its var arguments name; OK at once gives
// them back.
TEST_F(DialogTest, NodeStateDialogOpensOnItsPreset) {
  attachSample();
  struct Case {
    std::int32_t node, selector, third;
    int top, item;  // the current item as opened; top -1: none
  };
  const Case cases[] = {
      {4, kSelectorNodeState, 2, 3, 1},      // FE-10, VLOG_0048
      {4, kSelectorNodeState, 1, 3, 0},      // FE-10, VLOG_0047
      {3, kSelectorChannelState, 201, 2, 2}, // FE-20, its channel
      {3, kSelectorChannelState, 999, 2, -1},
      {77, kSelectorNodeState, 1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.node << " " << c.third);
    int top = -1, item = -1;
    drive({[&](QDialog& form) {
      if (QTreeWidgetItem* current = find<QTreeWidget>(form, "m_tvNodeStatus")->currentItem()) {
        top = current->parent() == nullptr ? current->treeWidget()->indexOfTopLevelItem(current)
                                           : current->treeWidget()->indexOfTopLevelItem(current->parent());
        item = current->parent() == nullptr ? -1 : current->parent()->indexOfChild(current);
      }
      if (c.item >= 0) {
        click(form, "OKBtn");
      } else {
        click(form, "CancelBtn");
      }
    }});
    std::int32_t node = c.node, selector = c.selector, third = c.third;
    EXPECT_EQ(ChooseNodeStatusTree(lib(), 0, &node, &selector, &third), 0);
    EXPECT_EQ(top, c.top);
    EXPECT_EQ(item, c.item);
    EXPECT_EQ(node, c.node);
    EXPECT_EQ(selector, c.selector);
    EXPECT_EQ(third, c.third);
  }
}

TEST_F(DialogTest, ControlChoice) {
  attachSample();
  int presetSlot = -1, presetRow = -1, rowsOfSecond = 0;
  drive({[&](QDialog& form) {
           auto* stations = find<QComboBox>(form, "StationCombox");
           auto* controls = find<QListWidget>(form, "CtrlListBox");
           presetSlot = stations->currentIndex();
           presetRow = controls->currentRow();
           EXPECT_EQ(controls->count(), 5);
           stations->setCurrentIndex(1);
           rowsOfSecond = controls->count();
           click(form, "select_btn");  // no row chosen
         },
         [](QDialog& form) {
           find<QListWidget>(form, "CtrlListBox")->setCurrentRow(0);
           click(form, "select_btn");
         }});
  std::int32_t station = 10, control = 7003;
  EXPECT_EQ(ChooseCtrl(lib(), 0, &station, &control), -1);
  EXPECT_EQ(presetSlot, 0);
  EXPECT_EQ(presetRow, 2);
  EXPECT_EQ(rowsOfSecond, 1);
  EXPECT_EQ(messages_, std::vector<std::string>{"K52"});
  EXPECT_EQ(station, 20);
  EXPECT_EQ(control, 7101);
}

}  // namespace
}  // namespace velk::dialogs
