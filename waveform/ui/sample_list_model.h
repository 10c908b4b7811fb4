#pragma once
// The model of AllDataListView, a virtual list: it knows only how many rows
// there are; a row's texts are asked for when the view shows it, so a list of
// a million samples costs nothing until it is scrolled.

#include <QAbstractTableModel>
#include <QIdentityProxyModel>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace wave {

class AllDataListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The texts of one row (AllDataListViewData).
  using RowSource = std::function<std::array<std::string, 3>(std::int64_t row)>;

  explicit AllDataListModel(QObject* parent = nullptr);

  // A new list: its row count, column captions and the source of its rows.
  void setUp(std::int64_t rows, const QStringList& captions, RowSource source);
  void clear();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // How many times a row was formatted since the last setUp.
  std::int64_t formattedRows() const { return formatted_; }

 private:
  const std::array<QString, 3>& rowTexts(int row) const;

  int rows_ = 0;
  QStringList captions_;
  RowSource source_;
  // The row asked for last: a view asks for every column and role of a row in turn.
  mutable int cachedRow_ = -1;
  mutable std::array<QString, 3> cached_;
  mutable std::int64_t formatted_ = 0;
};

// What AllDataListView is given of the list: no rows until the view is first
// shown, all of them after. A table view keeps a header section for every row,
// and making a million of them takes tens of milliseconds; a record window
// opens on its other page, so it pays that only when the list is looked at.
class ShownRowsModel : public QIdentityProxyModel {
  Q_OBJECT

 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  void showRows();
  bool rowsShown() const { return shown_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;

 private:
  bool shown_ = false;
};

}  // namespace wave
