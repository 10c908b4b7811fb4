#include "waveform/print/print_preview_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QShowEvent>
#include <QVBoxLayout>

#include "common/lang/translateform.h"
#include "waveform/print/page_set_form.h"
#include "waveform/print/print_preview.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace wave {

namespace {

struct ToolButton {
  const char* name;
  const char* caption;
  void (TPrintPreviewFm::*handler)();
};

constexpr ToolButton kToolButtons[] = {
    {"PrintToolBtn", "打印 ", &TPrintPreviewFm::PrintToolBtnClick},
    {"PrintSetToolBtn", "设置", &TPrintPreviewFm::PrintSetToolBtnClick},
    {"LastPageToolBtn", "上页", &TPrintPreviewFm::LastPageToolBtnClick},
    {"NextPageToolBtn", "下页", &TPrintPreviewFm::NextPageToolBtnClick},
    {"ZoomOutToolBtn", "放大", &TPrintPreviewFm::ZoomOutToolBtnClick},
    {"ZoomInToolBtn", "缩小", &TPrintPreviewFm::ZoomInToolBtnClick},
    {"ZoomToWidthToolBtn", "页宽", &TPrintPreviewFm::ZoomToWidthToolBtnClick},
    {"ZoomToFitToolBtn", "整页", &TPrintPreviewFm::ZoomToFitToolBtnClick},
    {"CloseToolBtn", "关闭", &TPrintPreviewFm::CloseToolBtnClick},
};

constexpr int kLargestZoomStep = 18;

int zoomPercent(int step) { return 20 + 10 * step; }

// The steps next to a zoom shown in percent: the first above it and the last below it.
int zoomStepAbove(int percent) { return percent < 20 ? 0 : std::min(kLargestZoomStep, (percent - 20) / 10 + 1); }
int zoomStepBelow(int percent) { return percent <= 20 ? 0 : std::min(kLargestZoomStep, (percent - 20 + 9) / 10 - 1); }

}  // namespace

TPrintPreviewFm::TPrintPreviewFm(DisplaySettings& settings, PrintFormServices& services, TPrintPageSetForm* pageSet,
                                 QWidget* parent, std::unique_ptr<PrinterAdapter> printer,
                                 const lang::MultiLangEngine& engine)
    : QDialog(parent),
      settings_(settings),
      services_(services),
      engine_(engine),
      pageSet_(pageSet),
      printer_(printer ? std::move(printer) : std::make_unique<PrinterAdapter>()) {
  texts_.lookup = lang::makeLangLookup(engine_);
  buildForm();
  // FormCreate: the printer's page in its pixels.
  const QSize page = printer_->pagePixels();
  settings_.PrinterPageWidth = page.width();
  settings_.PrinterPageHeight = page.height();
  PreviewDocument& doc = preview_->document();
  doc.setPrinterResolution(printer_->resolution());
}

TPrintPreviewFm::~TPrintPreviewFm() = default;

void TPrintPreviewFm::buildForm() {
  lang::setFormClass(*this, "TPrintPreviewFm");
  setObjectName(QStringLiteral("PrintPreviewFm"));
  setWindowTitle(QStringLiteral("波形打印预览"));
  setWindowState(Qt::WindowMaximized);
  setSizeGripEnabled(true);

  auto* toolBar = new QWidget(this);
  toolBar->setObjectName(QStringLiteral("ToolBar"));
  auto* tools = new QHBoxLayout(toolBar);
  tools->setContentsMargins(2, 2, 2, 2);
  for (std::size_t i = 0; i < std::size(kToolButtons); ++i) {
    const ToolButton& tool = kToolButtons[i];
    auto* b = new QPushButton(QString::fromUtf8(tool.caption), toolBar);
    b->setObjectName(QString::fromUtf8(tool.name));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this,
            [this, handler = tool.handler] { forms::GuardedHandler(services_, this, [&] { (this->*handler)(); }); });
    tools->addWidget(b);
    buttons_[i] = b;
  }
  pagePanel_ = new QLabel(toolBar);
  pagePanel_->setObjectName(QStringLiteral("PagePanel"));
  QFont f(QStringLiteral("宋体"));
  f.setPixelSize(12);
  pagePanel_->setFont(f);
  pagePanel_->setMinimumWidth(140);
  pagePanel_->setAlignment(Qt::AlignCenter);
  tools->addWidget(pagePanel_);
  tools->addStretch();

  auto* image = new QLabel(this);  // Preview_Image: empty, never shown
  image->setObjectName(QStringLiteral("Preview_Image"));
  image->hide();

  preview_ = new TPrintPreview(this);
  PreviewDocument& doc = preview_->document();
  doc.MarginLeft = doc.MarginRight = doc.MarginTop = doc.MarginBottom = 0;
  doc.setUnits(TUnits::mmLoMetric);
  doc.setPaperWidth(2100);
  doc.setPaperHeight(2970);
  doc.font().name = "Arial";
  doc.font().height = 27;
  connect(preview_, &TPrintPreview::changed, this, [this] {
    if (preview_->document().TotalPages() > 0) showPageLabel(9);
  });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(toolBar);
  layout->addWidget(preview_, 1);
  resize(900, 700);
}

