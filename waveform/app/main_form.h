#pragma once
// TMainForm: the program's main window, a maximised MDI frame whose children
// are the record windows (at most 4). It opens records from a folder, arranges
// the record windows, asks before the program ends and writes the clock into
// the first record window every second.

#include <QMainWindow>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "waveform/app/db_menu.h"
#include "waveform/app/record_windows.h"
#include "waveform/app/tiling.h"
#include "waveform/app/ui_services.h"
#include "waveform/model/cfgopen.h"
#include "recordmodel/record.h"
#include "waveform/model/settings.h"

class QMdiArea;
class QMdiSubWindow;
class QTimer;

namespace wave {

inline constexpr const char* kMainFormCaption = "瞬时波形分析程序";

class TMainForm : public QMainWindow, public DatabaseMenuWindow {
  Q_OBJECT

 public:
  // settings: the program's display settings, which outlive the window and
  // everything in it. iniPath: zavoviv.ini, read when the window is created
  // and written when it is destroyed.
  TMainForm(UiServices& ui, RecordWindowKit& kit, DisplaySettings& settings,
            std::filesystem::path iniPath = ZavovivIniPath(), QWidget* parent = nullptr);
  ~TMainForm() override;  // FormDestroy

  // 1 while the record being opened is a pair written from the database; the
  // opening owns it (and deletes it) until its record window takes it over.
  std::uint8_t TempFilesFlag = 0;
  // The program's file name, set when the about box is shown.
  std::string ExePath;
  // The record being opened: the one the options dialog lists and the next
  // record window copies.
  TcfgInfo CfgInfo;

  // Where records come from: 0 files from a folder, 12 the power-quality
  // database, 21 the automation system's databases.
  std::int32_t RecordSourceMode = 0;
  std::int32_t CurrentUserID = 0;
  std::uint8_t DBConnectionClosed = 0;

  void menu_file_cfgClick();
  // Lists folder's .cfg files in a TOpenDlg; the chosen file's path, or empty.
  std::string SelectCfgInFolder(const std::string& folder);
  // Opens the main window's record in a new record window with that caption.
  // The samples are read and analysed off the window thread while a wait
  // window shows how far it got; the window is made when they are complete.
  // Cancelling the wait abandons the opening as the options dialog's Cancel
  // does. files: the pair written from the database for the record, which
  // the window takes over; they are deleted when the opening ends without a
  // window. Returns the window when it was made before this returns (a runner
  // that works at once); null when 4 are open already (the user is told), the
  // record window refused the record, or the window comes later.
  QWidget* CreateMDIChild(const QString& caption, RecordFiles files = {});
  void database_velkoraClick();
  void database_20Click();
  void database_closeClick();
  void user_logoffClick();
  void Exit_ItemClick();
  void Window_HTile_ItemClick();
  void Window_VTile_ItemClick();
  void Window_Cascade_ItemClick();
  void Window_CloseAll_ItemClick();
  void Help_About_ItemClick();
  void WaveTimerTimer();
  // A later start of the program asked this one to come to the front.
  void WMActivateInstance();

  static std::string GetFileVersionText();

  // The open record windows in index order: window 0 is the one active last.
  QList<QWidget*> RecordWindows() const;
  QMdiArea* MdiArea() const { return mdiArea_; }
  QTimer* WaveTimer() const { return waveTimer_; }

  // Writes the exit event when a logged-in user of the automation system's
  // databases ends the program: (user id, event text).
  void setExitEventWriter(std::function<void(std::int32_t, const std::string&)> writer);

  // Gives the database entries their database layer and dialogs; without
  // them the entries do nothing. The exit event goes to database's event log
  // unless a writer was set.
  void attachDatabase(DatabaseLayer& database, DatabaseDialogs& dialogs);
  DatabaseMenu* databaseMenu() const { return databaseMenu_.get(); }

  // What the database menu uses.
  MessageAnswer ask(const common::UserMessage& message, MessageButtons buttons) override;
  bool anyDatabaseRecordWindow() const override;
  void openCfgFile(const std::string& path) override;

  // What the record opening and the record windows use.
  int openWindowCount() const override;
  bool tempFilesFlag() const override;
  DisplaySettings& displaySettings() override;
  void setRecord(const TcfgInfo& record) override;
  OptionsDialogResult showOptionsDialog() override;
  void createRecordWindow(const std::string& caption, RecordFiles files) override;

 protected:
  void showEvent(QShowEvent* event) override;    // FormShow
  void closeEvent(QCloseEvent* event) override;  // FormClose

 private:
  void FormCreate();
  void buildMenus();
  QAction* addItem(QMenu& menu, const char* name, const QString& caption, void (TMainForm::*handler)());
  void showMessage(const common::UserMessage& message);
  QList<QMdiSubWindow*> openSubWindows() const;
  void closeRecordWindows();
  void tile(TileDirection direction);
  QWidget* addRecordWindow(const QString& caption, RecordWindowRequest& request);
  void placeRecordWindow(QMdiSubWindow& sub);
  void abandonOpening(RecordFiles& files);

  UiServices& ui_;
  RecordWindowKit& kit_;
  std::filesystem::path iniPath_;
  DisplaySettings& settings_;
  QMdiArea* mdiArea_;
  QTimer* waveTimer_;
  std::function<void(std::int32_t, const std::string&)> exitEventWriter_;
  std::unique_ptr<DatabaseMenu> databaseMenu_;
  DatabaseLayer* database_ = nullptr;
};

}  // namespace wave
