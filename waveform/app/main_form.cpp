#include "waveform/app/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>

#include "common/datetime.h"
#include "common/gbk.h"
#include "common/lang/engine.h"
#include "common/lang/translateform.h"
#include "common/paths.h"
#include "stationdb/records/records.h"
#include "waveform/app/cfg_listing.h"
#include "waveform/app/open_dlg.h"
#include "waveform/model/cfgreader.h"
#include "waveform/ui/wait_texts.h"
#include "common/forms/wait_window.h"

namespace wave {
namespace {

constexpr int kWaveTimerMs = 1000;
constexpr int kClockPanel = 2;
constexpr std::int32_t kAutomationDatabases = 21;
// The record source mode a record window was opened in, kept on its sub-window.
constexpr const char* kWindowSourceMode = "recordSourceMode";

const std::string kSection(kMainFormSection);

common::UserMessage mainFormWarning(const char* key, const char* text, const char* captionKey) {
  return common::UserMessage::warning(kSection, key, text, captionKey);
}

std::string mainFormText(const char* key, const char* fallback) {
  return lang::LangEngine().GetLangString(kSection, key, fallback);
}

// A file name as the user reads it. Records copied from Windows machines keep
// GBK names, which as UTF-8 would all read as the same row of replacement
// characters.
QString ShownFileName(const std::string& name) { return forms::Utf8(common::DecodeUtf8OrGbk(name)); }

}  // namespace

TMainForm::TMainForm(UiServices& ui, RecordWindowKit& kit, DisplaySettings& settings, std::filesystem::path iniPath,
                     QWidget* parent)
    : QMainWindow(parent),
      ui_(ui),
      kit_(kit),
      iniPath_(std::move(iniPath)),
      settings_(settings),
      mdiArea_(new QMdiArea(this)),
      waveTimer_(new QTimer(this)) {
  lang::setFormClass(*this, "TMainForm");
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(forms::Utf8(kMainFormCaption));
  // Maximised; restored (or where no window manager maximises it) centred on
  // the screen with its frame in sight.
  if (const QScreen* screen = this->screen()) setGeometry(NormalGeometryWithin(screen->availableGeometry()));
  setWindowState(Qt::WindowMaximized);
  mdiArea_->setObjectName(QStringLiteral("MdiClient"));
  mdiArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  mdiArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(mdiArea_);
  buildMenus();

  waveTimer_->setObjectName(QStringLiteral("WaveTimer"));
  waveTimer_->setInterval(kWaveTimerMs);
  connect(waveTimer_, &QTimer::timeout, this, [this] { Guarded(ui_, this, [this] { WaveTimerTimer(); }); });

  FormCreate();
  waveTimer_->start();
}

TMainForm::~TMainForm() {
  waveTimer_->stop();
  SaveCfgFolder(settings_, iniPath_);
}

void TMainForm::FormCreate() {
  lang::LangEngine().LoadLanguageFile();
  settings_.OptionsAccepted = 0;
  LoadIniSettings(settings_, iniPath_);
  CurrentUserID = 0;
  DBConnectionClosed = 0;
  RecordSourceMode = 0;
  settings_.PrinterWarningPending = 1;
}

QAction* TMainForm::addItem(QMenu& menu, const char* name, const QString& caption, void (TMainForm::*handler)()) {
  QAction* action = menu.addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  connect(action, &QAction::triggered, this, [this, handler] { Guarded(ui_, this, [this, handler] { (this->*handler)(); }); });
  return action;
}

void TMainForm::buildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("FW_MainMenu"));
  auto addMenu = [](QWidget* owner, const char* name, const QString& title) {
    auto* menu = new QMenu(title, owner);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
  };

  QMenu* file = addMenu(bar, "File_MItem", QStringLiteral("文件(&F)"));
  QMenu* selectFile = addMenu(file, "Select_File", QStringLiteral("选择波形文件(&F)"));
  addItem(*selectFile, "menu_file_cfg", QStringLiteral("独立的Quenlor文件"), &TMainForm::menu_file_cfgClick);
  file->addMenu(selectFile);
  QMenu* selectDatabase = addMenu(file, "SelectDatabase", QStringLiteral("选择数据库(&D)"));
  addItem(*selectDatabase, "database_velkora", QStringLiteral("VELKORA3.0数据库"), &TMainForm::database_velkoraClick);
  addItem(*selectDatabase, "database_20", QStringLiteral("DAVEZAZI2.0数据库"), &TMainForm::database_20Click);
  file->addMenu(selectDatabase);
  file->addSeparator();
  addItem(*file, "Exit_Item", QStringLiteral("退出(&X)"), &TMainForm::Exit_ItemClick);
  bar->addMenu(file);

  QMenu* edit = addMenu(bar, "F1", QStringLiteral("编辑(&E)"));
  addItem(*edit, "database_close", QStringLiteral("关闭当前数据库链接(&C)"), &TMainForm::database_closeClick);
  edit->addSeparator();
  addItem(*edit, "user_logoff", QStringLiteral("注销当前用户(&U)"), &TMainForm::user_logoffClick);
  bar->addMenu(edit);

  QMenu* window = addMenu(bar, "Window_MItem", QStringLiteral("窗口(&W)"));
  addItem(*window, "Window_HTile_Item", QStringLiteral("水平平铺(&T)"), &TMainForm::Window_HTile_ItemClick);
  addItem(*window, "Window_VTile_Item", QStringLiteral("垂直平铺(&V)"), &TMainForm::Window_VTile_ItemClick);
  addItem(*window, "Window_Cascade_Item", QStringLiteral("层叠(&C)"), &TMainForm::Window_Cascade_ItemClick);
  window->addSeparator();
  addItem(*window, "Window_CloseAll_Item", QStringLiteral("关闭所有子窗体"), &TMainForm::Window_CloseAll_ItemClick);
  bar->addMenu(window);

  QMenu* help = addMenu(bar, "Help_MItem", QStringLiteral("帮助(&H)"));
  addItem(*help, "Help_About_Item", QStringLiteral("关于....(&A)"), &TMainForm::Help_About_ItemClick);
  bar->addMenu(help);
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) Guarded(ui_, this, [this] { lang::TranslateForm(*this); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // Stays open unless the user confirms and nothing fails on the way.
  event->ignore();
  Guarded(ui_, this, [this, event] {
    const MessageAnswer answer =
        ui_.showMessage(this, mainFormWarning("str0", "要退出瞬时波形分析程序吗？", "str1"), MessageButtons::OkCancel);
    if (answer != MessageAnswer::Ok) return;
    closeRecordWindows();
    // The kind the user logged in to decides, not the mode of the last opening.
    const std::int32_t loginKind = databaseMenu_ ? databaseMenu_->LoginMode() : RecordSourceMode;
    if (loginKind == kAutomationDatabases && CurrentUserID > 0 && exitEventWriter_)
      Guarded(ui_, this, [this] { exitEventWriter_(CurrentUserID, mainFormText("str2", "用户退出运行QUENLOR")); });
    event->accept();
  });
}

void TMainForm::setExitEventWriter(std::function<void(std::int32_t, const std::string&)> writer) {
  exitEventWriter_ = std::move(writer);
}

void TMainForm::showMessage(const common::UserMessage& message) {
  ui_.showMessage(this, message, MessageButtons::Ok);
}

// Record windows ----------------------------------------------------------

QList<QMdiSubWindow*> TMainForm::openSubWindows() const {
  // Most recently active first: window 0 is the one the user worked in last.
  QList<QMdiSubWindow*> open;
  const QList<QMdiSubWindow*> history = mdiArea_->subWindowList(QMdiArea::ActivationHistoryOrder);
  // A closed window stays in the list, hidden, until it is deleted.
  for (auto it = history.rbegin(); it != history.rend(); ++it)
    if (!(*it)->isHidden() && (*it)->widget() != nullptr) open.append(*it);
  return open;
}

QList<QWidget*> TMainForm::RecordWindows() const {
  QList<QWidget*> windows;
  for (QMdiSubWindow* sub : openSubWindows()) windows.append(sub->widget());
  return windows;
}

QWidget* TMainForm::CreateMDIChild(const QString& caption, RecordFiles files) {
  if (openWindowCount() >= kMaxRecordWindows) {
    showMessage(mainFormWarning("str3", "打开波形窗口过多，最多打开4个波形窗口！", "str4"));
    return nullptr;
  }
  // The job works on copies: the main window's record and the database's
  // channels may change once it is abandoned. The opening holds the record's
  // files until its window takes them over.
  struct Opening {
    TcfgInfo record;
    std::int32_t source;
    RecordFiles files;
    std::vector<wave::TWaveformData> waveChannels;
    OpenedRecord opened;
    QPointer<QWidget> window;
  };
  auto opening = std::make_shared<Opening>();
  opening->record = CfgInfo;
  opening->source = RecordSourceMode;
  opening->files = std::move(files);
  if (database_) opening->waveChannels.assign(database_->WaveChannels().begin(), database_->WaveChannels().end());
  auto progress = std::make_shared<common::JobProgress>();

  forms::RunWithWaitWindow(
      this, ui_.jobRunner(), progress, WaitText,
      [opening, progress] {
        opening->opened = OpenRecordData(opening->record, opening->source, opening->waveChannels, {}, progress.get());
      },
      [this, opening, caption](std::exception_ptr error) {
        Guarded(ui_, this, [&] {
          if (error) std::rethrow_exception(error);
          RecordWindowRequest request{caption, opening->record, settings_, opening->source, *this};
          request.recordFiles = &opening->files;
          request.waveChannels = opening->waveChannels;
          request.opened = &opening->opened;
          opening->window = addRecordWindow(caption, request);
        });
        // Files no window took over: the record was refused or its reading failed.
        opening->files.remove();
      },
      [this, opening] { abandonOpening(opening->files); });
  return opening->window;
}

QWidget* TMainForm::addRecordWindow(const QString& caption, RecordWindowRequest& request) {
  std::unique_ptr<QWidget> window = kit_.createRecordWindow(request);
  if (!window) return nullptr;
  window->setWindowTitle(caption);
  QWidget* created = window.get();
  QMdiSubWindow* sub = mdiArea_->addSubWindow(window.release());
  sub->setProperty(kWindowSourceMode, request.recordSourceMode);
  sub->show();
  placeRecordWindow(*sub);
  mdiArea_->setActiveSubWindow(sub);
  return created;
}

void TMainForm::placeRecordWindow(QMdiSubWindow& sub) {
  if (sub.isMaximized()) return;  // it follows a maximised window
  std::optional<QRect> newest;
  for (QMdiSubWindow* other : mdiArea_->subWindowList(QMdiArea::CreationOrder))
    if (other != &sub && !other->isHidden() && !other->isMinimized() && !other->isMaximized() && other->widget())
      newest = other->geometry();
  const int step = sub.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &sub);
  sub.setGeometry(CascadedWindowRect(newest, sub.size(), mdiArea_->viewport()->rect(), step));
}

