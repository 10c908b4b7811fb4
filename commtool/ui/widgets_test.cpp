#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTest>

#include "commtool/ui/aboutdlg.h"
#include "commtool/ui/checksetdlg.h"
#include "commtool/ui/displayview.h"
#include "commtool/ui/flatbutton.h"
#include "commtool/ui/staticlink.h"
#include "commtool/ui/uitestsupport.h"

namespace tavrix {
namespace {

TEST(CFlatButton, PartnersKeepExactlyOnePressed) {
  QWidget window;
  CFlatButton hex(true, QStringLiteral("输入HEX"), &window);
  CFlatButton asc(false, QStringLiteral("输入ASC"), &window);
  hex.AddPartners(std::array{&asc});
  asc.AddPartners(std::array{&hex});
  hex.AddPartners({});
  EXPECT_EQ(hex.Partners().size(), 1u);
  int clicks = 0;
  QObject::connect(&asc, &QPushButton::clicked, [&] { ++clicks; });

  asc.click();
  EXPECT_TRUE(asc.Pressed());
  EXPECT_FALSE(hex.Pressed());
  asc.click();  // a pressed partner stays pressed
  EXPECT_TRUE(asc.Pressed());
  EXPECT_FALSE(hex.Pressed());
  EXPECT_EQ(clicks, 2);  // the click still reaches the dialog
  hex.click();
  EXPECT_TRUE(hex.Pressed());
  EXPECT_FALSE(asc.Pressed());
}

TEST(CFlatButton, WithoutPartnersTogglesOnEachClick) {
  CFlatButton pause(false, QStringLiteral("暂停显示"));
  pause.click();
  EXPECT_TRUE(pause.Pressed());
  pause.click();
  EXPECT_FALSE(pause.Pressed());
}

TEST(CCheckSetDlg, RefusesAStartOutsideOneToThousand) {
  std::vector<QString> messages;
  CCheckSetDlg dialog({0, 1}, [&](QWidget*, const QString& text) { messages.push_back(text); });
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("冗余校验设置"));
  auto* start = test::Child<QLineEdit>(&dialog, "1028");
  auto* method = test::Child<QComboBox>(&dialog, "1032");
  ASSERT_EQ(method->count(), 4);
  EXPECT_EQ(method->itemText(3), QStringLiteral("CRC CCITT"));
  EXPECT_EQ(start->text(), QStringLiteral("1"));

  for (const char* bad : {"0", "1001", "", "x"}) {
    start->setText(QString::fromLatin1(bad));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << bad;
  }
  EXPECT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], QStringLiteral("请输入 1 到 1000 之间的整数。"));

  start->setText(QStringLiteral("3"));
  method->setCurrentIndex(2);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Setting().method, 2);
  EXPECT_EQ(dialog.Setting().start, 3);
}

TEST(CStaticLink, TurnsVisitedWhenOpenedAndStaysWhenNot) {
  std::vector<QUrl> opened;
  bool succeed = false;
  CAboutDlg about([&](const QUrl& url) {
    opened.push_back(url);
    return succeed;
  });
  EXPECT_EQ(about.windowTitle(), QStringLiteral("关于 Tavrix"));
  CStaticLink* link = about.Link();
  EXPECT_TRUE(link->font().underline());
  EXPECT_EQ(link->Colour(), CStaticLink::kUnvisited);
  QTest::mouseClick(link, Qt::LeftButton);
  EXPECT_EQ(link->Colour(), CStaticLink::kUnvisited);
  succeed = true;
  QTest::mouseClick(link, Qt::LeftButton);
  EXPECT_EQ(link->Colour(), CStaticLink::kVisited);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], QUrl(link->Link()));
}

// The contact opens the README that is shipped beside the program.
TEST(CAboutDlg, ContactOpensTheReadmeBesideTheProgram) {
  CAboutDlg about([](const QUrl&) { return true; });
  const QUrl link(about.Link()->Link());
  ASSERT_TRUE(link.isLocalFile()) << link.toString().toStdString();
  EXPECT_EQ(QFileInfo(link.toLocalFile()).fileName(), QStringLiteral("README.md"));
  EXPECT_EQ(QFileInfo(link.toLocalFile()).absolutePath(), QCoreApplication::applicationDirPath());
  EXPECT_EQ(about.Link()->text(), QStringLiteral("README.md"));
  EXPECT_TRUE(QFileInfo::exists(QStringLiteral(TAVRIX_PROGRAM_FOLDER "/README.md")))
      << "the build puts the README beside tavrix";
}

