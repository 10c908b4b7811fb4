#include "waveform/ui/fault_wave_form.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QPainter>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <chrono>
#include <climits>
#include <cmath>
#include <filesystem>
#include <map>
#include <system_error>

#include "common/datetime.h"
#include "common/lang/translateform.h"
#include "common/strings.h"
#include "waveform/analysis/draw_summary.h"
#include "waveform/analysis/open_record.h"
#include "waveform/canvas/qpainter_canvas.h"
#include "waveform/export/sample_export.h"
#include "waveform/print/print_preview_form.h"
#include "waveform/print/record_pages.h"
#include "waveform/ui/name_elision.h"
#include "waveform/ui/sample_list_model.h"
#include "waveform/ui/tool_images.h"
#include "waveform/ui/wait_texts.h"
#include "common/forms/wait_window.h"
#include "waveform/view/harmonic_view.h"
#include "waveform/view/status_panels.h"
#include "waveform/view/value_text.h"
#include "waveform/view/wave_draw.h"

namespace wave {

namespace {

constexpr char kTimePattern[] = "yyyy/mm/dd hh:nn:ss.zzz";
constexpr TColor kCursorColor = 0xFF0000;
constexpr int kDragFactor = 4;
constexpr int kValueColumnWidth = 75;  // RealTimeDataListView's "数据(Y)"
constexpr int kDataPanelWidth = 161;   // FW_Panel
constexpr int kTabPaneAllowance = 8;   // what a page of FW_Info_PageControl loses to its frame
constexpr QSize kFormSize(942, 557);
// The widest texts of the time field and of the clock.
constexpr char kWidestTime[] = "8888/88/88 88:88:88.888";
constexpr char kWidestClock[] = "8888/88/88 88:88:88";

common::UserMessage badTimeMessage() { return FaultWaveMessage(30, "时间输入有误，请检查"); }

common::UserMessage noBarZoomMessage() {
  common::UserMessage m = FaultWaveMessage(9, "谐波棒图不支持X轴缩放");
  m.icon = common::MessageIcon::Information;
  return m;
}

// FW_PaintBox: everything it shows is drawn by the window's paint handler.
class WavePaintBox : public QWidget {
 public:
  WavePaintBox(TFaultWaveForm& form, QWidget* parent) : QWidget(parent), form_(form) {
    setObjectName(QStringLiteral("FW_PaintBox"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    form_.FW_PaintBoxPaint(painter, event->rect());
  }
  void mousePressEvent(QMouseEvent* event) override {
    const QPoint p = event->position().toPoint();
    form_.FW_PaintBoxMouseDown(event->button(), p.x(), p.y());
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const QPoint p = event->position().toPoint();
    form_.FW_PaintBoxMouseUp(event->button(), p.x(), p.y());
  }

 private:
  TFaultWaveForm& form_;
};

// FW_ScrollBox: a position over a view that may be wider than a widget can be.
// Its scroll bars are the position; the paint box fills its viewport and shows
// the part of the view there.
class WaveScrollBox : public QAbstractScrollArea {
 public:
  WaveScrollBox(QWidget* parent, std::function<void()> scrolled)
      : QAbstractScrollArea(parent), scrolled_(std::move(scrolled)) {
    setObjectName(QStringLiteral("FW_ScrollBox"));
  }

 protected:
  void scrollContentsBy(int, int) override { scrolled_(); }

 private:
  std::function<void()> scrolled_;
};

// ImageList1.
std::vector<QIcon> makeImages() {
  std::vector<QIcon> images;
  for (int i = 0; i < kToolImageCount; ++i) images.emplace_back(QPixmap::fromImage(ToolImage(i)));
  return images;
}

// The width a label needs to show text whole.
int LabelWidthFor(const QLabel& label, const QString& text) {
  return QFontMetrics(label.font()).horizontalAdvance(text) + 2 * (label.margin() + label.frameWidth()) + 2;
}

// The width a line edit needs to show text whole: the text, the edit's
// inner margins and the style's frame, as the edit itself lays them out.
int LineEditWidthFor(const QLineEdit& edit, const QString& text) {
  constexpr int kInnerMargin = 2;  // each side of the text, and room for the text cursor
  const QMargins textMargins = edit.textMargins();
  const QMargins contents = edit.contentsMargins();
  const int inner = static_cast<int>(std::ceil(QFontMetricsF(edit.font()).horizontalAdvance(text))) +
                    2 * kInnerMargin + 1 + textMargins.left() + textMargins.right() + contents.left() +
                    contents.right();
  QStyleOptionFrame option;
  option.initFrom(&edit);
  option.lineWidth = edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit);
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  const QSize contentsSize(inner, edit.sizeHint().height());
  return edit.style()->sizeFromContents(QStyle::CT_LineEdit, &option, contentsSize, &edit).width();
}

// The longest text of the time field: its pattern with the font's widest digit.
QString WidestTime(const QFont& font) {
  const QFontMetricsF metrics(font);
  QChar widest = QLatin1Char('0');
  for (char digit = '1'; digit <= '9'; ++digit)
    if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widest)) widest = QLatin1Char(digit);
  QString text = QString::fromLatin1(kWidestTime);
  text.replace(QLatin1Char('8'), widest);
  return text;
}

// 宋体's Latin letters are half as wide as its Chinese ones. Where it is not
// installed, a font of the same kind takes its place, so the record's times fit
// the data panel as they were laid out for.
void SubstituteSongTi() {
  static const bool done = [] {
    QFont::insertSubstitutions(QStringLiteral("宋体"), {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                                                         QStringLiteral("WenQuanYi Micro Hei Mono"),
                                                         QStringLiteral("Noto Sans Mono CJK SC")});
    return true;
  }();
  (void)done;
}

void setBackground(QWidget* widget, TColor background, TColor text) {
  QPalette palette = widget->palette();
  for (auto role : {QPalette::Base, QPalette::Window}) palette.setColor(role, ToQColor(background));
  for (auto role : {QPalette::Text, QPalette::WindowText}) palette.setColor(role, ToQColor(text));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

}  // namespace

TMyTrackBar::TMyTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setObjectName(QStringLiteral("TrackBar"));
  setRange(kTrackBarMin, kTrackBarMax);
  setSingleStep(1);
  setPageStep(0);  // a press beside the thumb only moves it where OnMouseDown puts it
  setTickPosition(QSlider::NoTicks);
  setFocusPolicy(Qt::NoFocus);  // TrackBarEnter: the track bar never keeps the keyboard focus
  setFixedHeight(20);
}

void TMyTrackBar::setShownPart(std::int64_t barWidth, std::int64_t shownFrom) {
  if (barWidth == barWidth_ && shownFrom == shownFrom_) return;
  barWidth_ = barWidth;
  shownFrom_ = shownFrom;
  update();
}

std::int64_t TMyTrackBar::thumbCentre() const {
  const TrackBarSpan bar{minimum(), maximum(), barWidth_, 0};
  return CursorLineX(bar, value()) - shownFrom_;
}

