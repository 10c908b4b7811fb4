#pragma once
// TFaultWaveForm, the record window: an MDI child that shows one record. It
// keeps a copy of the record and of the display options, owns the record's
// sample data, and draws the wave, RMS or harmonic bar view on FW_PaintBox
// only while painting, the time cursor's line last. Beside the plot it keeps
// the values at the cursor and a virtual list of all samples; its tool
// buttons zoom in levels, and the plot can be dragged.

#include <QImage>
#include <QPointer>
#include <QSlider>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "common/lang/engine.h"
#include "stationdb/records/records.h"
#include "waveform/analysis/open_record.h"
#include "waveform/analysis/record_data.h"
#include "waveform/canvas/canvas.h"
#include "waveform/model/cfgopen.h"
#include "recordmodel/record.h"
#include "waveform/model/settings.h"
#include "common/forms/form_services.h"
#include "waveform/export/sample_export.h"
#include "waveform/view/rms_view.h"
#include "waveform/view/time_cursor.h"
#include "waveform/view/wave_geometry.h"
#include "waveform/view/wave_scales.h"
#include "waveform/view/window_options.h"
#include "waveform/view/zoom.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMdiSubWindow;
class QPainter;
class QAbstractScrollArea;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTableView;
class QToolBar;
class QTreeWidget;

namespace wave {

class TPrintPreviewFm;

// What a new record window takes over.
struct RecordWindowSetup {
  QString caption;                // the record file's name
  TcfgInfo record;                // the main window's record; the window keeps this copy
  DisplaySettings* settings = nullptr;     // the program's display settings
  std::int32_t recordSourceMode = 0;       // 0 files, 12 and 21 the databases
  // The .cfg/.dat pair written from the database for this window, or null:
  // a window that is made takes it over and deletes it when it closes; a
  // refused record leaves it with the caller.
  RecordFiles* recordFiles = nullptr;
  RecordOpener* host = nullptr;            // the main window: its record and the options dialog
  std::span<const wave::TWaveformData> waveChannels;  // record source 12
  RecordLimits limits;
  forms::FormServices* services = nullptr;
  const lang::MultiLangEngine* engine = nullptr;  // the program's engine when null
  // The program's print-preview window; without it the print button does nothing.
  TPrintPreviewFm* printPreview = nullptr;
};

class AllDataListModel;
class ShownRowsModel;

// The time cursor's track bar: a slider whose mouse-down can be handled. It
// never takes the keyboard focus. The bar can be longer than a widget may be:
// the widget shows the part of it that lies in view, and every x it reports
// is counted from the start of the whole bar.
class TMyTrackBar : public QSlider {
  Q_OBJECT
 public:
  explicit TMyTrackBar(QWidget* parent);
  // Called with the button and the x of a press on the track bar (and of each
  // move while the left button is held: the thumb follows the pointer).
  std::function<void(Qt::MouseButton, int x)> OnMouseDown;

  // The whole bar's width and where the widget's left edge lies on it.
  void setShownPart(std::int64_t barWidth, std::int64_t shownFrom);
  std::int64_t barWidth() const { return barWidth_; }
  // The x of the thumb's centre in this widget: the cursor line's column.
  std::int64_t thumbCentre() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int barX(const QMouseEvent* event) const;
  std::int64_t barWidth_ = 0;
  std::int64_t shownFrom_ = 0;
  bool dragging_ = false;
};

class TFaultWaveForm : public QWidget {
  Q_OBJECT

 public:
  // Opens the record: its samples are loaded and analysed, what loading found
  // is shown; a record the program cannot show (or whose memory cannot be had)
  // is refused with a message, and no window is made.
  static std::unique_ptr<TFaultWaveForm> Create(const RecordWindowSetup& setup, QWidget* parent = nullptr);
  // The same with the record's data read and analysed already (by a job off
  // the window thread): what reading found is shown, then the window is made.
  static std::unique_ptr<TFaultWaveForm> Create(const RecordWindowSetup& setup, OpenedRecord opened,
                                                QWidget* parent = nullptr);
  ~TFaultWaveForm() override;

  // Handlers of the form (the tool buttons call them).
  void Options_TBtnClick();
  void Wave_TBtnClick();
  void RMS_HD_TBtnClick();
  void InfoWindow_TBtnClick();
  void FormActivate();
  void ZoomOut_TBtnClick();  // enlarges
  void ZoomIn_TBtnClick();   // shrinks
  void Return_TBtnClick();
  void X_TBtnClick();
  void Y_TBtnClick();
  // Hands the record to the print-preview window and shows it modally.
  void Print_TBtnClick();
  // Writes the table of the current view to the file the save dialog names.
  void btnExportDataClick();
  // Where exports are written (tests replace the file writer).
  void setExportFileOpener(ExportFileOpener open) { exportOpener_ = std::move(open); }

  // The time cursor and the value lists.
  void TrackBarMouseDown(Qt::MouseButton button, int x);
  void TrackBarChange();
  void Show_RealTimeData(int x);
  void FaulttimeEditExit();
  void FaulttimeEditKeyPress(int key);
  void ShowChannelAllData();
  void Channel_ComboBoxChange();
  // Drag scrolling: the plot moves by four times the way the pointer went.
  void FW_PaintBoxMouseDown(Qt::MouseButton button, int x, int y);
  void FW_PaintBoxMouseUp(Qt::MouseButton button, int x, int y);

  // Writes text into the clock panel of the status bar (panel 2).
  void setClockText(const QString& text);
  QString statusText(int panel) const;

  // The paint handler of FW_PaintBox: exposed is the part to draw.
  void FW_PaintBoxPaint(QPainter& painter, const QRect& exposed);