QPushButton* TPrintPreviewFm::button(const char* name) const {
  for (QPushButton* b : buttons_)
    if (b->objectName() == QLatin1String(name)) return b;
  return nullptr;
}

QString TPrintPreviewFm::pageLabel() const { return pagePanel_->text(); }

void TPrintPreviewFm::showPageLabel(int key) {
  const PreviewDocument& doc = preview_->document();
  pagePanel_->setText(QString::fromStdString(PageLabel(texts_, key, doc.CurrentPage(), doc.TotalPages())));
}

void TPrintPreviewFm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  forms::GuardedHandler(services_, this, [this] {
    FormShow();
    FormActivate();
  });
}

void TPrintPreviewFm::done(int result) {
  forms::GuardedHandler(services_, this, [this] { FormClose(); });
  QDialog::done(result);
}

void TPrintPreviewFm::FormShow() { lang::TranslateForm(*this, engine_); }

LayoutResult TPrintPreviewFm::layOutPages() {
  return wave::Print_FW_Page(preview_->document(), record_, settings_, texts_);
}

void TPrintPreviewFm::Print_FW_Page() {
  const LayoutResult result = layOutPages();
  savedWidth_ = result.savedWidth;
  savedHeight_ = result.savedHeight;
  savedOrientation_ = result.savedOrientation;
  haveSavedSize_ = true;
  pagePanel_->setText(QString::fromStdString(result.pageLabel));
}

void TPrintPreviewFm::FormActivate() {
  zoomStep_ = 0;
  preview_->document().setZoomState(TZoomState::zsZoomToFit);
  bool failed = false;
  try {
    Print_FW_Page();
  } catch (const std::exception&) {
    failed = true;
    preview_->document().Clear();  // a half-recorded document would block every later layout
  }
  if (settings_.PrinterWarningPending == 1) {
    // Without a printer the pages still go to a PDF file, so the buttons stay.
    if (failed || !printer_->hasPrinter()) services_.showMessage(this, NoPrinterMessage());
    if (failed)
      for (QPushButton* b : buttons_)
        if (b->objectName() != QLatin1String("CloseToolBtn")) b->setEnabled(false);
  }
  settings_.PrinterWarningPending = 0;
}

// The paper as it was before the last layout fitted it to the printer. Its
// orientation goes back with it, so that paper and orientation agree again
// and the next layout turns the paper as the printer's page is turned.
void TPrintPreviewFm::restorePaper() {
  if (!haveSavedSize_) return;
  PreviewDocument& doc = preview_->document();
  doc.setOrientation(savedOrientation_);
  doc.setPaperWidth(savedWidth_);
  doc.setPaperHeight(savedHeight_);
}

void TPrintPreviewFm::FormClose() {
  restorePaper();
  record_.data.reset();
  preview_->document().Clear();  // the pages hold the samples too (not while a job prints them)
}

void TPrintPreviewFm::ZoomToWidthToolBtnClick() {
  preview_->document().setZoomState(TZoomState::zsZoomToWidth);
  zoomStep_ = 3;
}

void TPrintPreviewFm::ZoomToFitToolBtnClick() {
  preview_->document().setZoomState(TZoomState::zsZoomToFit);
  zoomStep_ = 0;
}

// From a page fitted to the view the steps go on from the zoom it shows, so
// that 放大 always enlarges and 缩小 always shrinks.
void TPrintPreviewFm::ZoomOutToolBtnClick() {
  if (preview_->document().ZoomState() != TZoomState::zsZoomOther)
    zoomStep_ = zoomStepAbove(preview_->ShownZoom());
  else if (zoomStep_ < kLargestZoomStep)
    ++zoomStep_;
  preview_->document().setZoom(zoomPercent(zoomStep_));
}

