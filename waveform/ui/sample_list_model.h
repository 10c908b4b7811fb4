#pragma once
// The model of AllDataListView, a virtual list: it knows only how many rows
// there are; a row's texts are asked for when the view shows it, so a list of
// a million samples costs nothing until it is scrolled.

#include <QAbstractTableModel>
#include <QIdentityProxyModel>
#include <QStringList>
#include <QTimer>
#include <array>
#include <climits>
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

// What AllDataListView is given of the list. A table view keeps a header
// section for every row, and making a million of them at once takes tens of
// milliseconds (fresh memory to fault in); so while the view is hidden it is
// given the rows a step at a time, one step per turn of the event loop, and
// the moment it is shown it has them all.
class ShownRowsModel : public QIdentityProxyModel {
  Q_OBJECT

 public:
  static constexpr int kRowsPerStep = 50000;

  explicit ShownRowsModel(QObject* parent = nullptr);

  // Gives the view the rows it still lacks in steps, from the next turn of the
  // event loop, up to the first `upTo` rows; the rest come when it is shown
  // (the rows past what a data file really holds cost no memory until then).
  void addRowsInSteps(int upTo = INT_MAX);
  // Gives the view every row from now on.
  void showAllRows();
  bool allRowsShown() const { return all_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;

 private:
  void addRows(int count);

  bool all_ = false;
  int given_ = 0;  // rows the view has while not all_
  int stepsUpTo_ = INT_MAX;
  QTimer* steps_;
};

}  // namespace wave