TEST(DisplayView, ShowsTheTextAsItCameWithBreaksOnlyWhereItHasThem) {
  DisplayEdit edit;
  DisplayView view(&edit, 0);
  DisplayUpdate update;
  const std::string received(3000, 'A');
  std::string hex;
  for (int i = 0; i < 2000; ++i) hex += "AB ";
  update.runs = {{kReceivedColour, received}, {kReceivedColour, hex}, {kSentColour, "x\ny"}};
  view.Apply(update);
  EXPECT_EQ(edit.blockCount(), 2);  // the one break that was in the text
  EXPECT_EQ(edit.toPlainText(), Qs(received + hex + "x\ny"));
  edit.selectAll();
  edit.copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Qs(received + hex + "x\ny"));
  QTextCursor last(edit.document());
  last.movePosition(QTextCursor::End);
  EXPECT_EQ(last.charFormat().foreground().color(), QColor(0, 192, 0));

  view.Apply({true, {}});
  EXPECT_TRUE(edit.toPlainText().isEmpty());
}

// A display that is never emptied holds a long line in several paragraphs,
// cut where the widget wraps; the line is still one line to the user.
TEST(DisplayView, LongLineInADisplayNeverEmptiedCopiesAsOneLine) {
  DisplayEdit edit;
  edit.resize(400, 200);
  edit.show();
  DisplayView view(&edit, DisplayView::kSoftLineLength);
  std::string hex;
  for (int i = 0; i < 9000; ++i) hex += "AB ";
  const std::string text = "start\n" + hex + "x\ny";
  DisplayUpdate update;
  update.runs = {{kReceivedColour, "start\n"}, {kReceivedColour, hex}, {kSentColour, "x\ny"}};
  view.Apply(update);
  view.Apply({false, {{kReceivedColour, hex}}});
  EXPECT_GT(edit.blockCount(), 3);
  auto* rows = qobject_cast<QPlainTextDocumentLayout*>(edit.document()->documentLayout());
  ASSERT_NE(rows, nullptr);
  for (QTextBlock block = edit.document()->begin(); block.isValid(); block = block.next()) {
    EXPECT_LE(block.length() - 1, DisplayView::kSoftLineLength);
    if (!block.next().isValid() || block.next().userState() != DisplayEdit::kContinued) continue;
    rows->ensureBlockLayout(block);  // a paragraph the line goes on from ends with a full row
    const QTextLine first = block.layout()->lineAt(0);
    const QTextLine last = block.layout()->lineAt(block.layout()->lineCount() - 1);
    const qreal word = QFontMetricsF(edit.font()).horizontalAdvance(QStringLiteral("AB "));
    EXPECT_GT(last.naturalTextWidth() + word, first.naturalTextWidth()) << block.blockNumber();
  }
  EXPECT_EQ(edit.Text(), Qs(text + hex));
  edit.selectAll();
  edit.copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), Qs(text + hex));
  QTextCursor part(edit.document());  // a selection from inside the first long line to the middle of the last
  part.setPosition(8);
  part.setPosition(edit.document()->characterCount() - 4, QTextCursor::KeepAnchor);
  edit.setTextCursor(part);
  edit.copy();
  const QString all = Qs(text + hex);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), all.mid(8, all.size() - 8 - 3));
}

TEST(DisplayView, KeepsTheUsersPlaceUnlessItIsAtTheEnd) {
  DisplayEdit edit;
  edit.resize(300, 120);
  edit.show();
  DisplayView view(&edit, 0);
  auto lines = [](int count) {
    DisplayUpdate update;
    for (int i = 0; i < count; ++i) update.runs.push_back({kReceivedColour, "line\n"});
    return update;
  };
  QScrollBar* bar = edit.verticalScrollBar();
  view.Apply(lines(100));
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());  // follows new text from the end

  bar->setValue(10);  // the user scrolled up to read
  view.Apply(lines(50));
  EXPECT_EQ(bar->value(), 10);
  EXPECT_GT(bar->maximum(), 100);

  bar->setValue(bar->maximum());  // back at the end
  view.Apply(lines(50));
  EXPECT_EQ(bar->value(), bar->maximum());
}

}  // namespace
}  // namespace tavrix
