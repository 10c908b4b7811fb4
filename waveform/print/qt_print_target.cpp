#include "waveform/print/qt_print_target.h"

#include <QCoreApplication>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinterInfo>

#include <stdexcept>

#include "waveform/canvas/qpainter_canvas.h"
#include "common/forms/form_services.h"

namespace wave {

namespace {

bool isPdf(const QPrinter& printer) { return printer.outputFormat() == QPrinter::PdfFormat; }

}  // namespace

PrinterAdapter::PrinterAdapter(Output output) : printer_(QPrinter::HighResolution) {
  const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
  hasPrinter_ = output == Output::DefaultPrinter && !QPrinterInfo::availablePrinters().isEmpty();
  if (hasPrinter_ && !defaultPrinter.isNull()) printer_.setPrinterName(defaultPrinter.printerName());
  if (!hasPrinter_) {
    printer_.setOutputFormat(QPrinter::PdfFormat);
    printer_.setResolution(kPdfResolution);
  }
  useA4FullPage();
}

void PrinterAdapter::useA4FullPage() {
  printer_.setFullPage(true);
  printer_.setPageSize(QPageSize(QPageSize::A4));
}

QString PrinterAdapter::printerName() const {
  return isPdf(printer_) ? QStringLiteral("PDF") : printer_.printerName();
}

bool PrinterAdapter::landscape() const { return printer_.pageLayout().orientation() == QPageLayout::Landscape; }

QSize PrinterAdapter::pagePixels() const { return printer_.pageRect(QPrinter::DevicePixel).toRect().size(); }

std::array<int, 2> PrinterAdapter::resolution() const {
  return {printer_.logicalDpiX(), printer_.logicalDpiY()};
}

QPrinterTarget::QPrinterTarget(QPrinter& printer, bool joinJobs) : printer_(printer), joinJobs_(joinJobs) {}

QPrinterTarget::~QPrinterTarget() { end(); }

bool QPrinterTarget::available() const { return printer_.isValid() && !givenUp_; }

void QPrinterTarget::applyOptions(TPrinterOrientation orientation) {
  if (painter_) return;  // a joined document keeps the layout of its first job
  printer_.setFullPage(true);
  printer_.setPageSize(QPageSize(QPageSize::A4));
  printer_.setPageOrientation(orientation == TPrinterOrientation::Landscape ? QPageLayout::Landscape
                                                                            : QPageLayout::Portrait);
}

Rect QPrinterTarget::pageRect() const {
  const QRect page = printer_.pageRect(QPrinter::DevicePixel).toRect();
  return {0, 0, page.width(), page.height()};
}

void QPrinterTarget::beginDocument(std::string_view title) {
  if (givenUp_) throw std::runtime_error("打印作业已取消");
  if (painter_) {  // the next job of a joined document
    newPage();
    return;
  }
  printer_.setDocName(forms::Utf8(title));
  painter_ = std::make_unique<QPainter>();
  if (!painter_->begin(&printer_)) {
    painter_.reset();
    const QString what = isPdf(printer_) ? QStringLiteral("无法写入文件%1").arg(printer_.outputFileName())
                                         : QStringLiteral("无法启动打印机%1").arg(printer_.printerName());
    throw std::runtime_error(what.toStdString());
  }
  canvas_ = std::make_unique<QPainterCanvas>(*painter_);
}

Canvas& QPrinterTarget::canvas() {
  if (!canvas_) throw std::logic_error("No print job is open");
  return *canvas_;
}

void QPrinterTarget::newPage() {
  if (!printer_.newPage()) throw std::runtime_error("打印机无法换页");
}

bool QPrinterTarget::aborted() const { return printer_.printerState() == QPrinter::Aborted; }

void QPrinterTarget::endDocument() {
  if (!joinJobs_) end();
}

void QPrinterTarget::abortDocument() {
  givenUp_ = true;
  if (!isPdf(printer_)) printer_.abort();
  end();
  // Half a file is no use to anyone.
  if (isPdf(printer_)) QFile::remove(printer_.outputFileName());
}

void QPrinterTarget::processEvents() { QCoreApplication::processEvents(); }

void QPrinterTarget::end() {
  canvas_.reset();
  if (painter_ && painter_->isActive()) painter_->end();
  painter_.reset();
}

bool QPrinterTarget::finish() {
  const bool open = painter_ != nullptr;
  end();
  return !open || givenUp_ || printer_.printerState() != QPrinter::Error;
}

}  // namespace wave