void TMyTrackBar::paintEvent(QPaintEvent*) {
  // Only the shown part is drawn (a style may draw the whole groove into one
  // image), with the thumb centred where the cursor formula puts the line:
  // the slider drawn here has one step per pixel and reaches one thumb's
  // length beyond both edges.
  QPainter painter(this);
  QStyleOptionSlider option;
  initStyleOption(&option);
  const int thumb = style()->pixelMetric(QStyle::PM_SliderLength, &option, this);
  const std::int64_t thumbLeft = thumbCentre() - thumb / 2;
  option.rect = QRect(-thumb, 0, width() + 2 * thumb, height());
  option.minimum = 0;
  option.maximum = width() + thumb;
  option.subControls = QStyle::SC_SliderGroove;
  if (thumbLeft >= -thumb && thumbLeft <= width()) {
    option.subControls |= QStyle::SC_SliderHandle;
    option.sliderPosition = option.sliderValue = static_cast<int>(thumbLeft) + thumb;
  }
  style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

int TMyTrackBar::barX(const QMouseEvent* event) const {
  return static_cast<int>(std::clamp<std::int64_t>(static_cast<std::int64_t>(event->position().x()) + shownFrom_,
                                                   INT_MIN, INT_MAX));
}

void TMyTrackBar::mousePressEvent(QMouseEvent* event) {
  dragging_ = event->button() == Qt::LeftButton;
  if (OnMouseDown) OnMouseDown(event->button(), barX(event));
  event->accept();
}

void TMyTrackBar::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_ && (event->buttons() & Qt::LeftButton) && OnMouseDown) OnMouseDown(Qt::LeftButton, barX(event));
  event->accept();
}

void TMyTrackBar::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
  event->accept();
}

QString RecordWindowCaption(const std::string& cfgPath) {
  return forms::Utf8(std::filesystem::path(cfgPath).filename().string());
}

std::unique_ptr<TFaultWaveForm> TFaultWaveForm::Create(const RecordWindowSetup& setup, QWidget* parent) {
  return Create(setup, OpenRecordData(setup.record, setup.recordSourceMode, setup.waveChannels, setup.limits), parent);
}

std::unique_ptr<TFaultWaveForm> TFaultWaveForm::Create(const RecordWindowSetup& setup, OpenedRecord opened,
                                                       QWidget* parent) {
  for (const auto& message : opened.messages) setup.services->showMessage(parent, message);
  if (!opened.data) return nullptr;
  return std::unique_ptr<TFaultWaveForm>(new TFaultWaveForm(setup, std::move(opened), parent));
}

TFaultWaveForm::TFaultWaveForm(const RecordWindowSetup& setup, OpenedRecord opened, QWidget* parent)
    : QWidget(parent),
      settings_(*setup.settings),
      services_(*setup.services),
      engine_(setup.engine ? *setup.engine : lang::LangEngine()),
      host_(setup.host),
      printPreview_(setup.printPreview),
      recordFiles_(setup.recordFiles ? std::move(*setup.recordFiles) : RecordFiles()),
      source_(setup.recordSourceMode),
      record_(setup.record),
      data_(std::move(opened.data)),
      knownAnalogPeaks_(std::move(opened.analogPeaks)),
      knownRmsPeaks_(std::move(opened.rmsPeaks)) {
  setObjectName(QStringLiteral("FaultWaveForm"));
  setProperty(lang::kFormClassProperty, QStringLiteral("TFaultWaveForm"));
  setWindowTitle(setup.caption.isEmpty() ? QStringLiteral("波形") : setup.caption);
  resize(942, 557);
  buildForm();
  FormCreate();
}

TFaultWaveForm::~TFaultWaveForm() = default;

QString TFaultWaveForm::lang(int key, const char* fallback) const {
  return forms::Utf8(engine_.GetLangString(kFaultWaveSection, "str" + std::to_string(key), fallback));
}

QAction* TFaultWaveForm::action(const char* name) const {
  return findChild<QAction*>(QString::fromLatin1(name));
}

std::uint8_t TFaultWaveForm::NoNegativeSamples() const { return data_ ? data_->NoNegativeSamples : 1; }

// --- building the form -------------------------------------------------------------

void TFaultWaveForm::buildForm() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  auto* body = new QHBoxLayout;
  body->setSpacing(0);
  buildToolBar();
  body->addWidget(toolBar_);

  auto* panel1 = new QWidget(this);
  panel1->setObjectName(QStringLiteral("Panel1"));
  auto* panelLayout = new QHBoxLayout(panel1);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  splitter_ = new QSplitter(Qt::Horizontal, panel1);
  splitter_->setObjectName(QStringLiteral("Splitter1"));
  buildDataPanel();
  splitter_->addWidget(dataPanel_);

  scrollBox_ = new WaveScrollBox(splitter_, [this] {
    placeTrackBar();
    paintBox_->update();
  });
  paintBox_ = new WavePaintBox(*this, scrollBox_->viewport());
  scrollBox_->viewport()->installEventFilter(this);
  auto* grid = new QTableWidget(paintBox_);  // sgData: filled by the export, never shown
  grid->setObjectName(QStringLiteral("sgData"));
  grid->hide();
  splitter_->addWidget(scrollBox_);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({kDataPanelWidth, 700});
  // The width the user drags the data panel to comes back when it is shown again.
  connect(splitter_, &QSplitter::splitterMoved, this, [this] {
    if (dataPanel_->width() > 0) dataPanelWidth_ = dataPanel_->width();
  });
  panelLayout->addWidget(splitter_);
  body->addWidget(panel1, 1);
  outer->addLayout(body, 1);

  statusBar_ = new QStatusBar(this);
  statusBar_->setObjectName(QStringLiteral("StatusBar"));
  statusBar_->setSizeGripEnabled(false);
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(statusBar_);
    label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    label->setMinimumWidth(0);
    if (i == 2) label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar_->addWidget(label, i == 2 ? 1 : 0);
    statusPanels_[static_cast<std::size_t>(i)] = label;
  }
  statusBar_->installEventFilter(this);
  outer->addWidget(statusBar_);
}

