#include "clientif/dialogs/forms.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>
#include <exception>
#include <utility>

#include "common/gbk.h"
#include "common/ipc/silentabort.h"
#include "common/lang/translateform.h"

namespace velk::dialogs {
namespace {

constexpr int kStationRole = Qt::UserRole;
constexpr int kChannelRole = Qt::UserRole + 1;
constexpr int kMeterRole = Qt::UserRole + 2;
constexpr int kTopRole = Qt::UserRole;
constexpr int kItemRole = Qt::UserRole + 1;

// Refuses any edit after which the text would take more than limit bytes of
// code page 936, so that a name typed in always fits the caller's buffer.
class GbkByteLimit : public QValidator {
 public:
  GbkByteLimit(std::size_t limit, QObject* parent) : QValidator(parent), limit_(limit) {}
  State validate(QString& input, int&) const override {
    return common::Utf8ToGbk(input.toStdString()).size() <= limit_ ? Acceptable : Invalid;
  }

 private:
  std::size_t limit_;
};

// The second log-in's name field: 13 characters as typed, and any listed
// name whole, whether chosen or pasted; a longer text the program set stays.
class ListedNameLimit : public QValidator {
 public:
  ListedNameLimit(QComboBox& list, int limit)
      : QValidator(list.lineEdit()), list_(list), limit_(limit), length_(list.lineEdit()->text().size()) {
    // Validation sees the edited text; the length before the edit is kept here.
    connect(list.lineEdit(), &QLineEdit::textChanged, this, [this] { length_ = list_.lineEdit()->text().size(); });
  }