void TMainForm::abandonOpening(RecordFiles& files) {
  // As when the options dialog is cancelled: a pair written from the database
  // for this opening goes.
  files.remove();
  // The options accepted for the abandoned record are no open window's.
  settings_.OptionsAccepted = 0;
}

void TMainForm::closeRecordWindows() {
  for (QMdiSubWindow* sub : openSubWindows()) sub->close();
}

int TMainForm::openWindowCount() const { return static_cast<int>(openSubWindows().size()); }

bool TMainForm::tempFilesFlag() const { return TempFilesFlag != 0; }

DisplaySettings& TMainForm::displaySettings() { return settings_; }

void TMainForm::setRecord(const TcfgInfo& record) { CfgInfo = record; }

OptionsDialogResult TMainForm::showOptionsDialog() { return kit_.showOptionsDialog(this, CfgInfo); }

void TMainForm::createRecordWindow(const std::string& caption, RecordFiles files) {
  CreateMDIChild(ShownFileName(caption), std::move(files));
}

// Opening a record from a folder -------------------------------------------

void TMainForm::menu_file_cfgClick() {
  TempFilesFlag = 0;
  RecordSourceMode = 0;
  const QString title = forms::Utf8(mainFormText("str45", "请选择录波文件所在文件夹"));
  const std::optional<std::string> folder = ui_.browseFolder(this, title, settings_.CfgFolderPath);
  if (!folder || folder->empty()) return;
  const std::string& path = *folder;
  settings_.CfgFolderPath = path;
  const std::string chosen = SelectCfgInFolder(path);
  if (!chosen.empty()) openCfgFile(chosen);
}

