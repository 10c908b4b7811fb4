#include "waveform/ui/options_dlg.h"

#include <QApplication>
#include <QButtonGroup>
#include <QColorDialog>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common/lang/translateform.h"
#include "waveform/canvas/qpainter_canvas.h"
#include "waveform/view/options_preview.h"
#include "waveform/view/wave_scales.h"

namespace wave {

namespace {

constexpr char kDragFormat[] = "application/x-quenlor-options-item";

const char* const kPanelNames[kColorCount] = {
    "Panel_Chnl1",  "Panel_Chnl2",  "Panel_Chnl3",  "Panel_Chnl4",  "Panel_Chnl5",  "Panel_Chnl6",
    "Panel_Chnl7",  "Panel_Chnl8",  "Panel_Chnl9",  "Panel_Chnl10", "Panel_Chnl11", "Panel_Chnl12",
    "Panel_Chnl13", "Panel_Chnl14", "Panel_Chnl15", "Panel_Chnl16", "Panel_Chnl17", "Panel_Chnl18",
    "Panel_Chnl19", "Panel_Chnl20", "Panel_Axis",   "Panel_BG",     "Panel_Digital", "Panel_DigitalName"};

// The preview box: white, drawn from the settings at every paint.
class PreviewBox : public QWidget {
 public:
  PreviewBox(DisplaySettings& settings, QWidget* parent) : QWidget(parent), settings_(settings) {
    setObjectName(QStringLiteral("DemoPaintBox"));
    setMinimumSize(200, 150);
  }
  QSize sizeHint() const override { return {280, 210}; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QPainterCanvas canvas(painter);
    PaintOptionsPreview(canvas, width(), height(), settings_);
    settings_.OptionsRedrawPending = 0;
  }

 private:
  DisplaySettings& settings_;
};

// A list box whose preferred size is given in characters and rows of its
// font, so the dialog is as large as its texts need on any screen.
class ListBox : public QListWidget {
 public:
  ListBox(int columns, int rows, QWidget* parent) : QListWidget(parent), columns_(columns), rows_(rows) {}
  QSize sizeHint() const override {
    const QFontMetrics metrics(font());
    const int frame = 2 * frameWidth();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return {metrics.horizontalAdvance(QLatin1Char('M')) * columns_ + frame + scrollBar,
            metrics.lineSpacing() * rows_ + frame + scrollBar};
  }
  QSize minimumSizeHint() const override { return sizeHint() * 3 / 4; }

