#include "waveform/ui/sample_list_model.h"

#include <algorithm>
#include <climits>

namespace wave {

AllDataListModel::AllDataListModel(QObject* parent) : QAbstractTableModel(parent) {}

void AllDataListModel::setUp(std::int64_t rows, const QStringList& captions, RowSource source) {
  beginResetModel();
  rows_ = static_cast<int>(std::clamp<std::int64_t>(rows, 0, INT_MAX));
  captions_ = captions;
  source_ = std::move(source);
  cachedRow_ = -1;
  formatted_ = 0;
  endResetModel();
  Q_EMIT headerDataChanged(Qt::Horizontal, 0, 2);
}

void AllDataListModel::clear() { setUp(0, captions_, {}); }

int AllDataListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int AllDataListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

const std::array<QString, 3>& AllDataListModel::rowTexts(int row) const {
  if (row != cachedRow_) {
    const std::array<std::string, 3> texts = source_(row);
    for (std::size_t i = 0; i < texts.size(); ++i) cached_[i] = QString::fromStdString(texts[i]);
    cachedRow_ = row;
    ++formatted_;
  }
  return cached_;
}

QVariant AllDataListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_ || index.column() > 2 || !source_) return {};
  return rowTexts(index.row())[static_cast<std::size_t>(index.column())];
}

QVariant AllDataListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= captions_.size())
    return QAbstractTableModel::headerData(section, orientation, role);
  return captions_[section];
}

ShownRowsModel::ShownRowsModel(QObject* parent) : QIdentityProxyModel(parent), steps_(new QTimer(this)) {
  steps_->setInterval(0);
  connect(steps_, &QTimer::timeout, this, [this] {
    addRows(std::min(kRowsPerStep, std::max(0, stepsUpTo_ - rowCount())));
    if (!all_ && rowCount() >= stepsUpTo_) steps_->stop();
  });
}

void ShownRowsModel::addRowsInSteps(int upTo) {
  stepsUpTo_ = upTo;
  if (!all_) steps_->start();
}

void ShownRowsModel::showAllRows() { addRows(INT_MAX); }

void ShownRowsModel::addRows(int count) {
  if (all_) return;
  const int rows = sourceModel() ? sourceModel()->rowCount() : 0;
  const int from = rowCount();
  const int to = static_cast<int>(std::min<std::int64_t>(rows, std::int64_t{from} + count));
  if (to > from) {
    beginInsertRows(QModelIndex(), from, to - 1);
    given_ = to;
    endInsertRows();
  }
  if (to == rows) {
    // The source's later resets reach the view whole: by then its header
    // sections are made and their memory is reused.
    all_ = true;
    steps_->stop();
  }
}

int ShownRowsModel::rowCount(const QModelIndex& parent) const {
  const int rows = QIdentityProxyModel::rowCount(parent);
  return all_ || parent.isValid() ? rows : std::min(rows, given_);
}

}  // namespace wave
