#pragma once
// The five forms of the dialog exports. Component object names are the
// forms' own (the language file addresses them); each form is translated
// from the section named after its class when it is made.

#include <QDialog>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "clientif/dialogmodels.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace velk::dialogs {

// Shows a message over a form (a plain message box unless replaced).
using MessageSink = std::function<void(QWidget* parent, const QString& text)>;
void setMessageSink(MessageSink sink);
void showMessage(QWidget* parent, const QString& text);

// Called with every form just before it runs modally (tests drive the form
// from it); none by default.
using ShowHook = std::function<void(QDialog& form)>;
void setShowHook(ShowHook hook);

QString fromUtf8(const std::string& text);

// The longest name TPasswordDlg takes, in bytes of code page 936: its
// callers' buffers hold that many and the closing NUL.
inline constexpr std::size_t kShortNameBytes = 13;
// The longest name TPasswordDlg2 hands back, in the same bytes.
inline constexpr std::size_t kLongNameBytes = 127;

// TPasswordDlg and TPasswordDlg2: the operator log-in.
class LoginForm : public QDialog {
  Q_OBJECT

 public:
  std::int32_t requiredMask = 0;
  // In code page 936, as the operator table holds them.
  const std::string& enteredName() const { return name_; }
  const std::string& enteredPassword() const { return password_; }

  void FormShow();
  void OKBtnClick();
  void CancelBtnClick();

  QLineEdit* password = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  LoginForm(ClientLibrary& library, bool nameList, QWidget* parent);
  void showEvent(QShowEvent* event) override;
  std::string nameBytes() const;

  ClientLibrary& library_;
  QLineEdit* nameEdit_ = nullptr;
  QComboBox* nameList_ = nullptr;
  std::string name_;
  std::string password_;
};

class TPasswordDlg : public LoginForm {
  Q_OBJECT

 public:
  TPasswordDlg(ClientLibrary& library, QWidget* parent = nullptr);
  QLineEdit* username = nullptr;
};

class TPasswordDlg2 : public LoginForm {
  Q_OBJECT

 public:
  TPasswordDlg2(ClientLibrary& library, QWidget* parent = nullptr);
  QComboBox* UserName = nullptr;
};

// TChRealPara_form: a realtime point or a node state.
class TChRealPara_form : public QDialog {
  Q_OBJECT

 public:
  TChRealPara_form(ClientLibrary& library, PointKinds kinds, const PointValues& preset, QWidget* parent = nullptr);

  // The choice made with OK.
  const PointValues& values() const { return values_; }

  void meter_treeClick();
  void select_btnClick();

  QTabWidget* SelectPointPage = nullptr;
  QWidget* RealtimeSheet = nullptr;
  QWidget* NodeStatusSheet = nullptr;
  QTreeWidget* meter_tree = nullptr;
  QTreeWidget* mhead_listview = nullptr;
  QTreeWidget* m_tvNodeStatus = nullptr;
  QPushButton* select_btn = nullptr;
  QPushButton* close_btn = nullptr;

 private:
  void buildMeterTree();
  void buildNodeTree();
  void applyPreset();
  void choosePoint();
  void chooseNodeState();
  PointTree::Node nodeOf(const QTreeWidgetItem* item) const;
  void fillList(const PointTree::Node& node);

  ClientLibrary& library_;
  PointKinds kinds_;
  PointValues preset_;
  PointValues values_;
  PointTree tree_;
  NodeStatusTree nodes_;
  PointTree::Node chosen_;
};

// TChCtrl_form: a control point.
class TChCtrl_form : public QDialog {
  Q_OBJECT

 public:
  TChCtrl_form(ClientLibrary& library, std::int32_t stationId, std::int32_t controlId, QWidget* parent = nullptr);

  std::int32_t stationId() const { return stationId_; }
  std::int32_t controlId() const { return controlId_; }

  void StationComboxChange();
  void select_btnClick();

  QComboBox* StationCombox = nullptr;
  QListWidget* CtrlListBox = nullptr;
  QPushButton* select_btn = nullptr;
  QPushButton* close_btn = nullptr;

 private:
  ClientLibrary& library_;
  ControlChoice choice_;
  std::vector<ControlChoice::Control> controls_;
  std::int32_t stationId_;
  std::int32_t controlId_;
};

// TChooseNodeStatusDlg: a node state.
class TChooseNodeStatusDlg : public QDialog {
  Q_OBJECT

 public:
  // Opens on the item of the preset values (node id, selector, third value).
  explicit TChooseNodeStatusDlg(ClientLibrary& library, const NodeStatusTree::NodeChoice& preset = {},
                                QWidget* parent = nullptr);

  const NodeStatusTree::NodeChoice& choice() const { return choice_; }
  void OKBtnClick();

  QTreeWidget* m_tvNodeStatus = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  NodeStatusTree nodes_;
  NodeStatusTree::NodeChoice choice_;
};

}  // namespace velk::dialogs