void TFaultWaveForm::buildToolBar() {
  images_ = makeImages();
  toolBar_ = new QToolBar(this);
  toolBar_->setObjectName(QStringLiteral("ToolBar1"));
  toolBar_->setOrientation(Qt::Vertical);
  toolBar_->setIconSize(QSize(20, 20));
  toolBar_->setMovable(false);
  struct Button {
    const char* name;
    const char* hint;
    int image;
    bool checkable;
    void (TFaultWaveForm::*handler)();
  };
  const Button buttons[] = {
      {"InfoWindow_TBtn", "隐藏数据窗口", 0, false, &TFaultWaveForm::InfoWindow_TBtnClick},
      {"Options_TBtn", "选择故障通道", 1, false, &TFaultWaveForm::Options_TBtnClick},
      {"Wave_TBtn", "显示故障波形", 10, true, &TFaultWaveForm::Wave_TBtnClick},
      {"RMS_HD_TBtn", "显示RMS曲线", 9, true, &TFaultWaveForm::RMS_HD_TBtnClick},
      {"Print_TBtn", "故障波形打印预览", 2, false, &TFaultWaveForm::Print_TBtnClick},
      {"ZoomOut_TBtn", "放大", 3, false, &TFaultWaveForm::ZoomOut_TBtnClick},
      {"ZoomIn_TBtn", "缩小", 4, false, &TFaultWaveForm::ZoomIn_TBtnClick},
      {"Return_TBtn", "还原", 5, false, &TFaultWaveForm::Return_TBtnClick},
      {"X_TBtn", "X轴缩放", 6, true, &TFaultWaveForm::X_TBtnClick},
      {"Y_TBtn", "Y轴缩放", 7, true, &TFaultWaveForm::Y_TBtnClick},
      {"btnExportData", "导出数据", 11, false, &TFaultWaveForm::btnExportDataClick},
  };
  auto* views = new QActionGroup(this);
  views->setExclusive(true);
  for (const Button& b : buttons) {
    QAction* a = toolBar_->addAction(images_[static_cast<std::size_t>(b.image)], QString());
    a->setObjectName(QString::fromLatin1(b.name));
    a->setToolTip(QString::fromUtf8(b.hint));
    a->setCheckable(b.checkable);
    if (b.image == 10 || b.image == 9) views->addAction(a);
    if (b.handler) {
      const auto handler = b.handler;
      connect(a, &QAction::triggered, this, [this, handler] { forms::GuardedHandler(services_, this, [&] { (this->*handler)(); }); });
    }
  }
  action("Wave_TBtn")->setChecked(true);
}

void TFaultWaveForm::setToolImage(QAction* a, int image) { a->setIcon(images_[static_cast<std::size_t>(image)]); }

void TFaultWaveForm::buildDataPanel() {
  dataPanel_ = new QWidget(splitter_);
  dataPanel_->setObjectName(QStringLiteral("FW_Panel"));
  auto* v = new QVBoxLayout(dataPanel_);
  v->setContentsMargins(0, 0, 0, 0);
  infoPages_ = new QTabWidget(dataPanel_);
  infoPages_->setObjectName(QStringLiteral("FW_Info_PageControl"));
  SubstituteSongTi();
  QFont font(QStringLiteral("宋体"));
  font.setPixelSize(12);
  infoPages_->setFont(font);

  realTimePage_ = new QWidget(infoPages_);
  realTimePage_->setObjectName(QStringLiteral("RealTimeDataTabSheet"));
  auto* rv = new QVBoxLayout(realTimePage_);
  rv->setContentsMargins(0, 0, 0, 0);
  auto* timePanel = new QWidget(realTimePage_);
  timePanel->setObjectName(QStringLiteral("FaultimePanel"));
  timePanel->setFixedHeight(40);
  auto* tv = new QVBoxLayout(timePanel);
  tv->setContentsMargins(2, 0, 2, 0);
  tv->setSpacing(0);
  auto* label1 = new QLabel(QStringLiteral("时间:(可输入时间进行定位)"), timePanel);
  label1->setObjectName(QStringLiteral("Label1"));
  faultTimeEdit_ = new QLineEdit(timePanel);
  faultTimeEdit_->setObjectName(QStringLiteral("FaulttimeEdit"));
  faultTimeEdit_->installEventFilter(this);
  tv->addWidget(label1);
  tv->addWidget(faultTimeEdit_);
  rv->addWidget(timePanel);
  realTimeList_ = new QTreeWidget(realTimePage_);
  realTimeList_->setObjectName(QStringLiteral("RealTimeDataListView"));
  realTimeList_->setColumnCount(2);
  realTimeList_->setHeaderLabels({QStringLiteral("通道"), QStringLiteral("数据(Y)")});
  realTimeList_->setRootIsDecorated(false);
  realTimeList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  realTimeList_->header()->setSectionsClickable(false);
  realTimeList_->headerItem()->setTextAlignment(1, Qt::AlignRight);
  // The channel names take what the panel has left beside the values, so the
  // values never run past its right edge (fitValueColumn).
  QHeaderView* columns = realTimeList_->header();
  columns->setStretchLastSection(false);
  columns->setSectionResizeMode(0, QHeaderView::Stretch);
  columns->setSectionResizeMode(1, QHeaderView::Fixed);
  columns->resizeSection(1, kValueColumnWidth);
  // Names are shortened by elideChannelNames; a name a pixel too wide is cut
  // in the middle rather than at its distinct end.
  realTimeList_->setTextElideMode(Qt::ElideMiddle);
  connect(columns, &QHeaderView::sectionResized, this, [this](int section) {
    if (section == 0) forms::GuardedHandler(services_, this, [this] { elideChannelNames(); });
  });
  columns->installEventFilter(this);  // a stretched section changes size without a signal
  rv->addWidget(realTimeList_, 1);

  allDataPage_ = new QWidget(infoPages_);
  allDataPage_->setObjectName(QStringLiteral("AllDataTabSheet"));
  auto* av = new QVBoxLayout(allDataPage_);
  av->setContentsMargins(0, 0, 0, 0);
  auto* comboPanel = new QWidget(allDataPage_);
  comboPanel->setObjectName(QStringLiteral("ComboBox_Panel"));
  comboPanel->setFixedHeight(42);
  auto* cv = new QVBoxLayout(comboPanel);
  cv->setContentsMargins(2, 0, 2, 0);
  cv->setSpacing(0);
  auto* label2 = new QLabel(QStringLiteral("选择通道:"), comboPanel);
  label2->setObjectName(QStringLiteral("Label2"));
  channelCombo_ = new QComboBox(comboPanel);
  channelCombo_->setObjectName(QStringLiteral("Channel_ComboBox"));
  connect(channelCombo_, &QComboBox::activated, this,
          [this] { forms::GuardedHandler(services_, this, [this] { Channel_ComboBoxChange(); }); });
  cv->addWidget(label2);
  cv->addWidget(channelCombo_);
  av->addWidget(comboPanel);
  allDataList_ = new QTableView(allDataPage_);
  allDataList_->setObjectName(QStringLiteral("AllDataListView"));
  allDataModel_ = new AllDataListModel(allDataList_);
  allDataModel_->setUp(0, {QStringLiteral("序列"), QStringLiteral("周波(X)"), QStringLiteral("数据(Y)")}, {});
  shownRows_ = new ShownRowsModel(allDataList_);
  shownRows_->setSourceModel(allDataModel_);
  allDataList_->setModel(shownRows_);
  allDataList_->installEventFilter(this);
  allDataList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  allDataList_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  allDataList_->verticalHeader()->setDefaultSectionSize(18);
  allDataList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  allDataList_->setShowGrid(true);
  allDataList_->verticalHeader()->hide();
  allDataList_->setColumnWidth(0, 36);
  allDataList_->setColumnWidth(1, 55);
  allDataList_->setColumnWidth(2, 60);
  allDataList_->horizontalHeader()->setStretchLastSection(true);  // the values follow the splitter
  av->addWidget(allDataList_, 1);

  infoPages_->addTab(realTimePage_, QStringLiteral("当前数据"));
  infoPages_->addTab(allDataPage_, QStringLiteral("原始采样点"));
  v->addWidget(infoPages_);
}

