#include "waveform/ui/fault_wave_form.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

#include "common/datetime.h"
#include "common/lang/translateform.h"
#include "common/strings.h"
#include "waveform/analysis/open_record.h"
#include "waveform/canvas/qpainter_canvas.h"
#include "waveform/view/wave_draw.h"

namespace wave {

namespace {

constexpr char kTimePattern[] = "yyyy/mm/dd hh:nn:ss.zzz";
constexpr TColor kCursorColor = 0xFF0000;

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

 private:
  TFaultWaveForm& form_;
};

// The 12 images of the tool buttons: small drawn glyphs.
std::vector<QIcon> makeImages() {
  static const char16_t* const kGlyphs[12] = {u"◧", u"☰", u"⎙", u"+", u"−", u"↺", u"↔", u"↕", u"▥", u"∿", u"≈", u"◨"};
  std::vector<QIcon> images;
  for (const char16_t* glyph : kGlyphs) {
    QPixmap pixmap(20, 20);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(0x20, 0x40, 0x80));
    QFont f = p.font();
    f.setPixelSize(15);
    p.setFont(f);
    p.drawText(pixmap.rect(), Qt::AlignCenter, QString::fromUtf16(glyph));
    p.end();
    images.emplace_back(pixmap);
  }
  return images;
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
  setRange(0, 100000000);
  setSingleStep(1);
  setTickPosition(QSlider::NoTicks);
  setFocusPolicy(Qt::NoFocus);  // the track bar never keeps the keyboard focus
  setFixedHeight(20);
}

QString RecordWindowCaption(const std::string& cfgPath) {
  return Utf8(std::filesystem::path(cfgPath).filename().string());
}

std::unique_ptr<TFaultWaveForm> TFaultWaveForm::Create(const RecordWindowSetup& setup, QWidget* parent) {
  OpenedRecord opened = OpenRecordData(setup.record, setup.recordSourceMode, setup.waveChannels, setup.limits);
  for (const auto& message : opened.messages) setup.services->showMessage(parent, message);
  if (!opened.data) return nullptr;
  return std::unique_ptr<TFaultWaveForm>(new TFaultWaveForm(setup, std::move(opened.data), parent));
}

TFaultWaveForm::TFaultWaveForm(const RecordWindowSetup& setup, std::shared_ptr<RecordData> data, QWidget* parent)
    : QWidget(parent),
      settings_(*setup.settings),
      services_(*setup.services),
      engine_(setup.engine ? *setup.engine : lang::LangEngine()),
      host_(setup.host),
      ownsRecordFiles_(setup.ownsRecordFiles),
      source_(setup.recordSourceMode),
      record_(setup.record),
      data_(std::move(data)) {
  setObjectName(QStringLiteral("FaultWaveForm"));
  setProperty(lang::kFormClassProperty, QStringLiteral("TFaultWaveForm"));
  setWindowTitle(setup.caption.isEmpty() ? QStringLiteral("波形") : setup.caption);
  resize(942, 557);
  buildForm();
  FormCreate();
}

TFaultWaveForm::~TFaultWaveForm() = default;

