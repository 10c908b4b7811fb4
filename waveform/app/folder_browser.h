#pragma once
// The folder browser of the file menu. Folder names are shown decoded as the
// record files' texts are (valid UTF-8 as it stands, anything else as GBK:
// records copied from Windows disks keep GBK folder names) and opened by the
// bytes the file system holds, so that no folder is hidden for its name.

#include <QAbstractItemModel>
#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QTreeView;

namespace wave {

// The folders below "/", listed when first asked for: no hidden ones (names
// beginning with "."), sorted by name without regard to ASCII case.
class FolderModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  explicit FolderModel(QObject* parent = nullptr);
  ~FolderModel() override;

  // The folder's path as the file system holds it (bytes, not text).
  std::string pathOf(const QModelIndex& index) const;
  // The folder at path, or the deepest folder on its way that exists.
  QModelIndex indexOf(const std::string& path);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  struct Node;
  Node* nodeOf(const QModelIndex& index) const;
  QModelIndex indexOfNode(const Node* node) const;
  void list(Node& node) const;

  std::unique_ptr<Node> root_;
};

class TFolderBrowser : public QDialog {
  Q_OBJECT

 public:
  // title: the text above the tree; startFolder: the folder shown chosen
  // first (file system bytes; empty: the home folder).
  TFolderBrowser(const QString& title, const std::string& startFolder, QWidget* parent = nullptr);

  // The chosen folder (file system bytes); empty when none is.
  std::string chosenFolder() const;
  QTreeView* tree() const { return tree_; }
  FolderModel* model() const { return model_; }

 private:
  FolderModel* model_;
  QTreeView* tree_;
};

}  // namespace wave