void TPrintPreviewFm::ZoomInToolBtnClick() {
  if (preview_->document().ZoomState() != TZoomState::zsZoomOther)
    zoomStep_ = zoomStepBelow(preview_->ShownZoom());
  else if (zoomStep_ > 0)
    --zoomStep_;
  preview_->document().setZoom(zoomPercent(zoomStep_));
}

void TPrintPreviewFm::NextPageToolBtnClick() {
  PreviewDocument& doc = preview_->document();
  if (doc.CurrentPage() < doc.TotalPages()) doc.setCurrentPage(doc.CurrentPage() + 1);
  showPageLabel(9);
}

void TPrintPreviewFm::LastPageToolBtnClick() {
  PreviewDocument& doc = preview_->document();
  if (doc.CurrentPage() > 1) doc.setCurrentPage(doc.CurrentPage() - 1);
  showPageLabel(10);
}

void TPrintPreviewFm::CloseToolBtnClick() { close(); }

void TPrintPreviewFm::PrintSetToolBtnClick() {
  PreviewDocument& doc = preview_->document();
  if (doc.state() != PreviewDocument::State::Idle) return;  // a job is printing the pages
  const QString before = printer_->printerName();
  if (!services_.setupPrinter(this, printer_->printer())) return;
  printer_->useA4FullPage();
  restorePaper();
  const std::int32_t oldWidth = settings_.PrinterPageWidth;
  const std::int32_t oldHeight = settings_.PrinterPageHeight;
  if (printer_->printerName() == before) {
    FollowPrinterOrientation(settings_.PrinterPageWidth, settings_.PrinterPageHeight, printer_->landscape());
  } else {
    const QSize page = printer_->pagePixels();
    settings_.PrinterPageWidth = page.width();
    settings_.PrinterPageHeight = page.height();
  }
  doc.setPrinterResolution(printer_->resolution());
  try {
    Print_FW_Page();
  } catch (const std::exception&) {
    // Said, and the pages stay as they were laid out for the page before.
    services_.showMessage(this, NoPrinterMessage());
    settings_.PrinterPageWidth = oldWidth;
    settings_.PrinterPageHeight = oldHeight;
    restorePaper();
    try {
      Print_FW_Page();
    } catch (const std::exception&) {
      doc.Clear();
    }
  }
}

void TPrintPreviewFm::PrintToolBtnClick() {
  if (pageSet_ == nullptr || services_.execDialog(*pageSet_) != QDialog::Accepted) return;
  PreviewDocument& doc = preview_->document();
  if (doc.state() != PreviewDocument::State::Idle) return;

  // Landscape exactly when the page is wider than tall; the paper stays as it is.
  const TPrinterOrientation wanted =
      doc.printableWidth() > doc.printableHeight() ? TPrinterOrientation::Landscape : TPrinterOrientation::Portrait;
  if (doc.Orientation() != wanted) {
    const int width = doc.PaperWidth(), height = doc.PaperHeight();
    doc.setOrientation(wanted);
    doc.setPaperWidth(width);
    doc.setPaperHeight(height);
  }

  const std::vector<PageRun> runs = PrintRuns(pageSet_->PrintMode(), pageSet_->ParseError(), settings_.PrintPageFlags,
                                              doc.CurrentPage(), doc.TotalPages());
  if (!runs.empty()) {
    const bool toFile = !printer_->hasPrinter();
    if (toFile) {
      const std::optional<QString> file = services_.pdfFileName(this);
      if (!file) return;
      printer_->printer().setOutputFileName(*file);
    }
    // Events are handled between pages: no second job and no new layout
    // while this one prints.
    std::vector<std::pair<QPushButton*, bool>> held;
    for (const char* name : {"PrintToolBtn", "PrintSetToolBtn"}) {
      QPushButton* b = button(name);
      held.emplace_back(b, b->isEnabled());
      b->setEnabled(false);
    }
    const auto release = qScopeGuard([&held] {
      for (const auto& [b, enabled] : held) b->setEnabled(enabled);
    });
    QPrinterTarget target(printer_->printer(), toFile);
    std::string failure;
    for (const PageRun& run : runs) {
      const PrintResult result = doc.PrintPages(run.from, run.to, target);
      if (!result.error.empty()) failure = result.error;
      if (result.aborted) break;
    }
    if (!target.finish() && failure.empty()) failure = "无法完成打印输出";
    if (!failure.empty()) services_.showMessage(this, PrintFailedMessage(failure));
  }
  if (!isVisible()) doc.Clear();  // closed while printing: the pages go now
  preview_->setFocus();
}

}  // namespace wave
