#include "common/forms/form_services.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <fstream>

#include "common/forms/offscreen_test_app.h"

namespace forms {
namespace {

const qttest::TempFolder& tempRoot() {
  static const qttest::TempFolder root("wave_form_services_test");
  return root;
}

// Every box shows the icon its message asks for; a plain message shows none.
TEST(BoxIcon, ShowsTheMessagesIcon) {
  struct Case {
    common::MessageIcon icon;
    QMessageBox::Icon shown;
  };
  const Case cases[] = {
      {common::MessageIcon::None, QMessageBox::NoIcon},
      {common::MessageIcon::Warning, QMessageBox::Warning},
      {common::MessageIcon::Information, QMessageBox::Information},
      {common::MessageIcon::Error, QMessageBox::Critical},
      {common::MessageIcon::Question, QMessageBox::Question},
  };
  for (const Case& c : cases) EXPECT_EQ(BoxIcon(c.icon), c.shown) << static_cast<int>(c.icon);
}

// The language file's text with the args filled in; literal pieces as they are.
TEST(MessageText, LanguageTextWithArgsAndLiteralPieces) {
  const std::filesystem::path file = tempRoot().path() / "texts.lang";
  std::ofstream(file, std::ios::binary) << "[Strings_Test]\r\nstr0=%d pages\r\ncap=Pages\r\n";
  lang::MultiLangEngine loaded(lang::LangVariant::Quenlor);
  loaded.loadLanguageFileFrom(file);
  const lang::MultiLangEngine builtIn(lang::LangVariant::Quenlor);

  common::UserMessage message = common::UserMessage::warning("Strings_Test", "str0", "第%d页", "cap");
  EXPECT_EQ(MessageText(loaded, message, {"3"}), QStringLiteral("3 pages"));
  EXPECT_EQ(MessageText(builtIn, message, {"3"}), QStringLiteral("第3页"));
  EXPECT_EQ(MessageCaption(loaded, message), QStringLiteral("Pages"));
  EXPECT_EQ(MessageCaption(builtIn, message), QStringLiteral("信息提示"));

  message.text.push_back(common::TextPiece::literal("%s, as typed"));
  EXPECT_EQ(MessageText(loaded, message, {}), QStringLiteral("%d pages%s, as typed"));
}

TEST(CentreOnScreen, PutsTheWindowInTheMiddleOfItsScreen) {
  qttest::EnsureOffscreenApp(tempRoot().path(), "wave_form_services_test");
  QWidget window;
  window.resize(300, 120);
  window.move(0, 0);
  CentreOnScreen(window);
  const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
  EXPECT_LE((window.frameGeometry().center() - middle).manhattanLength(), 1);
}

}  // namespace
}  // namespace forms
