#include "common/forms/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace forms {

bool InstallQtChineseTexts(QCoreApplication& application) {
  auto translator = std::make_unique<QTranslator>(&application);
  if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  return QCoreApplication::installTranslator(translator.release());
}

bool QtTextsTranslated() {
  // The caption of the standard OK button, which every translation of Qt has.
  return QCoreApplication::translate("QPlatformTheme", "OK") != QLatin1String("OK");
}

}  // namespace forms