// --- creating and showing -------------------------------------------------------------

void TFaultWaveForm::FormCreate() {
  layout_ = data_->layout();
  viewport_ = InitialViewport(layout_);
  scales_.ScalesDirty = 1;
  DataPanelShown_ = 1;
  options_ = WindowOptions::From(settings_);
  for (std::size_t i = 0; i < data_->analogCount(); ++i) buffers_.push_back(data_->samples(i));
  for (std::size_t d = 0; d < data_->digitalCount(); ++d) lanes_.push_back(data_->digital(d));
  for (std::size_t i = 0; i < data_->analogCount(); ++i) rmsBuffers_.push_back(data_->rms(i));
  harmonics_ = ComputedHarmonics(*data_);
  const WaveGeometry geo = geometry();
  if (knownAnalogPeaks_.size() == data_->analogCount())
    SetChannelPeaks(scales_, knownAnalogPeaks_);
  else
    ComputeChannelPeaks(scales_, std::span(buffers_).first(data_->analogCount()), geo.P1 + geo.P2);
  if (!layout_.oneCycle) {
    if (knownRmsPeaks_.size() == data_->analogCount())
      SetRmsPeaks(rmsScales_, knownRmsPeaks_);
    else
      ComputeRmsPeaks(rmsScales_, rmsBuffers_, layout_.sampleCount);
  }
  fillLists();
  ShowChannelAllData();
  // The samples a lying .cfg claims beyond its .dat get their rows only when the list is shown.
  shownRows_->addRowsInSteps(layout_.oneCycle ? INT_MAX
                                              : static_cast<int>(std::min<std::int64_t>(data_->samplesWritten(), INT_MAX)));

  statusPanels_[0]->setText(forms::Utf8(common::Trim(record_.station_name) + "  " + common::Trim(record_.rec_dev_id)));
  statusPanels_[1]->setText(lang(0, "起始时间:") + forms::Utf8(common::FormatDateTime(kTimePattern, record_.StartTime)) +
                            lang(1, "  触发时间:") + forms::Utf8(common::FormatDateTime(kTimePattern, record_.TriggerTime)));
  fitStatusPanels();

  trackBar_ = new TMyTrackBar(paintBox_);
  trackBar_->OnMouseDown = [this](Qt::MouseButton button, int x) {
    forms::GuardedHandler(services_, this, [&] { TrackBarMouseDown(button, x); });
  };
  connect(trackBar_, &QSlider::valueChanged, this,
          [this] { forms::GuardedHandler(services_, this, [this] { TrackBarChange(); }); });
  CursorX_ = -1;

  QAction* rms = action("RMS_HD_TBtn");
  if (layout_.oneCycle) {
    setToolImage(rms, 8);
    rms->setToolTip(lang(2, "显示谐波棒图"));
  } else {
    setToolImage(rms, 9);
    rms->setToolTip(lang(3, "显示RMS曲线"));
  }
  applyColours();
  fitDataPanel();
  relayout();
  Show_RealTimeData(viewport_.LeftMargin);  // the time origin
}

void TFaultWaveForm::fitDataPanel() {
  // 161 pixels, or as wide as the record's times and its largest samples need
  // in the panel's font, so that neither shows cut when the window opens.
  const QStyle& style = *dataPanel_->style();
  const int frame = 2 * style.pixelMetric(QStyle::PM_DefaultFrameWidth);
  faultTimeEdit_->setMinimumWidth(LineEditWidthFor(*faultTimeEdit_, WidestTime(faultTimeEdit_->font())));
  const int timeWidth = dataPanel_->minimumSizeHint().width();
  double peak = 0;
  for (double p : scales_.ChannelPeaks) peak = std::max(peak, std::abs(p));
  const int cellMargin = 2 * (style.pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
  const int valueWidth =
      QFontMetrics(allDataList_->font()).horizontalAdvance(forms::Utf8(FormatFixed(-peak, 5, 3))) + cellMargin;
  const int listWidth = allDataList_->columnWidth(0) + allDataList_->columnWidth(1) + valueWidth + frame +
                        style.pixelMetric(QStyle::PM_ScrollBarExtent);
  dataPanelWidth_ = std::max({kDataPanelWidth, timeWidth, listWidth});
  // Dragged wider, the panel stops where the longest channel name shows whole.
  const QFontMetricsF names(realTimeList_->font());
  qreal longestName = 0;
  for (const auto& channel : record_.AInfo)
    longestName = std::max(longestName, names.horizontalAdvance(forms::Utf8(channel.ch_id)));
  const int wholeNames = static_cast<int>(std::ceil(longestName)) + nameColumnOverhead() +
                         realTimeList_->header()->sectionSize(1) + frame +
                         style.pixelMetric(QStyle::PM_ScrollBarExtent) + frame + kTabPaneAllowance;
  dataPanel_->setMaximumWidth(std::max(dataPanelWidth_, wholeNames));
  splitter_->setSizes({dataPanelWidth_, std::max(1, splitter_->width() - dataPanelWidth_)});
}

int TFaultWaveForm::nameColumnOverhead() const {
  // Beside its text a cell has its check box and a margin each side of both.
  const QStyle& style = *realTimeList_->style();
  const int margin = style.pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, realTimeList_) + 1;
  return style.pixelMetric(QStyle::PM_IndicatorWidth, nullptr, realTimeList_) + 4 * margin + 2;
}

void TFaultWaveForm::elideChannelNames() {
  const int analog = std::min(realTimeList_->topLevelItemCount(), static_cast<int>(record_.AInfo.size()));
  QStringList full;
  for (int i = 0; i < analog; ++i) full.append(forms::Utf8(record_.AInfo[static_cast<std::size_t>(i)].ch_id));
  const QFontMetricsF metrics(realTimeList_->font());
  const qreal available = realTimeList_->header()->sectionSize(0) - nameColumnOverhead();
  const QStringList shown =
      DistinctElidedNames(full, available, [&metrics](const QString& text) { return metrics.horizontalAdvance(text); });
  for (int i = 0; i < analog; ++i)
    if (realTimeList_->topLevelItem(i)->text(0) != shown[i]) realTimeList_->topLevelItem(i)->setText(0, shown[i]);
}

void TFaultWaveForm::fillLists() {
  channelCombo_->clear();
  for (const auto& channel : record_.AInfo) channelCombo_->addItem(forms::Utf8(channel.ch_id));
  if (channelCombo_->count() > 0) channelCombo_->setCurrentIndex(0);

  realTimeList_->clear();
  for (const auto& channel : record_.AInfo) {
    auto* item = new QTreeWidgetItem(realTimeList_, {forms::Utf8(channel.ch_id), QString()});
    item->setToolTip(0, item->text(0));
    item->setCheckState(0, Qt::Checked);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  }
  if (record_.A > 1) {
    auto* delta = new QTreeWidgetItem(realTimeList_, {QStringLiteral("△"), QString()});
    delta->setCheckState(0, Qt::Unchecked);
    delta->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  }
  elideChannelNames();
}

void TFaultWaveForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  forms::GuardedHandler(services_, this, [this] { FormShow(); });
}

void TFaultWaveForm::FormShow() {
  lang::TranslateForm(*this, engine_);
  infoPages_->setTabText(0, lang(32, "当前数据"));
  infoPages_->setTabText(1, lang(33, "原始采样点"));
  findChild<QLabel*>(QStringLiteral("Label1"))->setText(lang(34, "时间:(可输入时间进行定位)"));
  realTimeList_->setHeaderLabels({lang(45, "通道"), lang(46, "数据(Y)")});
  QAction* wave = action("Wave_TBtn");
  QAction* rms = action("RMS_HD_TBtn");
  if (NoNegativeSamples() == 1) {
    rms->setChecked(true);
    wave->setEnabled(false);
  } else {
    wave->setEnabled(true);
    wave->setChecked(true);
  }
  watchActivation();
  fitDataPanel();  // in the fonts the language file gave
  requestRelayout();
}

void TFaultWaveForm::watchActivation() {
  for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
    auto* sub = qobject_cast<QMdiSubWindow*>(w);
    if (!sub) continue;
    sub->setAttribute(Qt::WA_DeleteOnClose);
    if (!sub->isMaximized()) sub->resize(kFormSize);
    if (QMdiArea* area = sub->mdiArea())
      connect(area, &QMdiArea::subWindowActivated, this, [this, sub](QMdiSubWindow* active) {
        if (active == sub && !closed_) forms::GuardedHandler(services_, this, [this] { FormActivate(); });
      });
    return;
  }
}

bool TFaultWaveForm::event(QEvent* event) {
  // A window outside an MDI area becomes active as a top-level window.
  if (event->type() == QEvent::WindowActivate && !qobject_cast<QMdiSubWindow*>(parentWidget()) && !closed_)
    forms::GuardedHandler(services_, this, [this] { FormActivate(); });
  return QWidget::event(event);
}

void TFaultWaveForm::FormActivate() { options_.WriteTo(settings_); }

bool TFaultWaveForm::isActiveWindow() const {
  for (QWidget* w = parentWidget(); w; w = w->parentWidget())
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w)) {
      QMdiArea* area = sub->mdiArea();
      return area ? area->activeSubWindow() == sub : sub->isActiveWindow();
    }
  return QWidget::isActiveWindow();
}

// --- closing -------------------------------------------------------------------------------

void TFaultWaveForm::closeEvent(QCloseEvent* event) {
  forms::GuardedHandler(services_, this, [this] { FormClose(); });
  event->accept();
}

void TFaultWaveForm::FormClose() {
  if (closed_) return;
  closed_ = true;
  setAttribute(Qt::WA_DeleteOnClose);
  delete trackBar_;
  trackBar_ = nullptr;
  allDataModel_->clear();
  buffers_.clear();
  lanes_.clear();
  rmsBuffers_.clear();
  harmonics_ = {};
  data_.reset();  // every sample, RMS and harmonic array at once
  // Only a pair written from the database for this window goes: a record of
  // a folder, or of the power-quality database (whose path is a bare caption
  // that may name someone else's file), was handed no files.
  recordFiles_.remove();
}

// --- tool buttons --------------------------------------------------------------------------

void TFaultWaveForm::Options_TBtnClick() {
  if (!host_) return;
  host_->setRecord(record_);
  options_.WriteTo(settings_);
  const OptionsDialogResult result = host_->showOptionsDialog();
  if (result.modalOk) {
    scales_.ScalesDirty = 1;
    rmsScales_.ScalesDirty = 1;
    paintBox_->update();  // the new options are taken over at the next paint
  }
}

void TFaultWaveForm::repaintStep() { requestRelayout(); }

void TFaultWaveForm::Wave_TBtnClick() {
  ViewMode_ = ViewMode::Waves;
  if (trackBar_) trackBar_->setVisible(DataPanelShown_ == 1);
  infoPages_->setTabVisible(0, true);
  infoPages_->setCurrentIndex(0);
  infoPages_->setTabText(1, lang(27, "原始采样点"));
  repaintStep();
  ShowChannelAllData();
  refreshReadout();
}

void TFaultWaveForm::refreshReadout() {
  // The values at the cursor are those of the view now shown.
  if (ViewMode_ != ViewMode::HarmonicBars) Show_RealTimeData(CursorX_ >= 0 ? CursorX_ : viewport_.LeftMargin);
}

void TFaultWaveForm::RMS_HD_TBtnClick() {
  if (NoNegativeSamples() == 1) return;
  if (!layout_.oneCycle) {
    ViewMode_ = ViewMode::Rms;
    if (trackBar_) trackBar_->setVisible(DataPanelShown_ == 1);
    infoPages_->setTabText(1, lang(29, "RMS数据点"));
  } else {
    ViewMode_ = ViewMode::HarmonicBars;
    if (trackBar_) trackBar_->hide();
    infoPages_->setTabVisible(0, false);
    infoPages_->setCurrentIndex(1);
    infoPages_->setTabText(1, lang(28, "谐波数据"));
  }
  scales_.ScalesDirty = 1;
  rmsScales_.ScalesDirty = 1;
  repaintStep();
  ShowChannelAllData();
  refreshReadout();
}

void TFaultWaveForm::InfoWindow_TBtnClick() {
  QAction* info = action("InfoWindow_TBtn");
  const int rest = std::max(1, splitter_->width() - dataPanelWidth_);
  if (DataPanelShown_ == 1) {
    setToolImage(info, 11);
    info->setToolTip(lang(11, "显示数据窗口"));
    splitter_->setSizes({0, splitter_->width()});
  } else {
    setToolImage(info, 0);
    info->setToolTip(lang(12, "隐藏数据窗口"));
    splitter_->setSizes({dataPanelWidth_, rest});
    infoPages_->setCurrentIndex(ViewMode_ == ViewMode::HarmonicBars ? 1 : 0);
  }
  DataPanelShown_ = DataPanelShown_ == 1 ? 0 : 1;
  if (trackBar_) trackBar_->setVisible(DataPanelShown_ == 1 && ViewMode_ != ViewMode::HarmonicBars);
  repaintStep();
}

void TFaultWaveForm::setClockText(const QString& text) {
  statusPanels_[2]->setText(text);
  fitStatusPanels();
}

