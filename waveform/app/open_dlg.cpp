#include "waveform/app/open_dlg.h"

#include <QFile>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

#include "common/lang/translateform.h"

namespace wave {
namespace {

constexpr int kFileSystemNameRole = Qt::UserRole;

}  // namespace

TOpenDlg::TOpenDlg(UiServices& ui, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui_(ui),
      listView1_(new QListWidget(this)),
      bitBtnOK_(new QPushButton(QStringLiteral("确定"), this)),
      bitBtnCancel_(new QPushButton(QStringLiteral("取消"), this)) {
  lang::setFormClass(*this, "TOpenDlg");
  setObjectName(QStringLiteral("OpenDlg"));
  setWindowTitle(QStringLiteral("选择波形文件"));
  setFixedSize(222, 253);

  listView1_->setObjectName(QStringLiteral("ListView1"));
  lang::setComponentClass(*listView1_, "TListView");  // its items are the files listed, no string list
  listView1_->setGeometry(18, 16, 185, 185);
  listView1_->setViewMode(QListView::ListMode);
  listView1_->setFlow(QListView::TopToBottom);
  listView1_->setWrapping(true);
  listView1_->setResizeMode(QListView::Adjust);
  listView1_->setUniformItemSizes(true);
  listView1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView1_->setSelectionMode(QAbstractItemView::SingleSelection);
  listView1_->viewport()->installEventFilter(this);

  bitBtnOK_->setObjectName(QStringLiteral("BitBtnOK"));
  bitBtnOK_->setGeometry(24, 216, 75, 25);
  bitBtnOK_->setDefault(true);
  bitBtnOK_->setAutoDefault(true);
  bitBtnCancel_->setObjectName(QStringLiteral("BitBtnCancel"));
  bitBtnCancel_->setGeometry(125, 216, 75, 25);
  bitBtnCancel_->setAutoDefault(false);

  connect(bitBtnOK_, &QPushButton::clicked, this, [this] { Guarded(ui_, this, [this] { BitBtnOKClick(); }); });
  connect(bitBtnCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void TOpenDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Guarded(ui_, this, [this] {
    lang::TranslateForm(*this);
    fitItemWidths();
  });
}

void TOpenDlg::fitItemWidths() {
  // Every item is as wide as the longest name, as in a list view's column: no
  // name is cut while the list has room, and a click right of a short name
  // still takes it.
  QSize cell;
  for (int row = 0; row < listView1_->count(); ++row) {
    listView1_->item(row)->setSizeHint(QSize());
    cell = cell.expandedTo(listView1_->sizeHintForIndex(listView1_->model()->index(row, 0)));
  }
  for (int row = 0; row < listView1_->count(); ++row) listView1_->item(row)->setSizeHint(cell);
}

bool TOpenDlg::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                     type == QEvent::MouseButtonDblClick;
  if (watched != listView1_->viewport() || !mouse) return QDialog::eventFilter(watched, event);
  const auto* press = static_cast<QMouseEvent*>(event);
  if (type == QEvent::MouseButtonPress) {
    // As in a system list view, a press on empty space clears the selection.
    if (!listView1_->indexAt(press->position().toPoint()).isValid()) listView1_->clearSelection();
  } else if (press->button() == Qt::LeftButton) {
    if (type == QEvent::MouseButtonRelease) {
      Guarded(ui_, this, [this] { ListView1Click(); });
    } else {
      Guarded(ui_, this, [this] { ListView1DblClick(); });
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TOpenDlg::AddFileName(const QString& caption, const std::string& name) {
  auto* item = new QListWidgetItem(caption, listView1_);
  item->setData(kFileSystemNameRole, QByteArray::fromStdString(name));
}

void TOpenDlg::takeSelection() {
  const QList<QListWidgetItem*> selected = listView1_->selectedItems();
  if (selected.isEmpty()) return;
  const QListWidgetItem& item = *selected.front();
  ChosenFileName = item.text();
  const QVariant name = item.data(kFileSystemNameRole);
  chosenFileSystemName_ =
      (name.isValid() ? name.toByteArray() : QFile::encodeName(ChosenFileName)).toStdString();
}

void TOpenDlg::ListView1Click() { takeSelection(); }

void TOpenDlg::BitBtnOKClick() {
  // The current selection wins over an earlier click: the user may have moved
  // on with the keyboard since.
  takeSelection();
  if (!ChosenFileName.isEmpty()) {
    accept();
    return;
  }
  ui_.showMessage(this,
                  common::UserMessage::warning(std::string(kOpenDlgSection), "str0", "请选择录波文件", "str1"),
                  MessageButtons::Ok);
}

void TOpenDlg::ListView1DblClick() {
  ListView1Click();
  BitBtnOKClick();
}

}  // namespace wave