QString TFaultWaveForm::lang(int key, const char* fallback) const {
  return Utf8(engine_.GetLangString(kFaultWaveSection, "str" + std::to_string(key), fallback));
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

  scrollBox_ = new QScrollArea(splitter_);
  scrollBox_->setObjectName(QStringLiteral("FW_ScrollBox"));
  scrollBox_->setWidgetResizable(false);
  scrollBox_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  auto* paintBox = new WavePaintBox(*this, scrollBox_);
  paintBox_ = paintBox;
  scrollBox_->setWidget(paintBox_);
  scrollBox_->viewport()->installEventFilter(this);
  auto* grid = new QTableWidget(paintBox_);  // sgData: filled by the export, never shown
  grid->setObjectName(QStringLiteral("sgData"));
  grid->hide();
  splitter_->addWidget(scrollBox_);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({161, 700});
  panelLayout->addWidget(splitter_);
  body->addWidget(panel1, 1);
  outer->addLayout(body, 1);

  statusBar_ = new QStatusBar(this);
  statusBar_->setObjectName(QStringLiteral("StatusBar"));
  statusBar_->setSizeGripEnabled(false);
  const int widths[3] = {460, 420, 35};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(statusBar_);
    label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    label->setMinimumWidth(widths[i]);
    if (i == 2) label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar_->addWidget(label, i == 2 ? 1 : 0);
    statusPanels_[static_cast<std::size_t>(i)] = label;
  }
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
      {"Print_TBtn", "故障波形打印预览", 2, false, nullptr},
      {"ZoomOut_TBtn", "放大", 3, false, nullptr},
      {"ZoomIn_TBtn", "缩小", 4, false, nullptr},
      {"Return_TBtn", "还原", 5, false, nullptr},
      {"X_TBtn", "X轴缩放", 6, true, nullptr},
      {"Y_TBtn", "Y轴缩放", 7, true, nullptr},
      {"btnExportData", "导出数据", 11, false, nullptr},
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
      connect(a, &QAction::triggered, this, [this, handler] { GuardedHandler(services_, this, [&] { (this->*handler)(); }); });
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
  realTimeList_->setColumnWidth(1, 75);
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
  cv->addWidget(label2);
  cv->addWidget(channelCombo_);
  av->addWidget(comboPanel);
  allDataList_ = new QTableView(allDataPage_);
  allDataList_->setObjectName(QStringLiteral("AllDataListView"));
  auto* model = new QStandardItemModel(0, 3, allDataList_);
  model->setHorizontalHeaderLabels({QStringLiteral("序列"), QStringLiteral("周波(X)"), QStringLiteral("数据(Y)")});
  allDataList_->setModel(model);
  allDataList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  allDataList_->setShowGrid(true);
  allDataList_->verticalHeader()->hide();
  allDataList_->setColumnWidth(0, 36);
  allDataList_->setColumnWidth(1, 55);
  allDataList_->setColumnWidth(2, 60);
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
  for (std::size_t slot = 0; slot < data_->channelCount(); ++slot) buffers_.push_back(data_->samples(slot));
  const WaveGeometry geo = geometry();
  ComputeChannelPeaks(scales_, std::span(buffers_).first(data_->analogCount()), geo.P1 + geo.P2);
  fillLists();

  statusPanels_[0]->setText(Utf8(common::Trim(record_.station_name) + "  " + common::Trim(record_.rec_dev_id)));
  statusPanels_[1]->setText(lang(0, "起始时间:") + Utf8(common::FormatDateTime(kTimePattern, record_.StartTime)) +
                            lang(1, "  触发时间:") + Utf8(common::FormatDateTime(kTimePattern, record_.TriggerTime)));

  trackBar_ = new TMyTrackBar(paintBox_);
  trackBar_->move(viewport_.LeftMargin - 10, 0);
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
  relayout();
}

void TFaultWaveForm::fillLists() {
  channelCombo_->clear();
  for (const auto& channel : record_.AInfo) channelCombo_->addItem(Utf8(channel.ch_id));
  if (channelCombo_->count() > 0) channelCombo_->setCurrentIndex(0);

  realTimeList_->clear();
  for (const auto& channel : record_.AInfo) {
    auto* item = new QTreeWidgetItem(realTimeList_, {Utf8(channel.ch_id), QString()});
    item->setCheckState(0, Qt::Checked);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  }
  if (record_.A > 1) {
    auto* delta = new QTreeWidgetItem(realTimeList_, {QStringLiteral("△"), QString()});
    delta->setCheckState(0, Qt::Unchecked);
    delta->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  }
}

void TFaultWaveForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  GuardedHandler(services_, this, [this] { FormShow(); });
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
  requestRelayout();
}

void TFaultWaveForm::watchActivation() {
  for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
    auto* sub = qobject_cast<QMdiSubWindow*>(w);
    if (!sub) continue;
    sub->setAttribute(Qt::WA_DeleteOnClose);
    if (QMdiArea* area = sub->mdiArea())
      connect(area, &QMdiArea::subWindowActivated, this, [this, sub](QMdiSubWindow* active) {
        if (active == sub && !closed_) GuardedHandler(services_, this, [this] { FormActivate(); });
      });
    return;
  }
}

bool TFaultWaveForm::event(QEvent* event) {
  // A window outside an MDI area becomes active as a top-level window.
  if (event->type() == QEvent::WindowActivate && !qobject_cast<QMdiSubWindow*>(parentWidget()) && !closed_)
    GuardedHandler(services_, this, [this] { FormActivate(); });
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
  GuardedHandler(services_, this, [this] { FormClose(); });
  event->accept();
}

void TFaultWaveForm::FormClose() {
  if (closed_) return;
  closed_ = true;
  setAttribute(Qt::WA_DeleteOnClose);
  delete trackBar_;
  trackBar_ = nullptr;
  buffers_.clear();
  data_.reset();  // every sample, RMS and harmonic array at once
  // Only a pair written from the automation database for this window is
  // removed: a record of the power-quality database has no files, its path is
  // a bare caption that may name someone else's file in the current folder.
  if (source_ == stationdb::kSourceAutomation && ownsRecordFiles_ && record_.CfgPath.size() >= 3) {
    const std::string& cfg = record_.CfgPath;
    std::error_code ec;
    std::filesystem::remove(cfg, ec);
    std::filesystem::remove(cfg.substr(0, cfg.size() - 3) + "dat", ec);
  }
}