void TFaultWaveForm::fitStatusPanels() {
  std::array<int, 3> needed{};
  for (std::size_t i = 0; i < 2; ++i) needed[i] = LabelWidthFor(*statusPanels_[i], statusPanels_[i]->text());
  needed[2] = std::max(LabelWidthFor(*statusPanels_[2], statusPanels_[2]->text()),
                       LabelWidthFor(*statusPanels_[2], QString::fromLatin1(kWidestClock)));
  // The bar keeps a gap beside and between its panels.
  const int gaps = 4 * std::max(0, statusBar_->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing)) + 8;
  const std::array<int, 3> widths = StatusPanelWidths(statusBar_->width() - gaps, needed);
  for (std::size_t i = 0; i < 2; ++i)
    if (statusPanels_[i]->width() != widths[i] || statusPanels_[i]->minimumWidth() != widths[i])
      statusPanels_[i]->setFixedWidth(widths[i]);
  statusPanels_[2]->setMinimumWidth(std::min(widths[2], needed[2]));
}

QString TFaultWaveForm::statusText(int panel) const {
  return statusPanels_[static_cast<std::size_t>(panel)]->text();
}

// --- layout and painting -------------------------------------------------------------------

WaveGeometry TFaultWaveForm::geometry() const { return MakeWaveGeometry(layout_, viewport_, options_); }

void TFaultWaveForm::applyColours() {
  const TColor background = settings_.ChannelColors[kBackgroundColor];
  const TColor text = ListFontColor(background);
  for (QWidget* w : {static_cast<QWidget*>(scrollBox_), scrollBox_->viewport(), paintBox_,
                     static_cast<QWidget*>(realTimeList_), static_cast<QWidget*>(allDataList_),
                     static_cast<QWidget*>(faultTimeEdit_), static_cast<QWidget*>(channelCombo_)})
    setBackground(w, background, text);
  if (trackBar_) setBackground(trackBar_, background, kBlack);
  appliedBackground_ = background;
}

void TFaultWaveForm::relayout() {
  if (closed_) return;
  const WaveGeometry geo = geometry();
  const QSize box = scrollBox_->viewport()->size();
  contentSize_ = PaintBoxSize(geo, ViewMode_, {box.width(), box.height()});
  // The scroll bars range over the whole view; the paint box shows the part in sight.
  const auto scrollRange = [](QScrollBar* bar, std::int64_t content, int shown) {
    bar->setRange(0, static_cast<int>(std::clamp<std::int64_t>(content - shown, 0, INT_MAX)));
    bar->setPageStep(std::max(1, shown));
    bar->setSingleStep(20);
  };
  scrollRange(scrollBox_->horizontalScrollBar(), contentSize_.width, box.width());
  scrollRange(scrollBox_->verticalScrollBar(), contentSize_.height, box.height());
  if (paintBox_->geometry() != QRect(QPoint(0, 0), box)) paintBox_->setGeometry(QRect(QPoint(0, 0), box));
  if (trackBar_) {
    if (ViewMode_ != ViewMode::HarmonicBars)
      trackBarWidth_ = ViewMode_ == ViewMode::Rms ? RmsTrackBarWidth(geo) : TrackBarWidth(geo);
    placeTrackBar();
    // The thumb keeps its position while the scale changes: the line moves with it.
    if (cursorShown()) CursorX_ = CursorLineX(trackBarSpan(), trackBar_->value());
  }
  if (appliedBackground_ != settings_.ChannelColors[kBackgroundColor]) applyColours();
  paintBox_->update();
}

QPoint TFaultWaveForm::scrollOffset() const {
  return QPoint(scrollBox_->horizontalScrollBar()->value(), scrollBox_->verticalScrollBar()->value());
}

// The track bar lies over the top of the view at x = L - 10; its widget covers
// the part of it in sight.
void TFaultWaveForm::placeTrackBar() {
  if (!trackBar_) return;
  const QPoint scroll = scrollOffset();
  const std::int64_t left = std::int64_t{geometry().L} - 10 - scroll.x();
  const std::int64_t from = std::max<std::int64_t>(left, 0);
  const std::int64_t to = std::max(from, std::min<std::int64_t>(left + trackBarWidth_, paintBox_->width()));
  trackBar_->setShownPart(trackBarWidth_, from - left);
  trackBar_->setGeometry(static_cast<int>(from), -scroll.y(), static_cast<int>(to - from), trackBar_->height());
}

void TFaultWaveForm::showContentX(int x) {
  QScrollBar* h = scrollBox_->horizontalScrollBar();
  h->setValue(static_cast<int>(ScrollShowing(x, h->value(), paintBox_->width())));
}

void TFaultWaveForm::requestRelayout() {
  if (relayoutQueued_) return;
  relayoutQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        relayoutQueued_ = false;
        forms::GuardedHandler(services_, this, [this] { relayout(); });
      },
      Qt::QueuedConnection);
}

bool TFaultWaveForm::eventFilter(QObject* watched, QEvent* event) {
  if (scrollBox_ && watched == scrollBox_->viewport() && event->type() == QEvent::Resize)
    requestRelayout();  // FormResize
  if (watched == statusBar_ && event->type() == QEvent::Resize) fitStatusPanels();
  if (realTimeList_ && watched == realTimeList_->header() && event->type() == QEvent::Resize)
    QMetaObject::invokeMethod(
        this, [this] { forms::GuardedHandler(services_, this, [this] { elideChannelNames(); }); },
        Qt::QueuedConnection);
  if (watched == allDataList_ && event->type() == QEvent::Show) shownRows_->showAllRows();
  if (watched == faultTimeEdit_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      forms::GuardedHandler(services_, this, [&] { FaulttimeEditKeyPress(key); });
      return true;
    }
  }
  if (watched == faultTimeEdit_ && event->type() == QEvent::FocusOut) {
    // Leaving the field for another part of this window ends the entry; a
    // switch to another window or a pop-up does not.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
      forms::GuardedHandler(services_, this, [this] { FaulttimeEditExit(); });
  }
  return QWidget::eventFilter(watched, event);
}

void TFaultWaveForm::takeOverOptions() {
  options_ = WindowOptions::From(settings_);
  settings_.OptionsAccepted = 0;
  requestRelayout();  // rows and lanes may have changed the size the view needs
}

void TFaultWaveForm::FW_PaintBoxPaint(QPainter& painter, const QRect& exposed) {
  if (settings_.OptionsAccepted == 1 && isActiveWindow()) takeOverOptions();
  if (appliedBackground_ != settings_.ChannelColors[kBackgroundColor]) requestRelayout();
  if (exposed.isEmpty()) return;
  // Drawn into an image of the exposed part first, where small figures can be
  // copied pixel by pixel, then shown at once. The exposed part lies at the
  // scroll position of the whole record; it is drawn relative to its left
  // edge, so that positions far into a long record stay small.
  if (frame_.width() < exposed.width() || frame_.height() < exposed.height())
    frame_ = QImage(exposed.size().expandedTo(frame_.size()), QImage::Format_RGB32);
  {
    const QRect part = exposed.translated(scrollOffset());
    const std::int64_t shift = DrawingShift(part.left());
    const int left = static_cast<int>(part.left() - shift);
    QPainter onFrame(&frame_);
    onFrame.setClipRect(QRect(QPoint(0, 0), exposed.size()));
    onFrame.translate(-left, -part.top());
    const Rect area{left, part.top(), left + part.width(), part.top() + part.height()};
    QPainterCanvas canvas(onFrame, area);
    // What pixel columns a frame cannot make in its share of time, later frames make.
    const ColumnTimeBudget columnTime(std::chrono::milliseconds(10));
    drawView(canvas, shift);
  }
  painter.drawImage(exposed.topLeft(), frame_, QRect(QPoint(0, 0), exposed.size()));
}