 private:
  int columns_;
  int rows_;
};

QListWidget* makeList(const char* name, QWidget* parent, int columns, int rows, bool twoColumns = false) {
  auto* list = new ListBox(columns, rows, parent);
  list->setObjectName(QString::fromLatin1(name));
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  // Drags are started and dropped by the dialog (the mode first: it resets the drop flags).
  list->setDragDropMode(QAbstractItemView::NoDragDrop);
  list->setAcceptDrops(true);
  list->viewport()->setAcceptDrops(true);
  if (twoColumns) {
    list->setFlow(QListView::TopToBottom);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
  }
  return list;
}

QPushButton* makeButton(const char* name, const char* text, QWidget* parent) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

QRadioButton* makeRadio(const char* name, const char* text, QWidget* parent) {
  auto* r = new QRadioButton(QString::fromUtf8(text), parent);
  r->setObjectName(QString::fromLatin1(name));
  return r;
}

QLabel* label(const char* text, QWidget* parent) { return new QLabel(QString::fromUtf8(text), parent); }

}  // namespace

TOptionsDlg::TOptionsDlg(DisplaySettings& settings, forms::FormServices& services, QWidget* parent,
                         std::filesystem::path iniPath, const lang::MultiLangEngine& engine)
    : QDialog(parent),
      settings_(settings),
      services_(services),
      iniPath_(std::move(iniPath)),
      engine_(engine),
      editor_(settings) {
  setObjectName(QStringLiteral("OptionsDlg"));
  setProperty(lang::kFormClassProperty, QStringLiteral("TOptionsDlg"));
  setWindowTitle(QStringLiteral("选择波形通道"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  pages_ = new QTabWidget(this);
  pages_->setObjectName(QStringLiteral("PageControl1"));
  channelPage_ = new QWidget(pages_);
  channelPage_->setObjectName(QStringLiteral("WaveChannelTabSheet"));
  colourPage_ = new QWidget(pages_);
  colourPage_->setObjectName(QStringLiteral("WaveColorTabSheet"));
  pages_->addTab(channelPage_, QStringLiteral("   显示通道   "));
  pages_->addTab(colourPage_, QStringLiteral("   波形颜色   "));
  buildChannelPage(channelPage_);
  buildColourPage(colourPage_);
  layout->addWidget(pages_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* ok = makeButton("OKBtn", "确 定", this);
  auto* cancel = makeButton("CancelBtn", "取 消", this);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, [this] { forms::GuardedHandler(services_, this, [this] { OKBtnClick(); }); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
    forms::GuardedHandler(services_, this, [this, index] {
      if (index == 0) WaveChannelTabSheetShow();
      if (index == 1) WaveColorTabSheetShow();
    });
  });
  fitToScreen();

  editor_.create();  // FormCreate
}

TOptionsDlg::~TOptionsDlg() = default;

void TOptionsDlg::fitToScreen() {
  // As large as the texts and lists ask for, but never larger than the screen
  // the dialog opens on (its frame and title bar included): every control must
  // stay within reach. QDialog centres it on its parent when it is shown.
  QSize size = sizeHint();
  const QWidget* owner = parentWidget() ? parentWidget()->window() : this;
  if (const QScreen* screen = owner->screen()) {
    constexpr int kFrameAllowance = 48;  // a window manager's title bar and borders
    size = size.boundedTo(screen->availableGeometry().size() - QSize(kFrameAllowance, kFrameAllowance));
  }
  resize(size.expandedTo(minimumSizeHint()));
}

void TOptionsDlg::buildChannelPage(QWidget* page) {
  // Analogue list | the 8 axes in two rows of four | preview; below them the
  // digital lists, their buttons and the grid and line switches, with the help
  // text under the preview.
  auto* grid = new QGridLayout(page);
  grid->addWidget(label("模拟量:", page), 0, 0);
  analogList_ = makeList("AnalogListBox", page, 12, 10);
  grid->addWidget(analogList_, 1, 0, 2, 1);
  static const char* const kAxisNames[kGroupRowCount] = {"Axis1_ListBox", "Axis2_ListBox", "Axis3_ListBox",
                                                         "Axis4_ListBox", "Axis5_ListBox", "Axis6_ListBox",
                                                         "Axis7_ListBox", "Axis8_ListBox"};
  for (int a = 0; a < kGroupRowCount; ++a) {
    auto* box = new QWidget(page);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(new QLabel(QStringLiteral("轴 %1:").arg(a + 1), box));
    axisLists_[static_cast<std::size_t>(a)] = makeList(kAxisNames[a], box, 10, 4);
    v->addWidget(axisLists_[static_cast<std::size_t>(a)], 1);
    grid->addWidget(box, 1 + a / 4, 1 + a % 4);
  }
  grid->addWidget(label("波形演示:", page), 0, 5);
  preview_ = new PreviewBox(settings_, page);
  grid->addWidget(preview_, 1, 5, 2, 1);

  grid->addWidget(label("开关量:", page), 3, 0);
  digitalList_ = makeList("DigitalListBox", page, 20, 7, true);
  grid->addWidget(digitalList_, 4, 0, 1, 2);
  grid->addWidget(label("开关量轴:", page), 3, 2);
  digitalAxisList_ = makeList("DigitalAxisListBox", page, 30, 7, true);
  grid->addWidget(digitalAxisList_, 4, 2, 1, 3);
  memo1_ = new QPlainTextEdit(page);
  memo1_->setObjectName(QStringLiteral("Memo1"));
  memo1_->setReadOnly(true);
  grid->addWidget(memo1_, 3, 5, 3, 1);

  auto* selectAll = makeButton("SelectAllDigitalBtn", "选择所有开关量", page);
  auto* clearAll = makeButton("ClearAllDigitalBtn", "清除所有开关量", page);
  auto* digitalButtons = new QVBoxLayout;
  digitalButtons->addWidget(selectAll);
  digitalButtons->addWidget(clearAll);
  digitalButtons->addStretch();
  grid->addLayout(digitalButtons, 5, 0);
  connect(selectAll, &QPushButton::clicked, this,
          [this] { forms::GuardedHandler(services_, this, [this] { SelectAllDigitalBtnClick(); }); });
  connect(clearAll, &QPushButton::clicked, this,
          [this] { forms::GuardedHandler(services_, this, [this] { ClearAllDigitalBtnClick(); }); });

  auto* gridBox = new QGroupBox(QStringLiteral("波形网格:"), page);
  gridBox->setObjectName(QStringLiteral("GroupBox1"));
  auto* gv = new QGridLayout(gridBox);
  xyGrid_ = makeRadio("XYAxis_RadioBtn", "XY轴网格", gridBox);
  xGrid_ = makeRadio("XAxis_RadioBtn", "X轴网格", gridBox);
  yGrid_ = makeRadio("YAxis_RadioBtn", "Y轴网格", gridBox);
  noGrid_ = makeRadio("NoAxis_RadioBtn", "无网格", gridBox);
  gv->addWidget(xyGrid_, 0, 0);
  gv->addWidget(xGrid_, 0, 1);
  gv->addWidget(yGrid_, 1, 0);
  gv->addWidget(noGrid_, 1, 1);
  xyGrid_->setChecked(true);
  const auto gridRadio = [this](QRadioButton* r, bool x, bool y) {
    connect(r, &QRadioButton::clicked, this, [this, x, y] {
      editor_.setGrid(x, y);
      redrawPreview();
    });
  };
  gridRadio(xyGrid_, true, true);
  gridRadio(xGrid_, true, false);
  gridRadio(yGrid_, false, true);
  gridRadio(noGrid_, false, false);

  auto* lineBox = new QGroupBox(QStringLiteral("波形点线:"), page);
  lineBox->setObjectName(QStringLiteral("GroupBox2"));
  auto* lv = new QVBoxLayout(lineBox);
  pointsAndLines_ = makeRadio("PointLineRadioBtn", "拟合线+点", lineBox);
  linesOnly_ = makeRadio("LineRadioBtn", "拟合线", lineBox);
  lv->addWidget(pointsAndLines_);
  lv->addWidget(linesOnly_);
  pointsAndLines_->setChecked(true);
  connect(pointsAndLines_, &QRadioButton::clicked, this, [this] { editor_.setPointsAndLines(true); });
  connect(linesOnly_, &QRadioButton::clicked, this, [this] { editor_.setPointsAndLines(false); });
  grid->addWidget(gridBox, 5, 2, 1, 2);
  grid->addWidget(lineBox, 5, 4);
  for (int row : {1, 2, 4}) grid->setRowStretch(row, 1);
  for (int column : {0, 1, 2, 3, 4}) grid->setColumnStretch(column, 1);
  grid->setColumnStretch(5, 2);

  for (int i = 0; i < kGroupRowCount + 3; ++i) {
    QListWidget* list = listAt(i);
    list->viewport()->installEventFilter(this);
  }
}

void TOptionsDlg::buildColourPage(QWidget* page) {
  auto* grid = new QGridLayout(page);
  static const char* const kLabels[4] = {"网 格:", "背 景:", "开关量:", "开关量名:"};
  for (int i = 0; i < kColorCount; ++i) {
    const QString text = i < 20 ? QStringLiteral("通道%1:").arg(i + 1) : QString::fromUtf8(kLabels[i - 20]);
    auto* frame = new QFrame(page);
    frame->setObjectName(QString::fromLatin1(kPanelNames[i]));
    frame->setFixedSize(48, 22);
    frame->setAutoFillBackground(true);
    frame->installEventFilter(this);
    panels_[static_cast<std::size_t>(i)] = frame;
    const int row = i % 12, column = (i / 12) * 2;
    grid->addWidget(new QLabel(text, page), row, column);
    grid->addWidget(frame, row, column + 1);
  }
  auto* defaults = makeButton("DefaultColorBtn", "所有颜色恢复默认", page);
  auto* custom = makeButton("CustomColorBtn", "用户自定义颜色", page);
  auto* save = makeButton("Button1", "保存颜色设置", page);
  grid->addWidget(custom, 0, 4);
  grid->addWidget(defaults, 1, 4);
  grid->addWidget(save, 2, 4);
  memo2_ = new QPlainTextEdit(page);
  memo2_->setObjectName(QStringLiteral("Memo2"));
  memo2_->setReadOnly(true);
  grid->addWidget(memo2_, 3, 4, 9, 1);
  connect(defaults, &QPushButton::clicked, this,
          [this] { forms::GuardedHandler(services_, this, [this] { DefaultColorBtnClick(); }); });
  connect(custom, &QPushButton::clicked, this,
          [this] { forms::GuardedHandler(services_, this, [this] { CustomColorBtnClick(); }); });
  connect(save, &QPushButton::clicked, this, [this] { forms::GuardedHandler(services_, this, [this] { Button1Click(); }); });
  colorDialog_ = new QColorDialog(this);
  colorDialog_->setObjectName(QStringLiteral("FW_ColorDialog"));
}

void TOptionsDlg::setRecord(const TcfgInfo& record) { record_ = record; }

std::string TOptionsDlg::channelName(int channel) const {
  if (channel >= 0 && static_cast<std::size_t>(channel) < record_.AInfo.size())
    return record_.AInfo[static_cast<std::size_t>(channel)].ch_id;
  return std::to_string(channel + 1);
}

// --- showing -------------------------------------------------------------------

void TOptionsDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  forms::GuardedHandler(services_, this, [this] {
    FormShow();
    FormActivate();
  });
}

void TOptionsDlg::FormShow() {
  lang::TranslateForm(*this, engine_);
  const std::string section(kOptionsDlgSection);
  memo1_->setPlainText(forms::Utf8(engine_.GetLangString(
      section, "str0",
      "从模拟量或开关量主表中选择显示通道量，按住鼠标左键拖动至选择的任何轴表中，也可拖动，任何轴表中的选择量到其它轴表"
      "更换显示轴位置或拖动到对应主通道量表中删除此显示通道。")));
  memo2_->setPlainText(
      forms::Utf8(engine_.GetLangString(section, "str2", "任意选择点击各个模拟、开关量通道和选项的颜色按钮即可设置、修改、保存其颜色")));
  editor_.show();
  setRadiosFromSettings();
  fillAnalogList();
  fillAxisLists();
  ShowDigital();
  redrawPreview();
}

void TOptionsDlg::FormActivate() {
  editor_.activate();
  pages_->setCurrentIndex(0);
}

void TOptionsDlg::setRadiosFromSettings() {
  (settings_.ShowPointsAndLines == 1 ? pointsAndLines_ : linesOnly_)->setChecked(true);
  const bool x = settings_.ShowGridX == 1, y = settings_.ShowGridY == 1;
  (x ? (y ? xyGrid_ : xGrid_) : (y ? yGrid_ : noGrid_))->setChecked(true);
}

void TOptionsDlg::fillAnalogList() {
  analogList_->clear();
  for (const auto& channel : record_.AInfo) analogList_->addItem(forms::Utf8(channel.ch_id));
}

void TOptionsDlg::fillAxisLists() {
  for (int a = 0; a < kGroupRowCount; ++a) {
    QListWidget* list = axisLists_[static_cast<std::size_t>(a)];
    list->clear();
    const auto& g = settings_.ChannelGroups[static_cast<std::size_t>(a)];
    for (int j = 0; j < GroupSize(g); ++j) list->addItem(forms::Utf8(channelName(g.Channel[static_cast<std::size_t>(j)])));
  }
}

void TOptionsDlg::ShowDigital() {
  digitalList_->clear();
  digitalAxisList_->clear();
  for (const auto& channel : record_.DInfo) digitalList_->addItem(forms::Utf8(channel.ch_id));
  const auto& sel = settings_.DigitalSelection;
  for (int q = 0; q < std::clamp(sel.Count, 0, kMaxDigitalShown); ++q) {
    const int d = sel.Index[static_cast<std::size_t>(q)];
    const bool known = d >= 0 && static_cast<std::size_t>(d) < record_.DInfo.size();
    digitalAxisList_->addItem(forms::Utf8(known ? record_.DInfo[static_cast<std::size_t>(d)].ch_id : std::to_string(d + 1)));
  }
}

void TOptionsDlg::WaveChannelTabSheetShow() {
  fillAnalogList();
  redrawPreview();
}

void TOptionsDlg::WaveColorTabSheetShow() {
  selectedPanel_ = 0;
  Set_Color();
  Panel_In(0);
  for (int i = 1; i < kColorCount; ++i) Panel_Out(i);
}

void TOptionsDlg::redrawPreview() { preview_->update(); }

// --- lists and dragging ------------------------------------------------------------

QListWidget* TOptionsDlg::listAt(int index) const {
  if (index >= 0 && index < kGroupRowCount) return axisLists_[static_cast<std::size_t>(index)];
  if (index == kGroupRowCount) return analogList_;
  if (index == kGroupRowCount + 1) return digitalList_;
  if (index == kGroupRowCount + 2) return digitalAxisList_;
  return nullptr;
}

int TOptionsDlg::listIndex(const QObject* list) const {
  for (int i = 0; i < kGroupRowCount + 3; ++i)
    if (listAt(i) == list) return i;
  return -1;
}

int TOptionsDlg::Find_Object_Index(const QObject* list) const {
  for (int a = 0; a < kGroupRowCount; ++a)
    if (axisLists_[static_cast<std::size_t>(a)] == list) return a;
  return -1;
}

int TOptionsDlg::Find_PanelObject_Index(const QObject* panel) const {
  for (int i = 0; i < kColorCount; ++i)
    if (panels_[static_cast<std::size_t>(i)] == panel) return i;
  return -1;
}

void TOptionsDlg::dropItem(QListWidget* source, int row, QListWidget* target) {
  if (!source || !target || row < 0 || row >= source->count()) return;
  Find_And_Drop(source, row, target);
  redrawPreview();
}

void TOptionsDlg::Find_And_Drop(QListWidget* source, int row, QListWidget* target) {
  const int from = Find_Object_Index(source), to = Find_Object_Index(target);
  if (source == analogList_ && to >= 0) {
    if (editor_.addFromAnalog(to, row)) fillAxisLists();
  } else if (from >= 0 && to >= 0) {
    if (editor_.moveToAxis(from, row, to)) fillAxisLists();
  } else if (from >= 0 && target == analogList_) {
    if (editor_.removeFromAxis(from, row)) fillAxisLists();
  } else if (source == digitalList_ && target == digitalAxisList_) {
    const DigitalAddResult added = editor_.addDigital(row);
    if (added == DigitalAddResult::Added) ShowDigital();
    if (added == DigitalAddResult::Full) {
      const FormattedMessage m = ChannelGroupsEditor::DigitalLimitMessage();
      services_.showMessage(this, m.message, m.args);
    }
  } else if (source == digitalAxisList_ && target == digitalList_) {
    if (editor_.removeDigital(row)) ShowDigital();
  }
}

void TOptionsDlg::startDrag(QListWidget* list, int row) {
  auto* mime = new QMimeData;
  mime->setData(QString::fromLatin1(kDragFormat), QByteArray::number(listIndex(list)) + ':' + QByteArray::number(row));
  auto* drag = new QDrag(list);
  drag->setMimeData(mime);
  drag->exec(Qt::MoveAction);
}

bool TOptionsDlg::eventFilter(QObject* watched, QEvent* event) {
  const int panelIndex = Find_PanelObject_Index(watched);
  if (panelIndex >= 0) {
    if (event->type() == QEvent::MouseButtonPress) forms::GuardedHandler(services_, this, [&] { Panel_Chnl2Click(panelIndex); });
    return QDialog::eventFilter(watched, event);
  }
  auto* list = qobject_cast<QListWidget*>(watched->parent());
  if (!list || listIndex(list) < 0) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {  // AnalogListBoxMouseDown
      auto* mouse = static_cast<QMouseEvent*>(event);
      QListWidgetItem* item = list->itemAt(mouse->position().toPoint());
      pressList_ = (mouse->button() == Qt::LeftButton && item) ? list : nullptr;
      pressRow_ = item ? list->row(item) : -1;
      pressPos_ = mouse->position().toPoint();
      break;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (pressList_ == list && (mouse->buttons() & Qt::LeftButton) &&
          (mouse->position().toPoint() - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
        QListWidget* from = pressList_;
        pressList_ = nullptr;
        startDrag(from, pressRow_);
        return true;
      }
      break;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {  // Axis1_ListBoxDragOver: any drag from one of the lists
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (drag->mimeData()->hasFormat(QString::fromLatin1(kDragFormat))) {
        drag->setDropAction(Qt::MoveAction);
        drag->accept();
        return true;
      }
      break;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QList<QByteArray> parts = drop->mimeData()->data(QString::fromLatin1(kDragFormat)).split(':');
      if (parts.size() == 2) {
        QListWidget* source = listAt(parts[0].toInt());
        const int row = parts[1].toInt();
        forms::GuardedHandler(services_, this, [&] { dropItem(source, row, list); });
        drop->setDropAction(Qt::MoveAction);
        drop->accept();
        return true;
      }
      break;
    }
    default: break;
  }
  return QDialog::eventFilter(watched, event);
}

// --- digital buttons -------------------------------------------------------------

void TOptionsDlg::SelectAllDigitalBtnClick() {
  const auto message = editor_.selectAllDigital(record_.D);
  ShowDigital();
  redrawPreview();
  if (message) services_.showMessage(this, message->message, message->args);
}

void TOptionsDlg::ClearAllDigitalBtnClick() {
  editor_.clearDigital();
  ShowDigital();
  redrawPreview();
}

// --- colours ---------------------------------------------------------------------

void TOptionsDlg::Set_Color() {
  for (int i = 0; i < kColorCount; ++i) {
    QFrame* frame = panels_[static_cast<std::size_t>(i)];
    QPalette palette = frame->palette();
    palette.setColor(QPalette::Window, ToQColor(settings_.ChannelColors[static_cast<std::size_t>(i)]));
    frame->setPalette(palette);
  }
  redrawPreview();
}

void TOptionsDlg::Panel_In(int i) {
  QFrame* frame = panels_[static_cast<std::size_t>(i)];
  frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  frame->setLineWidth(4);
}

void TOptionsDlg::Panel_Out(int i) {
  QFrame* frame = panels_[static_cast<std::size_t>(i)];
  frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
  frame->setLineWidth(1);
}

void TOptionsDlg::Panel_Chnl2Click(int colourIndex) {
  if (colourIndex < 0 || colourIndex >= kColorCount) return;
  Panel_Out(selectedPanel_);
  Panel_In(colourIndex);
  selectedPanel_ = colourIndex;
}

void TOptionsDlg::CustomColorBtnClick() {
  auto& colour = settings_.ChannelColors[static_cast<std::size_t>(selectedPanel_)];
  colorDialog_->setCurrentColor(ToQColor(colour));
  if (services_.execDialog(*colorDialog_) != QDialog::Accepted) return;
  colour = FromQColor(colorDialog_->selectedColor());
  Set_Color();
}

void TOptionsDlg::DefaultColorBtnClick() {
  settings_.ChannelColors = DisplaySettings::DefaultChannelColors;  // Set_Default_Color
  Set_Color();
}

void TOptionsDlg::Button1Click() { SaveChannelColors(settings_, iniPath_); }

// --- closing ---------------------------------------------------------------------

void TOptionsDlg::OKBtnClick() {
  if (const auto refusal = editor_.accept()) {
    services_.showMessage(this, *refusal);
    return;
  }
  accept();
}

void TOptionsDlg::CancelBtnClick() {
  editor_.cancel();
  QDialog::reject();
}

void TOptionsDlg::reject() { CancelBtnClick(); }

void TOptionsDlg::done(int result) {
  editor_.close();  // FormClose
  QDialog::done(result);
}

}  // namespace wave
