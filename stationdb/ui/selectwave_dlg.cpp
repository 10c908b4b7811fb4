#include "stationdb/ui/selectwave_dlg.h"

#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <QTreeWidget>

#include <string>
#include <vector>

#include "common/gbk.h"
#include "common/lang/translateform.h"
#include "stationdb/queries/wavequery.h"
#include "stationdb/select/waveselect.h"

namespace stationdb {
namespace {

constexpr int kNodeRole = Qt::UserRole;
constexpr int kRowRole = Qt::UserRole;
constexpr int kTopBarHeight = 34;
constexpr int kLeftPaneWidth = 161;
constexpr int kCaptionHeight = 20;

QFont ListFont() {
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(12);
  return font;
}

// The images of the tree and the list: 1 containers, 2 items, 3 records.
QIcon ImageIcon(const QWidget& widget, int index) {
  switch (index) {
    case 1: return widget.style()->standardIcon(QStyle::SP_DirIcon);
    case 2: return widget.style()->standardIcon(QStyle::SP_FileIcon);
    case TSelectWaveDlg::kListImage: return widget.style()->standardIcon(QStyle::SP_FileDialogDetailedView);
    default: return {};
  }
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  return label;
}

QLabel* MakeCaptionPanel(QWidget* parent, const char* name, const QString& caption) {
  QLabel* panel = MakeLabel(parent, name, caption, {});
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setAlignment(Qt::AlignCenter);
  return panel;
}

QDateTimeEdit* MakePicker(QWidget* parent, const char* name, int left) {
  auto* picker = new QDateTimeEdit(parent);
  picker->setObjectName(QString::fromLatin1(name));
  picker->setGeometry(left, 6, 110, 21);
  // The picker shows the date; its time of day is kept and goes into the query.
  picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  picker->setCalendarPopup(true);
  picker->setTimeSpec(Qt::LocalTime);
  return picker;
}

}  // namespace

common::TDateTime ToTDateTime(const QDateTime& value) {
  const QDate date = value.date();
  const QTime time = value.time();
  return common::EncodeDateTime({date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(),
                                 time.msec()})
      .value_or(0.0);
}

QDateTime FromTDateTime(common::TDateTime value) {
  const common::DateTimeParts parts = common::DecodeDateTime(value);
  return {QDate(parts.year, parts.month, parts.day), QTime(parts.hour, parts.minute, parts.second, parts.millisecond)};
}

// The station tree's items as the tree loader fills them.
class TSelectWaveDlg::TreeAdapter : public TreeItems {
 public:
  // The two images are made once: making an icon decodes its image, which
  // for every item of a big station took seconds.
  explicit TreeAdapter(QTreeWidget& tree)
      : tree_(tree), groupIcon_(ImageIcon(tree, kGroupImage)), leafIcon_(ImageIcon(tree, kLeafImage)) {}

  TreeItemHandle AddItem(TreeItemHandle parent, const std::string& caption, const CSetObj* node,
                         int imageIndex) override {
    auto* item = parent == kNoTreeItem ? new QTreeWidgetItem(&tree_) : new QTreeWidgetItem(itemOf(parent));
    item->setText(0, forms::Utf8(common::GbkToUtf8(caption)));
    item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
    if (imageIndex == kGroupImage) item->setIcon(0, groupIcon_);
    if (imageIndex == kLeafImage) item->setIcon(0, leafIcon_);
    return reinterpret_cast<TreeItemHandle>(item);
  }
  void DeleteChildren(TreeItemHandle item) override { qDeleteAll(itemOf(item)->takeChildren()); }
  void Expand(TreeItemHandle item) override { itemOf(item)->setExpanded(true); }

 private:
  static QTreeWidgetItem* itemOf(TreeItemHandle handle) { return reinterpret_cast<QTreeWidgetItem*>(handle); }
  QTreeWidget& tree_;
  const QIcon groupIcon_;
  const QIcon leafIcon_;
};

TSelectWaveDlg::TSelectWaveDlg(const SelectWaveContext& context, forms::FormServices& services, QWidget* parent,
                               const lang::MultiLangEngine& engine)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      context_(context),
      services_(services),
      engine_(engine) {
  lang::setFormClass(*this, "TSelectWaveDlg");
  setObjectName(QStringLiteral("SelectWaveDlg"));
  setWindowTitle(QStringLiteral("选择波形文件"));
  setFixedSize(606, 408);
  buildTopBar();
  buildPanes();
}

TSelectWaveDlg::~TSelectWaveDlg() = default;

void TSelectWaveDlg::buildTopBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName(QStringLiteral("Top_Panel"));
  bar->setGeometry(0, 0, width(), kTopBarHeight);
  allRadioBtn_ = new QRadioButton(QStringLiteral("全部"), bar);
  allRadioBtn_->setObjectName(QStringLiteral("All_RadioBtn"));
  allRadioBtn_->setGeometry(9, 8, 49, 17);
  defineRadioBtn_ = new QRadioButton(QStringLiteral("自定义"), bar);
  defineRadioBtn_->setObjectName(QStringLiteral("Define_RadioBtn"));
  defineRadioBtn_->setGeometry(61, 8, 65, 17);
  MakeLabel(bar, "Label2", QStringLiteral("起始时间："), {176, 10, 66, 13});
  startDpk_ = MakePicker(bar, "Start_dpk", 244);
  label1_ = MakeLabel(bar, "Label1", QStringLiteral("-至-"), {358, 10, 28, 13});
  MakeLabel(bar, "Label3", QStringLiteral("终止时间："), {391, 10, 66, 13});
  endDpk_ = MakePicker(bar, "End_dpk", 459);

