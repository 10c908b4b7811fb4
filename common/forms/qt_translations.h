#pragma once
// Qt's own texts in Chinese: the captions and buttons of its file, folder and
// save dialogs and of its message boxes, read from Qt's translations.

class QCoreApplication;

namespace forms {

// Installs Qt's Chinese texts (qtbase_zh_CN.qm from Qt's translations folder)
// in the application. False when the file is missing or cannot be read; Qt's
// texts then stay English.
bool InstallQtChineseTexts(QCoreApplication& application);

// True when Qt's own texts are translated already (the application has a
// translator for them).
bool QtTextsTranslated();

}  // namespace forms