void TFaultWaveForm::drawView(Canvas& canvas, std::int64_t shift) {
  if (!data_) {
    canvas.brush() = Brush{settings_.ChannelColors[kBackgroundColor], BrushStyle::Solid};
    canvas.fillRect(canvas.clipBox());
    return;
  }
  const WaveGeometry geo = ShiftedLeft(geometry(), shift);
  const WaveScene scene{geo, options_, scales_, buffers_, lanes_, record_, settings_.ChannelColors,
                        data_->NoNegativeSamples == 0, false, data_->drawSummary()};
  switch (ViewMode_) {
    case ViewMode::Waves:
      UpdateGroupScales(scales_, options_.WindowGroups);
      PaintWaveView(canvas, scene);
      break;
    case ViewMode::Rms:
      UpdateRmsScales(rmsScales_, options_.WindowGroups);
      PaintRmsView(canvas, RmsScene{scene, rmsBuffers_, rmsScales_});
      break;
    case ViewMode::HarmonicBars:
      PaintHarmonicView(canvas, HarmonicScene{geo, options_, harmonics_, settings_.ChannelColors});
      break;
  }
  DrawCursorLine(canvas, geo, shift);
}

void TFaultWaveForm::DrawCursorLine(Canvas& canvas, const WaveGeometry& geo, std::int64_t shift) const {
  if (!cursorShown() || CursorX_ < 0) return;
  const CursorLine line = CursorLineAt(geo, static_cast<int>(CursorX_ - shift));
  canvas.pen() = Pen{kCursorColor, 1, PenStyle::Solid, PenMode::Xor};
  canvas.moveTo(line.x, line.top);
  canvas.lineTo(line.x, line.bottom);
}

// --- the time cursor and the value lists ---------------------------------------------------

TrackBarSpan TFaultWaveForm::trackBarSpan() const {
  TrackBarSpan bar = MakeTrackBarSpan(geometry(), trackBarWidth_);
  if (trackBar_) {
    bar.min = trackBar_->minimum();
    bar.max = trackBar_->maximum();
  }
  return bar;
}

bool TFaultWaveForm::cursorShown() const {
  return trackBar_ && !trackBar_->isHidden() && ViewMode_ != ViewMode::HarmonicBars;
}

void TFaultWaveForm::updateCursorColumn(int x) {
  const CursorLine line = CursorLineAt(geometry(), x);
  const QPoint scroll = scrollOffset();
  paintBox_->update(QRect(x - scroll.x(), line.top - scroll.y(), 1, std::max(1, line.bottom - line.top)));
}

void TFaultWaveForm::focusStatusBar() { statusBar_->setFocus(Qt::OtherFocusReason); }

void TFaultWaveForm::TrackBarMouseDown(Qt::MouseButton button, int x) {
  if (button != Qt::LeftButton || DataPanelShown_ != 1 || !trackBar_) return;
  trackBar_->setValue(PositionAtPointer(trackBarSpan(), x));
}

void TFaultWaveForm::TrackBarChange() {
  if (DataPanelShown_ != 1 || !trackBar_ || !data_) return;
  const int x = CursorLineX(trackBarSpan(), trackBar_->value());
  if (CursorX_ != -1) updateCursorColumn(CursorX_);
  updateCursorColumn(x);
  if (x != CursorX_) Show_RealTimeData(x);
  CursorX_ = x;
}

ReadoutSource TFaultWaveForm::readoutSource(const WaveGeometry& geo) const {
  return ReadoutSource{geo,
                       record_,
                       ViewMode_,
                       data_->NoNegativeSamples == 0,
                       std::span(buffers_).first(std::min(buffers_.size(), data_->analogCount())),
                       rmsBuffers_};
}

void TFaultWaveForm::Show_RealTimeData(int x) {
  if (!data_) return;
  const int analog = std::min(realTimeList_->topLevelItemCount(), static_cast<int>(record_.A));
  std::vector<bool> checked(static_cast<std::size_t>(analog));
  for (int i = 0; i < analog; ++i)
    checked[static_cast<std::size_t>(i)] = realTimeList_->topLevelItem(i)->checkState(0) == Qt::Checked;
  QTreeWidgetItem* delta = record_.A > 1 ? realTimeList_->topLevelItem(record_.A) : nullptr;
  const WaveGeometry geo = geometry();
  const RealTimeReadout readout =
      ReadRealTimeData(readoutSource(geo), x, checked, delta && delta->checkState(0) == Qt::Checked);
  faultTimeEdit_->setText(forms::Utf8(readout.time));
  faultTimeEdit_->setCursorPosition(0);  // a time wider than the field shows its date, not its milliseconds
  realTimeList_->setUpdatesEnabled(false);
  for (const ChannelValue& v : readout.values) realTimeList_->topLevelItem(v.channel)->setText(1, forms::Utf8(v.text));
  if (delta && readout.delta) {
    delta->setText(0, forms::Utf8(readout.delta->caption));
    delta->setText(1, forms::Utf8(readout.delta->text));
  }
  fitValueColumn();
  realTimeList_->setUpdatesEnabled(true);
}

void TFaultWaveForm::fitValueColumn() {
  // 75 pixels, or wider where the font needs more for the longest value: a
  // number cut short would read as another number. Measured here rather than
  // through the view's size hints, which cost more than the rest of a cursor move.
  const QFontMetricsF metrics(realTimeList_->font());
  qreal longest = 0;
  for (int i = 0; i < realTimeList_->topLevelItemCount(); ++i)
    longest = std::max(longest, metrics.horizontalAdvance(realTimeList_->topLevelItem(i)->text(1)));
  // An item view leaves this much beside the text on either side.
  const int margin = realTimeList_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, realTimeList_) + 1;
  const int wanted = std::max(kValueColumnWidth, static_cast<int>(std::ceil(longest)) + 2 * margin);
  if (realTimeList_->header()->sectionSize(1) != wanted) realTimeList_->header()->resizeSection(1, wanted);
}

void TFaultWaveForm::FaulttimeEditKeyPress(int key) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) focusStatusBar();
}

void TFaultWaveForm::FaulttimeEditExit() {
  if (!data_ || !trackBar_) return;
  const std::optional<common::TDateTime> time = ParseTypedTime(faultTimeEdit_->text().trimmed().toStdString());
  if (!time) {
    services_.showMessage(this, badTimeMessage());
    return;
  }
  trackBar_->setValue(PositionForTime(geometry(), record_, *time, trackBarSpan()));
  // The view follows the cursor to the typed time.
  showContentX(CursorLineX(trackBarSpan(), trackBar_->value()));
}