  const TcfgInfo& WindowRecord() const { return record_; }
  const WindowOptions& windowOptions() const { return options_; }
  const WaveViewport& viewport() const { return viewport_; }
  ViewMode viewMode() const { return ViewMode_; }
  std::int32_t WindowSource() const { return source_; }
  std::uint8_t NoNegativeSamples() const;
  bool DataPanelShown() const { return DataPanelShown_ == 1; }
  const WaveScales& scales() const { return scales_; }
  const RmsScales& rmsScales() const { return rmsScales_; }
  int CursorX() const { return CursorX_; }
  bool XZoomOn() const { return XZoomOn_; }
  bool YZoomOn() const { return YZoomOn_; }
  // The track bar as the cursor formulas see it, in the current view.
  TrackBarSpan trackBarSpan() const;
  AllDataListModel* allDataModel() const { return allDataModel_; }
  std::shared_ptr<const RecordData> data() const { return data_; }
  // FW_PaintBox: the visible part of the view, over the record at scrollOffset().
  QWidget* paintBox() const { return paintBox_; }
  // The size of the whole view (what the paint box stood for when a widget could hold it).
  Size contentSize() const { return contentSize_; }
  // The view's point at the paint box's top-left corner.
  QPoint scrollOffset() const;
  TMyTrackBar* trackBar() const { return trackBar_; }
  QAction* action(const char* name) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TFaultWaveForm(const RecordWindowSetup& setup, OpenedRecord opened, QWidget* parent);
  void FormCreate();
  void FormShow();
  void FormClose();
  void buildForm();
  void buildToolBar();
  void buildDataPanel();
  void fillLists();
  void applyColours();
  void relayout();
  void requestRelayout();
  void placeTrackBar();
  // Scrolls the view so that content x is in sight.
  void showContentX(int x);
  void repaintStep();
  bool isActiveWindow() const;
  void takeOverOptions();
  void watchActivation();
  QString lang(int key, const char* fallback) const;
  WaveGeometry geometry() const;
  void setToolImage(QAction* action, int image);
  // The view drawn with every x moved left by shift (DrawingShift).
  void drawView(Canvas& canvas, std::int64_t shift = 0);
  // The time cursor's line at CursorX, in XOR mode across all rows: drawn last
  // in every paint, so whatever repaints the view also redraws the line.
  void DrawCursorLine(Canvas& canvas, const WaveGeometry& geo, std::int64_t shift = 0) const;
  void zoom(ZoomDirection direction);
  bool cursorShown() const;
  void updateCursorColumn(int x);
  void focusStatusBar();
  void fitValueColumn();
  void fitStatusPanels();
  void fitDataPanel();
  // The channel names of the value list, shortened to the name column so that
  // different names still read differently.
  void elideChannelNames();
  int nameColumnOverhead() const;
  void refreshReadout();
  ReadoutSource readoutSource(const WaveGeometry& geo) const;
  SampleListSource sampleListSource() const;

  DisplaySettings& settings_;
  forms::FormServices& services_;
  const lang::MultiLangEngine& engine_;
  RecordOpener* host_;
  QPointer<TPrintPreviewFm> printPreview_;
  RecordFiles recordFiles_;
  std::int32_t source_;
  TcfgInfo record_;
  std::shared_ptr<RecordData> data_;
  RecordLayout layout_;
  std::vector<std::span<const double>> buffers_;        // analogue points
  std::vector<std::span<const std::uint8_t>> lanes_;  // digital
  std::vector<std::span<const double>> rmsBuffers_;
  std::span<const double> harmonics_;  // the computed orders
  std::vector<double> knownAnalogPeaks_;  // found while opening; empty: FormCreate finds them
  std::vector<double> knownRmsPeaks_;
  ExportFileOpener exportOpener_ = OpenExportFile;

  WindowOptions options_;
  WaveViewport viewport_;
  WaveScales scales_;
  RmsScales rmsScales_;
  ViewMode ViewMode_ = ViewMode::Waves;
  std::uint8_t DataPanelShown_ = 1;
  int CursorX_ = -1;
  int dataPanelWidth_ = 161;  // FW_Panel, widened where its texts need more, or as the user dragged it
  std::int64_t trackBarWidth_ = 18;
  Size contentSize_;
  bool XZoomOn_ = false;
  bool YZoomOn_ = false;
  int DragStartX_ = 0;
  int DragStartY_ = 0;
  TColor appliedBackground_ = -1;
  bool shown_ = false;
  bool relayoutQueued_ = false;
  bool closed_ = false;

  QToolBar* toolBar_ = nullptr;
  std::vector<QIcon> images_;  // ImageList1
  QWidget* dataPanel_ = nullptr;  // FW_Panel
  QSplitter* splitter_ = nullptr;
  QTabWidget* infoPages_ = nullptr;
  QWidget* realTimePage_ = nullptr;
  QWidget* allDataPage_ = nullptr;
  QLineEdit* faultTimeEdit_ = nullptr;
  QTreeWidget* realTimeList_ = nullptr;
  QComboBox* channelCombo_ = nullptr;
  QTableView* allDataList_ = nullptr;
  AllDataListModel* allDataModel_ = nullptr;
  ShownRowsModel* shownRows_ = nullptr;  // the view's side of allDataModel_
  QAbstractScrollArea* scrollBox_ = nullptr;  // its scroll bars: the view's position over the record
  QWidget* paintBox_ = nullptr;
  TMyTrackBar* trackBar_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  std::array<QLabel*, 3> statusPanels_{};
  QImage frame_;  // the exposed part of the view, drawn before it is shown
};

// The record file's name as the window caption: the path's last part.
QString RecordWindowCaption(const std::string& cfgPath);

}  // namespace wave