std::string TMainForm::SelectCfgInFolder(const std::string& folder) {
  TOpenDlg dialog(ui_, this);
  const std::vector<std::string> names = ListCfgFiles(folder);
  for (const std::string& name : names) dialog.AddFileName(ShownFileName(name), name);
  if (names.empty()) {
    showMessage({kSection,
                 {common::TextPiece{"str43", "当前文件夹无波形文件"}},
                 common::TextPiece{"str44", std::string(common::kDefaultCaption)},
                 common::MessageIcon::Information});
    return {};
  }
  if (ui_.execDialog(dialog) != QDialog::Accepted || dialog.ChosenFileSystemName().empty()) return {};
  return (std::filesystem::path(folder) / dialog.ChosenFileSystemName()).string();
}

void TMainForm::openCfgFile(const std::string& path) {
  const CfgOpenOutcome outcome = ReadCfgFile(path, *this);
  for (const common::UserMessage& message : outcome.messages) showMessage(message);
  if (outcome.error) ui_.showError(this, forms::Utf8(*outcome.error));
}

// Database menu ---------------------------------------------------------------

void TMainForm::attachDatabase(DatabaseLayer& database, DatabaseDialogs& dialogs) {
  database_ = &database;
  databaseMenu_ = std::make_unique<DatabaseMenu>(
      MainWindowFields{TempFilesFlag, CfgInfo, RecordSourceMode, CurrentUserID, DBConnectionClosed}, *this,
      database, dialogs, lang::makeLangLookup(lang::LangEngine()));
  if (!exitEventWriter_)
    exitEventWriter_ = [&database](std::int32_t user, const std::string& text) { database.WriteEventLog(user, text); };
}