SampleListSource TFaultWaveForm::sampleListSource() const {
  return SampleListSource{layout_, ViewMode_,
                          std::span(buffers_).first(std::min(buffers_.size(), data_ ? data_->analogCount() : 0)),
                          rmsBuffers_, harmonics_};
}

void TFaultWaveForm::ShowChannelAllData() {
  if (!data_) return;
  const SampleListSource source = sampleListSource();
  const std::int64_t rows = SampleListRowCount(source);
  const int channel = std::max(0, channelCombo_->currentIndex());
  // Rows are formatted when the list shows them, from the view and channel of now.
  AllDataListModel::RowSource row = [this, mode = ViewMode_, channel](std::int64_t k) {
    SampleListSource s = sampleListSource();
    s.mode = mode;
    return SampleListRow(s, channel, k);
  };
  if (ViewMode_ == ViewMode::HarmonicBars) {
    allDataModel_->setUp(rows, {lang(7, "次数(X)"), lang(8, "数据(Y)"), QString()}, std::move(row));
    allDataList_->setColumnWidth(0, 55);
    allDataList_->setColumnWidth(1, 110);
  } else {
    allDataModel_->setUp(rows, {lang(4, "序列"), lang(5, "周波(X)"), lang(6, "数据(Y)")}, std::move(row));
    allDataList_->setColumnWidth(0, 40);
    allDataList_->setColumnWidth(1, 55);
  }
  allDataList_->viewport()->update();
}

void TFaultWaveForm::Channel_ComboBoxChange() {
  focusStatusBar();
  if (channelCombo_->currentIndex() >= 0) ShowChannelAllData();
}

// --- zoom and scrolling ---------------------------------------------------------------------

void TFaultWaveForm::zoom(ZoomDirection direction) {
  // The time under the cursor, or at the view's centre when the cursor is not
  // in sight, stays at the same place on screen while the scale changes.
  QScrollBar* h = scrollBox_->horizontalScrollBar();
  const int shown = paintBox_->width();
  const bool cursorInSight = cursorShown() && CursorX_ >= h->value() && CursorX_ < h->value() + shown;
  const int anchorX = cursorInSight ? CursorX_ : h->value() + shown / 2;
  const int onScreen = anchorX - h->value();
  const TrackBarSpan before = trackBarSpan();
  const int anchorPosition = cursorInSight ? trackBar_->value() : PositionAtPointer(before, anchorX - before.left);
  if (!ZoomStep(viewport_, layout_, direction, XZoomOn_, YZoomOn_)) return;
  relayout();
  if (!trackBar_ || ViewMode_ == ViewMode::HarmonicBars) return;
  h->setValue(CursorLineX(trackBarSpan(), anchorPosition) - onScreen);
}

void TFaultWaveForm::ZoomOut_TBtnClick() { zoom(ZoomDirection::Enlarge); }

void TFaultWaveForm::ZoomIn_TBtnClick() { zoom(ZoomDirection::Shrink); }

void TFaultWaveForm::Return_TBtnClick() {
  if (!ZoomReturn(viewport_, layout_)) return;
  CursorX_ = -1;
  scrollBox_->horizontalScrollBar()->setValue(0);
  scrollBox_->verticalScrollBar()->setValue(0);
  relayout();
}

void TFaultWaveForm::X_TBtnClick() {
  QAction* x = action("X_TBtn");
  if (ViewMode_ == ViewMode::HarmonicBars) {
    services_.showMessage(this, noBarZoomMessage());
    x->setChecked(!x->isChecked());
    return;
  }
  XZoomOn_ = x->isChecked();
}

void TFaultWaveForm::Y_TBtnClick() { YZoomOn_ = action("Y_TBtn")->isChecked(); }

// --- printing and export -------------------------------------------------------------------

void TFaultWaveForm::Print_TBtnClick() {
  if (!printPreview_ || !data_) return;
  // The preview reads groups, digital selection and colours from the globals:
  // they must hold this window's options, newly accepted ones included.
  if (settings_.OptionsAccepted == 1 && isActiveWindow()) takeOverOptions();
  options_.WriteTo(settings_);
  printPreview_->setRecord(MakePrintedRecord(record_, data_, scales_, settings_.ChannelGroups));
  services_.execDialog(*printPreview_);
}

void TFaultWaveForm::btnExportDataClick() {
  if (!data_) return;
  const common::LangLookup lookup = lang::makeLangLookup(engine_);
  const common::TextPiece filter = ExportFilterText();
  QStringList nameFilters;
  for (const std::string& f : NameFiltersOf(lookup(kFaultWaveSection, filter.key, filter.defaultText)))
    nameFilters << forms::Utf8(f);
  const std::optional<QString> chosen = services_.saveFileName(this, nameFilters, forms::Utf8(kExportDefaultExtension));
  if (!chosen || chosen->isEmpty()) return;  // cancelled: nothing written, nothing shown
  const std::filesystem::path file = WithDefaultExtension(std::filesystem::path(chosen->toStdString()));

  // The file is written off the window thread, from the texts looked up here.
  std::map<std::string, std::string, std::less<>> texts;
  for (int key = 39; key <= 43; ++key) {
    const std::string name = "str" + std::to_string(key);
    texts[name] = lookup(kFaultWaveSection, name, ExportTextDefault(key));
  }
  const common::LangLookup resolved = [texts](std::string_view, std::string_view key, std::string_view fallback) {
    const auto found = texts.find(key);
    return found != texts.end() ? found->second : std::string(fallback);
  };
  auto progress = std::make_shared<common::JobProgress>();
  auto outcome = std::make_shared<ExportOutcome>();
  std::shared_ptr<const RecordData> data = data_;
  const ViewMode mode = ViewMode_;
  forms::RunWithWaitWindow(
      this, services_.jobRunner(), progress, WaitText,
      [=, open = exportOpener_] { *outcome = ExportSamples(*data, mode, file, resolved, progress.get(), open); },
      [this, outcome](std::exception_ptr error) {
        forms::GuardedHandler(services_, this, [&] {
          if (error) std::rethrow_exception(error);
          if (outcome->message) services_.showMessage(this, *outcome->message);
        });
      },
      nullptr);  // cancelled before it completed: the old file stays and nothing is said
}

void TFaultWaveForm::FW_PaintBoxMouseDown(Qt::MouseButton button, int x, int y) {
  if (button != Qt::LeftButton) return;
  DragStartX_ = x;
  DragStartY_ = y;
}

void TFaultWaveForm::FW_PaintBoxMouseUp(Qt::MouseButton button, int x, int y) {
  if (button != Qt::LeftButton) return;
  QScrollBar* h = scrollBox_->horizontalScrollBar();
  QScrollBar* v = scrollBox_->verticalScrollBar();
  h->setValue(h->value() + (DragStartX_ - x) * kDragFactor);
  v->setValue(v->value() + (DragStartY_ - y) * kDragFactor);
}

}  // namespace wave