  connect(allRadioBtn_, &QRadioButton::clicked, this, [this] { All_RadioBtnClick(); });
  connect(defineRadioBtn_, &QRadioButton::clicked, this, [this] { Define_RadioBtnClick(); });
}

void TSelectWaveDlg::buildPanes() {
  const int paneHeight = height() - kTopBarHeight;
  auto* left = new QFrame(this);
  left->setObjectName(QStringLiteral("Left_Panel"));
  left->setGeometry(0, kTopBarHeight, kLeftPaneWidth, paneHeight);
  QLabel* devicePanel = MakeCaptionPanel(left, "Device_Panel", QStringLiteral("设备"));
  devicePanel->setGeometry(0, 0, kLeftPaneWidth, kCaptionHeight);
  treeView_ = new QTreeWidget(left);
  treeView_->setObjectName(QStringLiteral("Select_Meter_TreeView"));
  treeView_->setGeometry(0, kCaptionHeight, kLeftPaneWidth, paneHeight - kCaptionHeight);
  treeView_->setHeaderHidden(true);
  treeView_->setIndentation(19);
  treeView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  treeView_->setFont(ListFont());

  const int rightWidth = width() - kLeftPaneWidth;
  auto* right = new QFrame(this);
  right->setObjectName(QStringLiteral("Right_Panel"));
  right->setGeometry(kLeftPaneWidth, kTopBarHeight, rightWidth, paneHeight);
  meterPanel_ = MakeCaptionPanel(right, "Meter_Panel", QStringLiteral("波形文件"));
  meterPanel_->setGeometry(0, 0, rightWidth, kCaptionHeight);
  listView_ = new QTreeWidget(right);
  listView_->setObjectName(QStringLiteral("Select_Wave_ListView"));
  listView_->setGeometry(0, kCaptionHeight, rightWidth, paneHeight - kCaptionHeight);
  listView_->setRootIsDecorated(false);
  listView_->setItemsExpandable(false);
  listView_->setUniformRowHeights(true);
  listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listView_->setSelectionMode(QAbstractItemView::SingleSelection);
  listView_->header()->setSectionsClickable(false);
  listView_->header()->setStretchLastSection(false);
  listView_->setColumnCount(0);
  listView_->setFont(ListFont());

  connect(treeView_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    // The tree expands the node the user picks.
    item->setExpanded(true);
    forms::GuardedHandler(services_, this, [this] { Select_Meter_TreeViewClick(); });
  });
  connect(listView_, &QTreeWidget::itemDoubleClicked, this,
          [this] { forms::GuardedHandler(services_, this, [this] { Select_Wave_ListViewDblClick(); }); });
}

QString TSelectWaveDlg::text(std::string_view key, std::string_view builtIn) const {
  return forms::Utf8(engine_.GetLangString(kSelectWaveSection, key, builtIn));
}

void TSelectWaveDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  forms::GuardedHandler(services_, this, [this] { FormShow(); });
}

void TSelectWaveDlg::FormShow() {
  forms::CentreOnScreen(*this);
  lang::TranslateForm(*this, engine_);
  const common::TDateTime now = context_.convert.now();
  startDpk_->setDateTime(FromTDateTime(YearStartAtTimeOfDay(now)));
  endDpk_->setDateTime(FromTDateTime(now));
  startDpk_->setEnabled(false);
  endDpk_->setEnabled(false);
  label1_->hide();

  listView_->clear();
  allRadioBtn_->setChecked(true);
  defineRadioBtn_->setChecked(false);
  meterPanel_->setText(text("str0", kWaveListCaption));

  const std::int32_t mode = context_.state.RecordSourceMode;
  if (mode != kSourcePowerQuality && mode != kSourceAutomation) return;
  treeView_->clear();
  TreeAdapter items(*treeView_);
  FillStationTree(kNoTreeItem, items, context_.trees);
  listView_->setColumnCount(3);
  listView_->setHeaderLabels(
      {text("str10", kTriggerTimeColumn), text("str11", kMeterColumn), text("str12", kSerialNoColumn)});
  listView_->setColumnWidth(0, 180);
  listView_->setColumnWidth(1, 100);
  listView_->setColumnHidden(2, true);  // width 0: the serial number travels unseen
}