// --- tool buttons --------------------------------------------------------------------------

void TFaultWaveForm::Options_TBtnClick() {
  if (!host_) return;
  host_->setRecord(record_);
  options_.WriteTo(settings_);
  const OptionsDialogResult result = host_->showOptionsDialog();
  if (result.modalOk) {
    scales_.ScalesDirty = 1;
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
  repaintStep();
}

void TFaultWaveForm::InfoWindow_TBtnClick() {
  QAction* info = action("InfoWindow_TBtn");
  const int rest = std::max(1, splitter_->width() - 160);
  if (DataPanelShown_ == 1) {
    setToolImage(info, 11);
    info->setToolTip(lang(11, "显示数据窗口"));
    splitter_->setSizes({0, splitter_->width()});
  } else {
    setToolImage(info, 0);
    info->setToolTip(lang(12, "隐藏数据窗口"));
    splitter_->setSizes({160, rest});
    infoPages_->setCurrentIndex(ViewMode_ == ViewMode::HarmonicBars ? 1 : 0);
  }
  DataPanelShown_ = DataPanelShown_ == 1 ? 0 : 1;
  if (trackBar_) trackBar_->setVisible(DataPanelShown_ == 1 && ViewMode_ != ViewMode::HarmonicBars);
  repaintStep();
}

void TFaultWaveForm::setClockText(const QString& text) { statusPanels_[2]->setText(text); }

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
  const Size size = PaintBoxSize(geo, ViewMode_, {box.width(), box.height()});
  const auto clampSize = [](std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, 1, QWIDGETSIZE_MAX));
  };
  const QSize wanted(clampSize(size.width), clampSize(size.height));
  if (paintBox_->size() != wanted) paintBox_->setFixedSize(wanted);
  if (trackBar_) {
    trackBar_->setFixedWidth(clampSize(TrackBarWidth(geo)));
    trackBar_->move(geo.L - 10, 0);
  }
  if (appliedBackground_ != settings_.ChannelColors[kBackgroundColor]) applyColours();
  paintBox_->update();
}

void TFaultWaveForm::requestRelayout() {
  if (relayoutQueued_) return;
  relayoutQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        relayoutQueued_ = false;
        GuardedHandler(services_, this, [this] { relayout(); });
      },
      Qt::QueuedConnection);
}

bool TFaultWaveForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == scrollBox_->viewport() && event->type() == QEvent::Resize) requestRelayout();  // FormResize
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
  // copied pixel by pixel, then shown at once.
  if (frame_.width() < exposed.width() || frame_.height() < exposed.height())
    frame_ = QImage(exposed.size().expandedTo(frame_.size()), QImage::Format_RGB32);
  {
    QPainter onFrame(&frame_);
    onFrame.setClipRect(QRect(QPoint(0, 0), exposed.size()));
    onFrame.translate(-exposed.left(), -exposed.top());
    const Rect area{exposed.left(), exposed.top(), exposed.left() + exposed.width(), exposed.top() + exposed.height()};
    QPainterCanvas canvas(onFrame, area);
    drawView(canvas);
  }
  painter.drawImage(exposed.topLeft(), frame_, QRect(QPoint(0, 0), exposed.size()));
}

void TFaultWaveForm::drawView(Canvas& canvas) {
  if (!data_ || ViewMode_ != ViewMode::Waves) {
    // The RMS and bar views come with their own drawing; until then the background.
    canvas.brush() = Brush{settings_.ChannelColors[kBackgroundColor], BrushStyle::Solid};
    canvas.fillRect(canvas.clipBox());
    return;
  }
  UpdateGroupScales(scales_, options_.WindowGroups);
  const WaveGeometry geo = geometry();
  const WaveScene scene{geo, options_, scales_, buffers_, record_, settings_.ChannelColors,
                        data_->NoNegativeSamples == 0, false};
  PaintWaveView(canvas, scene);
  if (CursorX_ >= 0) {  // the cursor line, last
    canvas.pen() = Pen{kCursorColor, 1, PenStyle::Solid, PenMode::Xor};
    canvas.moveTo(CursorX_, geo.T - geo.h2);
    canvas.lineTo(CursorX_, geo.T - geo.h2 + geo.R * geo.h + geo.Dg);
  }
}

}  // namespace wave