  State validate(QString& input, int&) const override {
    if (!list_.lineEdit()->isModified() || input.size() <= std::max<qsizetype>(limit_, length_)) return Acceptable;
    return list_.findText(input, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0 ? Acceptable : Invalid;
  }

 private:
  QComboBox& list_;
  qsizetype limit_;
  qsizetype length_;
};

MessageSink& messageSink() {
  static MessageSink sink;
  return sink;
}

// An error that escapes a handler is shown and the form stays as it was.
template <class Handler>
void guardedHandler(QWidget* form, Handler handler) {
  try {
    handler();
  } catch (const common::SilentAbort&) {
    // ends the handler without a word
  } catch (const std::exception& error) {
    showMessage(form, QString::fromLocal8Bit(error.what()));
  }
}

// The form's class names its language section.
void translate(QDialog& form, const char* formClass, const lang::MultiLangEngine& engine) {
  lang::setFormClass(form, formClass);
  try {
    lang::TranslateForm(form, engine);
  } catch (const std::exception&) {
    // a bad value in the language file leaves the built-in texts
  }
}

QPushButton* button(QDialog& form, const char* name, const char* caption) {
  auto* b = new QPushButton(QString::fromUtf8(caption), &form);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

QTreeWidget* tree(QWidget* parent, const char* name) {
  auto* t = new QTreeWidget(parent);
  t->setObjectName(QString::fromLatin1(name));
  t->setHeaderHidden(true);
  return t;
}

QHBoxLayout* buttonRow(QPushButton* ok, QPushButton* cancel) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}

void fillNodeStatusTree(QTreeWidget* widget, const NodeStatusTree& nodes) {
  for (std::size_t t = 0; t < nodes.nodes.size(); ++t) {
    auto* top = new QTreeWidgetItem(widget, {fromUtf8(nodes.nodes[t].caption)});
    top->setData(0, kTopRole, static_cast<int>(t));
    top->setData(0, kItemRole, -1);
    for (std::size_t i = 0; i < nodes.nodes[t].items.size(); ++i) {
      auto* child = new QTreeWidgetItem(top, {fromUtf8(nodes.nodes[t].items[i].caption)});
      child->setData(0, kTopRole, static_cast<int>(t));
      child->setData(0, kItemRole, static_cast<int>(i));
    }
  }
}

// The chosen (top, item) of a node-state tree; item -1 for a top node.
std::optional<std::pair<int, int>> chosenNodeState(const QTreeWidget* widget) {
  const QTreeWidgetItem* item = widget->currentItem();
  if (item == nullptr) return std::nullopt;
  return std::pair(item->data(0, kTopRole).toInt(), item->data(0, kItemRole).toInt());
}

void selectNodeState(QTreeWidget* widget, int top, int item) {
  QTreeWidgetItem* node = widget->topLevelItem(top);
  if (node == nullptr) return;
  node->setExpanded(true);
  widget->setCurrentItem(item >= 0 && item < node->childCount() ? node->child(item) : node);
}

}  // namespace

void setMessageSink(MessageSink sink) { messageSink() = std::move(sink); }

void showMessage(QWidget* parent, const QString& text) {
  if (messageSink()) {
    messageSink()(parent, text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, parent);
  box.exec();
}

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// --- log-in ---

LoginForm::LoginForm(ClientLibrary& library, bool nameList, QWidget* parent) : QDialog(parent), library_(library) {
  setWindowTitle(QStringLiteral("用户登录"));
  auto* nameLabel = new QLabel(QStringLiteral("用户名："), this);
  nameLabel->setObjectName(QStringLiteral("Label1"));
  auto* passwordLabel = new QLabel(QStringLiteral("密码："), this);
  passwordLabel->setObjectName(QStringLiteral("Label2"));
  QWidget* nameWidget = nullptr;
  if (nameList) {
    nameList_ = new QComboBox(this);
    nameList_->setObjectName(QStringLiteral("UserName"));
    nameList_->setEditable(true);
    nameList_->setInsertPolicy(QComboBox::NoInsert);
    nameList_->lineEdit()->setValidator(new ListedNameLimit(*nameList_, 13));
    nameWidget = nameList_;
  } else {
    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName(QStringLiteral("username"));
    nameEdit_->setMaxLength(13);
    nameWidget = nameEdit_;
  }
  password = new QLineEdit(this);
  password->setObjectName(QStringLiteral("password"));
  password->setMaxLength(6);
  password->setEchoMode(QLineEdit::Password);
  password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
  OKBtn = button(*this, "OKBtn", "确认");
  OKBtn->setDefault(true);
  CancelBtn = button(*this, "CancelBtn", "取消");

  auto* grid = new QVBoxLayout(this);
  grid->addWidget(nameLabel);
  grid->addWidget(nameWidget);
  grid->addWidget(passwordLabel);
  grid->addWidget(password);
  grid->addLayout(buttonRow(OKBtn, CancelBtn));
  connect(OKBtn, &QPushButton::clicked, this, [this] { guardedHandler(this, [this] { OKBtnClick(); }); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { guardedHandler(this, [this] { CancelBtnClick(); }); });
}

void LoginForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  guardedHandler(this, [this] { FormShow(); });
}

// The name as the operator table holds it. A listed name keeps its own
// bytes: its text on screen need not convert back to them (a name ending in
// half a character shows a replacement character).
std::string LoginForm::nameBytes() const {
  if (nameEdit_ != nullptr) return common::Utf8ToGbk(nameEdit_->text().toStdString());
  const QString text = nameList_->currentText();
  int listed = nameList_->currentIndex();
  if (listed < 0 || nameList_->itemText(listed) != text)
    listed = nameList_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (listed < 0) return common::Utf8ToGbk(text.toStdString());
  const QByteArray raw = nameList_->itemData(listed).toByteArray();
  return std::string(raw.constData(), static_cast<std::size_t>(raw.size()));
}

void LoginForm::FormShow() {
  if (nameList_ != nullptr) {
    nameList_->clear();
    for (const std::string& name : SortedOperatorNames(library_))
      nameList_->addItem(fromUtf8(common::GbkToUtf8(name)), QByteArray(name.data(), static_cast<qsizetype>(name.size())));
    nameList_->setCurrentIndex(-1);
    nameList_->setEditText(QString());
    nameList_->setFocus();
  } else {
    nameEdit_->clear();
    nameEdit_->setFocus();
  }
  password->clear();
}

void LoginForm::OKBtnClick() {
  const std::string name = nameBytes();
  const std::string typedPassword = common::Utf8ToGbk(password->text().toStdString());
  const LoginOutcome outcome = CheckLogin(library_, name, typedPassword, requiredMask);
  if (!outcome.accepted) {
    showMessage(this, fromUtf8(VlogText(library_, outcome.messageKey)));
    return;
  }
  name_ = name;
  password_ = typedPassword;
  accept();
}

void LoginForm::CancelBtnClick() {
  name_.clear();
  password_.clear();
  reject();
}

TPasswordDlg::TPasswordDlg(ClientLibrary& library, QWidget* parent) : LoginForm(library, false, parent) {
  username = nameEdit_;
  username->setValidator(new GbkByteLimit(kShortNameBytes, username));
  translate(*this, "TPasswordDlg", library.engine());
}

TPasswordDlg2::TPasswordDlg2(ClientLibrary& library, QWidget* parent) : LoginForm(library, true, parent) {
  UserName = nameList_;
  translate(*this, "TPasswordDlg2", library.engine());
}

// --- point choice ---

TChRealPara_form::TChRealPara_form(ClientLibrary& library, PointKinds kinds, const PointValues& preset, QWidget* parent)
    : QDialog(parent), library_(library), kinds_(kinds), preset_(preset) {
  setWindowTitle(QStringLiteral("选择实时测点"));
  SelectPointPage = new QTabWidget(this);
  SelectPointPage->setObjectName(QStringLiteral("SelectPointPage"));
  RealtimeSheet = new QWidget;
  RealtimeSheet->setObjectName(QStringLiteral("RealtimeSheet"));
  NodeStatusSheet = new QWidget;
  NodeStatusSheet->setObjectName(QStringLiteral("NodeStatusSheet"));
  SelectPointPage->addTab(RealtimeSheet, QStringLiteral("实时测点"));
  SelectPointPage->addTab(NodeStatusSheet, QStringLiteral("节点状态"));

  meter_tree = tree(RealtimeSheet, "meter_tree");
  mhead_listview = new QTreeWidget(RealtimeSheet);
  mhead_listview->setObjectName(QStringLiteral("mhead_listview"));
  mhead_listview->setRootIsDecorated(false);
  mhead_listview->setColumnCount(3);
  mhead_listview->setHeaderLabels({QStringLiteral("测量量名称"), QStringLiteral("类型"), QStringLiteral("内部编码")});
  auto* realtimeLayout = new QHBoxLayout(RealtimeSheet);
  realtimeLayout->addWidget(meter_tree);
  realtimeLayout->addWidget(mhead_listview, 1);
  m_tvNodeStatus = tree(NodeStatusSheet, "m_tvNodeStatus");
  auto* nodeLayout = new QVBoxLayout(NodeStatusSheet);
  nodeLayout->addWidget(m_tvNodeStatus);

  select_btn = button(*this, "select_btn", "选定");
  select_btn->setDefault(true);
  close_btn = button(*this, "close_btn", "关闭");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(SelectPointPage);
  layout->addLayout(buttonRow(select_btn, close_btn));

  translate(*this, "TChRealPara_form", library.engine());
  mhead_listview->setHeaderLabels(
      {fromUtf8(VlogText(library, 53)), fromUtf8(VlogText(library, 54)), fromUtf8(VlogText(library, 55))});
  tree_ = PointTree::Build(library_, kinds_);
  nodes_ = NodeStatusTree::ForPointChoice(library_);
  buildMeterTree();
  buildNodeTree();

  connect(meter_tree, &QTreeWidget::currentItemChanged, this,
          [this] { guardedHandler(this, [this] { meter_treeClick(); }); });
  connect(mhead_listview, &QTreeWidget::itemDoubleClicked, this,
          [this] { guardedHandler(this, [this] { select_btnClick(); }); });
  connect(m_tvNodeStatus, &QTreeWidget::itemDoubleClicked, this,
          [this] { guardedHandler(this, [this] { select_btnClick(); }); });
  connect(select_btn, &QPushButton::clicked, this, [this] { guardedHandler(this, [this] { select_btnClick(); }); });
  connect(close_btn, &QPushButton::clicked, this, &QDialog::reject);
  applyPreset();
}

void TChRealPara_form::buildMeterTree() {
  const auto& stations = tree_.stations();
  for (std::size_t s = 0; s < stations.size(); ++s) {
    auto* station = new QTreeWidgetItem(meter_tree, {fromUtf8(stations[s].caption)});
    station->setData(0, kStationRole, static_cast<int>(s));
    station->setData(0, kChannelRole, -1);
    station->setData(0, kMeterRole, -1);
    const auto& channels = stations[s].channels;
    for (std::size_t c = 0; c < channels.size(); ++c) {
      auto* channel = new QTreeWidgetItem(station, {fromUtf8(channels[c].caption)});
      channel->setData(0, kStationRole, static_cast<int>(s));
      channel->setData(0, kChannelRole, static_cast<int>(c));
      channel->setData(0, kMeterRole, -1);
      for (std::size_t m = 0; m < channels[c].meters.size(); ++m) {
        auto* meter = new QTreeWidgetItem(channel, {fromUtf8(channels[c].meters[m].caption)});
        meter->setData(0, kStationRole, static_cast<int>(s));
        meter->setData(0, kChannelRole, static_cast<int>(c));
        meter->setData(0, kMeterRole, static_cast<int>(m));
      }
    }
    if (stations[s].calcNode) {
      auto* calcs = new QTreeWidgetItem(station, {fromUtf8(VlogText(library_, 32))});
      calcs->setData(0, kStationRole, static_cast<int>(s));
      calcs->setData(0, kChannelRole, static_cast<int>(channels.size()));
      calcs->setData(0, kMeterRole, -1);
    }
  }
}

void TChRealPara_form::buildNodeTree() { fillNodeStatusTree(m_tvNodeStatus, nodes_); }

PointTree::Node TChRealPara_form::nodeOf(const QTreeWidgetItem* item) const {
  if (item == nullptr) return {};
  return {item->data(0, kStationRole).toInt(), item->data(0, kChannelRole).toInt(), item->data(0, kMeterRole).toInt()};
}

void TChRealPara_form::fillList(const PointTree::Node& node) {
  mhead_listview->clear();
  for (const PointTree::Row& row : tree_.rows(library_, node))
    new QTreeWidgetItem(mhead_listview, {fromUtf8(row.name), fromUtf8(row.kindText), QString::number(row.id)});
}

void TChRealPara_form::meter_treeClick() {
  chosen_ = nodeOf(meter_tree->currentItem());
  fillList(chosen_);
}

void TChRealPara_form::applyPreset() {
  if (preset_.kind == 3) {
    if (const auto found = nodes_.find(preset_)) selectNodeState(m_tvNodeStatus, found->first, found->second);
    SelectPointPage->setCurrentWidget(NodeStatusSheet);
    return;
  }
  const auto found = tree_.find(library_, preset_);
  if (!found) return;
  const auto& [node, row] = *found;
  QTreeWidgetItem* item = meter_tree->topLevelItem(node.station);
  if (item != nullptr && node.channel >= 0) item = item->child(node.channel);
  if (item != nullptr && node.meter >= 0) item = item->child(node.meter);
  if (item == nullptr) return;
  for (QTreeWidgetItem* parent = item->parent(); parent != nullptr; parent = parent->parent())
    parent->setExpanded(true);
  meter_tree->setCurrentItem(item);  // fills the list
  if (row >= 0) mhead_listview->setCurrentItem(mhead_listview->topLevelItem(row));
}

void TChRealPara_form::select_btnClick() {
  if (SelectPointPage->currentWidget() == RealtimeSheet) {
    choosePoint();
  } else {
    chooseNodeState();
  }
}

void TChRealPara_form::choosePoint() {
  QTreeWidgetItem* current = mhead_listview->currentItem();
  const int row = current == nullptr ? -1 : mhead_listview->indexOfTopLevelItem(current);
  const PointTree::Choice choice = tree_.choose(library_, chosen_, row);
  if (choice.messageKey != 0) {
    showMessage(this, fromUtf8(VlogText(library_, choice.messageKey)));
    return;
  }
  if (!choice.values) return;
  values_ = *choice.values;
  accept();
}

void TChRealPara_form::chooseNodeState() {
  const auto chosen = chosenNodeState(m_tvNodeStatus);
  if (!chosen || chosen->second < 0) return;  // a top node: nothing happens
  values_ = nodes_.pointChoice(chosen->first, chosen->second);
  accept();
}

// --- control choice ---

TChCtrl_form::TChCtrl_form(ClientLibrary& library, std::int32_t stationId, std::int32_t controlId, QWidget* parent)
    : QDialog(parent), library_(library), stationId_(stationId), controlId_(controlId) {
  setWindowTitle(QStringLiteral("选择遥控点"));
  StationCombox = new QComboBox(this);
  StationCombox->setObjectName(QStringLiteral("StationCombox"));
  CtrlListBox = new QListWidget(this);
  CtrlListBox->setObjectName(QStringLiteral("CtrlListBox"));
  select_btn = button(*this, "select_btn", "选 定");
  select_btn->setDefault(true);
  close_btn = button(*this, "close_btn", "退 出");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(StationCombox);
  layout->addWidget(CtrlListBox);
  layout->addLayout(buttonRow(select_btn, close_btn));
  translate(*this, "TChCtrl_form", library.engine());

  choice_ = ControlChoice::Build(library_);
  for (const auto& station : choice_.stations) StationCombox->addItem(fromUtf8(station.caption));
  connect(StationCombox, &QComboBox::currentIndexChanged, this,
          [this] { guardedHandler(this, [this] { StationComboxChange(); }); });
  connect(CtrlListBox, &QListWidget::itemDoubleClicked, this,
          [this] { guardedHandler(this, [this] { select_btnClick(); }); });
  connect(select_btn, &QPushButton::clicked, this, [this] { guardedHandler(this, [this] { select_btnClick(); }); });
  connect(close_btn, &QPushButton::clicked, this, &QDialog::reject);

  int slot = choice_.stations.empty() ? -1 : 0;
  for (std::size_t s = 0; s < choice_.stations.size(); ++s)
    if (choice_.stations[s].stationId == stationId_) slot = static_cast<int>(s);
  StationCombox->setCurrentIndex(slot);
  StationComboxChange();
  for (std::size_t r = 0; r < controls_.size(); ++r)
    if (controls_[r].id == controlId_) CtrlListBox->setCurrentRow(static_cast<int>(r));
}

void TChCtrl_form::StationComboxChange() {
  CtrlListBox->clear();
  controls_ = ControlChoice::Controls(library_, StationCombox->currentIndex());
  for (const auto& control : controls_) CtrlListBox->addItem(fromUtf8(control.name));
}

void TChCtrl_form::select_btnClick() {
  const int slot = StationCombox->currentIndex();
  const int row = CtrlListBox->currentRow();
  if (slot < 0 || row < 0 || row >= static_cast<int>(controls_.size())) {
    showMessage(this, fromUtf8(VlogText(library_, 52)));
    return;
  }
  stationId_ = choice_.stations[static_cast<std::size_t>(slot)].stationId;
  controlId_ = controls_[static_cast<std::size_t>(row)].id;
  accept();
}

// --- node-state choice ---

TChooseNodeStatusDlg::TChooseNodeStatusDlg(ClientLibrary& library, const NodeStatusTree::NodeChoice& preset,
                                           QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Dialog"));
  m_tvNodeStatus = tree(this, "m_tvNodeStatus");
  OKBtn = button(*this, "OKBtn", "确定");
  OKBtn->setDefault(true);
  CancelBtn = button(*this, "CancelBtn", "取消");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tvNodeStatus);
  layout->addLayout(buttonRow(OKBtn, CancelBtn));
  translate(*this, "TChooseNodeStatusDlg", library.engine());
  nodes_ = NodeStatusTree::ForNodeChoice(library);
  fillNodeStatusTree(m_tvNodeStatus, nodes_);
  if (const auto found = nodes_.find(preset)) selectNodeState(m_tvNodeStatus, found->first, found->second);
  connect(OKBtn, &QPushButton::clicked, this, [this] { guardedHandler(this, [this] { OKBtnClick(); }); });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TChooseNodeStatusDlg::OKBtnClick() {
  const auto chosen = chosenNodeState(m_tvNodeStatus);
  if (!chosen || chosen->second < 0) return;  // a top node keeps the dialog open
  choice_ = nodes_.nodeChoice(chosen->first, chosen->second);
  accept();
}

}  // namespace velk::dialogs