void TSelectWaveDlg::All_RadioBtnClick() {
  startDpk_->setEnabled(false);
  endDpk_->setEnabled(false);
}

void TSelectWaveDlg::Define_RadioBtnClick() {
  startDpk_->setEnabled(true);
  endDpk_->setEnabled(true);
}

void TSelectWaveDlg::Select_Meter_TreeViewClick() {
  const QTreeWidgetItem* item = treeView_->currentItem();
  if (item == nullptr) return;
  // 0.0 asks for no time limit.
  const bool allTimes = allRadioBtn_->isChecked();
  const common::TDateTime begin = allTimes ? 0.0 : ToTDateTime(startDpk_->dateTime());
  const common::TDateTime end = allTimes ? 0.0 : ToTDateTime(endDpk_->dateTime());
  const auto* node = reinterpret_cast<const CSetObj*>(item->data(0, kNodeRole).value<quintptr>());
  if (node == nullptr) return;

  const std::int32_t mode = context_.state.RecordSourceMode;
  if (mode != kSourcePowerQuality && mode != kSourceAutomation) return;
  runQuery(*node, begin, end);
  // A node without a query lists the rows of the previous one again.
  Update_Wave_ListView_Ex(MeterTypeFor(mode));
}

void TSelectWaveDlg::runQuery(const CSetObj& node, common::TDateTime begin, common::TDateTime end) {
  const std::int32_t mode = context_.state.RecordSourceMode;
  // The query blocks the window, so the wait window is painted before it starts.
  std::unique_ptr<QWidget> wait;
  if (mode == kSourceAutomation && context_.waitWindow)
    wait = context_.waitWindow(text("str15", kLoadingWaves));
  const std::optional<WaveQueryArgs> args =
      QueryArgsFor(node, mode, context_.trees.StationRoot.get(), begin, end);
  if (!args) return;
  QueryZavoVivords(context_.rpt, context_.state, static_cast<std::int32_t>(args->Station),
                   static_cast<std::int32_t>(args->Channel), static_cast<std::int32_t>(args->Meter), args->Begin,
                   args->End);
}

void TSelectWaveDlg::Update_Wave_ListView_Ex(std::uint32_t meterType) {
  listView_->clear();
  const std::vector<WaveListRow> rows =
      BuildWaveListRows(context_.state.ZavoVivords, context_.trees.StationRoot.get(), meterType);
  const QIcon icon = ImageIcon(*listView_, kListImage);
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  for (const WaveListRow& row : rows) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, forms::Utf8(row.Caption));
    item->setText(1, forms::Utf8(common::GbkToUtf8(row.MeterName)));
    item->setText(2, forms::Utf8(row.SerialNo));
    item->setData(0, kRowRole, QVariant::fromValue(static_cast<qulonglong>(row.Index)));
    item->setIcon(0, icon);
    items.push_back(item);
  }
  // All at once: the view takes them in one step instead of one per item.
  listView_->addTopLevelItems(items);
}

void TSelectWaveDlg::Select_Wave_ListViewDblClick() {
  const QList<QTreeWidgetItem*> selected = listView_->selectedItems();
  if (selected.isEmpty()) return;
  const auto index = static_cast<std::size_t>(selected.front()->data(0, kRowRole).toULongLong());
  DbState& state = context_.state;
  if (index >= state.ZavoVivords.size()) return;
  const TWaveformRecord& record = state.ZavoVivords[index];
  ConvertOutcome outcome;
  if (state.RecordSourceMode == kSourcePowerQuality)
    outcome = FillWaveinfoToCfg(state, record, context_.trees.StationRoot.get(), CfgInfo, context_.convert);
  else if (state.RecordSourceMode == kSourceAutomation)
    outcome = FillWaveinfoTocfg_velkora(state, record, CfgInfo, context_.convert);
  else
    return;
  // A conversion error leaves the dialog open for another choice.
  if (outcome.error) {
    services_.showError(this, forms::Utf8(*outcome.error));
    return;
  }
  if (outcome.message) services_.showMessage(this, *outcome.message);
  done(kModalOk);
}

void TSelectWaveDlg::reject() { done(kModalCancel); }

}  // namespace stationdb
