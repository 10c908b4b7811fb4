#include "waveform/app/folder_browser.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/forms/form_services.h"
#include "common/gbk.h"
#include "common/strings.h"

namespace wave {

struct FolderModel::Node {
  std::string name;  // bytes as the file system holds them; "/" for the root
  Node* parent = nullptr;
  int row = 0;  // among its parent's children
  std::vector<std::unique_ptr<Node>> children;
  bool listed = false;
};

namespace {

std::string pathOfNode(const auto* node) {
  if (node->parent == nullptr) return node->name;
  std::string path = pathOfNode(node->parent);
  if (path.back() != '/') path.push_back('/');
  path.append(node->name);
  return path;
}

}  // namespace

FolderModel::FolderModel(QObject* parent) : QAbstractItemModel(parent), root_(std::make_unique<Node>()) {
  root_->name.assign(1, '/');
}

FolderModel::~FolderModel() = default;

void FolderModel::list(Node& node) const {
  if (node.listed) return;
  node.listed = true;
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(pathOfNode(&node), ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::error_code typeError;
    if (name.empty() || name.front() == '.' || !it->is_directory(typeError)) continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int byText = common::CompareText(a, b);
    return byText != 0 ? byText < 0 : a < b;
  });
  for (std::string& name : names) {
    auto child = std::make_unique<Node>();
    child->name = std::move(name);
    child->parent = &node;
    child->row = static_cast<int>(node.children.size());
    node.children.push_back(std::move(child));
  }
}

FolderModel::Node* FolderModel::nodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex FolderModel::indexOfNode(const Node* node) const {
  return createIndex(node->row, 0, const_cast<Node*>(node));
}

std::string FolderModel::pathOf(const QModelIndex& index) const {
  const Node* node = nodeOf(index);
  return node ? pathOfNode(node) : std::string();
}

QModelIndex FolderModel::indexOf(const std::string& path) {
  Node* node = root_.get();
  for (const auto& part : std::filesystem::path(path).relative_path()) {
    list(*node);
    const std::string name = part.string();
    const auto it = std::find_if(node->children.begin(), node->children.end(),
                                 [&name](const auto& child) { return child->name == name; });
    if (it == node->children.end()) break;
    node = it->get();
  }
  return indexOfNode(node);
}

QModelIndex FolderModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  if (!parent.isValid()) return row == 0 ? indexOfNode(root_.get()) : QModelIndex();
  Node* node = nodeOf(parent);
  list(*node);
  if (row >= static_cast<int>(node->children.size())) return {};
  return createIndex(row, 0, node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex FolderModel::parent(const QModelIndex& child) const {
  const Node* node = nodeOf(child);
  return node && node->parent ? indexOfNode(node->parent) : QModelIndex();
}

int FolderModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return 1;  // the root folder
  Node* node = nodeOf(parent);
  list(*node);
  return static_cast<int>(node->children.size());
}

int FolderModel::columnCount(const QModelIndex&) const { return 1; }

bool FolderModel::hasChildren(const QModelIndex& parent) const {
  const Node* node = nodeOf(parent);
  return node == nullptr || !node->listed || !node->children.empty();
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
  const Node* node = nodeOf(index);
  if (node == nullptr || role != Qt::DisplayRole) return {};
  return forms::Utf8(common::DecodeUtf8OrGbk(node->name));
}

TFolderBrowser::TFolderBrowser(const QString& title, const std::string& startFolder, QWidget* parent)
    : QDialog(parent), model_(new FolderModel(this)), tree_(new QTreeView(this)) {
  setObjectName(QStringLiteral("FolderBrowser"));
  setWindowTitle(QStringLiteral("浏览文件夹"));
  resize(360, 420);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(title, this));
  tree_->setObjectName(QStringLiteral("FolderTree"));
  tree_->setHeaderHidden(true);
  tree_->setModel(model_);
  layout->addWidget(tree_);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  const char* home = std::getenv("HOME");
  const QModelIndex start = model_->indexOf(!startFolder.empty() ? startFolder : home != nullptr ? home : "/");
  for (QModelIndex above = start.parent(); above.isValid(); above = above.parent()) tree_->expand(above);
  tree_->setCurrentIndex(start);
  tree_->scrollTo(start);
}

std::string TFolderBrowser::chosenFolder() const { return model_->pathOf(tree_->currentIndex()); }

}  // namespace wave