MessageAnswer TMainForm::ask(const common::UserMessage& message, MessageButtons buttons) {
  return ui_.showMessage(this, message, buttons);
}

bool TMainForm::anyDatabaseRecordWindow() const {
  const QList<QMdiSubWindow*> open = openSubWindows();
  return std::any_of(open.begin(), open.end(), [](const QMdiSubWindow* sub) {
    return stationdb::IsDatabaseMode(sub->property(kWindowSourceMode).toInt());
  });
}

void TMainForm::database_velkoraClick() {
  if (databaseMenu_) databaseMenu_->database_velkoraClick();
}

void TMainForm::database_20Click() {
  if (databaseMenu_) databaseMenu_->database_20Click();
}

void TMainForm::database_closeClick() {
  if (databaseMenu_) databaseMenu_->database_closeClick();
}

void TMainForm::user_logoffClick() {
  if (databaseMenu_) databaseMenu_->user_logoffClick();
}

// Window menu ----------------------------------------------------------------

void TMainForm::tile(TileDirection direction) {
  QList<QMdiSubWindow*> tiled;
  QRect area = mdiArea_->viewport()->rect();
  for (QMdiSubWindow* sub : openSubWindows()) {
    if (sub->isMinimized())
      area.setBottom(std::min(area.bottom(), sub->geometry().top() - 1));  // keep the row of icons free
    else
      tiled.append(sub);
  }
  const QVector<QRect> rects = TileRects(static_cast<int>(tiled.size()), area, direction);
  for (qsizetype i = 0; i < tiled.size(); ++i) {
    if (tiled[i]->isMaximized()) tiled[i]->showNormal();
    tiled[i]->setGeometry(rects[i]);
  }
}

void TMainForm::Window_HTile_ItemClick() { tile(TileDirection::Horizontal); }

void TMainForm::Window_VTile_ItemClick() { tile(TileDirection::Vertical); }

void TMainForm::Window_Cascade_ItemClick() { mdiArea_->cascadeSubWindows(); }

void TMainForm::Window_CloseAll_ItemClick() { closeRecordWindows(); }

void TMainForm::Exit_ItemClick() { close(); }

// Help, clock, second start --------------------------------------------------

std::string TMainForm::GetFileVersionText() {
#ifdef QUENLOR_VERSION
  return std::string("(") + QUENLOR_VERSION + ")";
#else
  return "Unknown";
#endif
}

void TMainForm::Help_About_ItemClick() {
  ExePath = (common::ProgramFolder() / common::ProgramName()).string();
  const common::TextPiece newLine = common::TextPiece::literal("\n");
  showMessage({kSection,
               {common::TextPiece{"str40", "瞬时波形分析程序 "}, newLine,
                common::TextPiece{"str41", "IEEE C37.111 暂态录波文件的查看与分析"}, newLine,
                common::TextPiece{"str42", "版本: "}, common::TextPiece::literal(GetFileVersionText())},
               common::TextPiece::literal("About..."),
               common::MessageIcon::Information});
}

void TMainForm::WaveTimerTimer() {
  const QList<QWidget*> windows = RecordWindows();
  if (windows.isEmpty()) return;
  kit_.setClockText(*windows.front(), forms::Utf8(common::FormatDateTime("yyyy/mm/dd hh:nn:ss", ui_.now())));
}

void TMainForm::WMActivateInstance() {
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  // Where the window manager refuses to hand over the focus, at least flash.
  QApplication::alert(this);
}

}  // namespace wave
