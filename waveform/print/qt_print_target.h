#pragma once
// The printer of the print preview: the system's default printer, or, when
// none is installed, a PDF file. Pages are A4 and printed full page (the
// recorded page covers the whole sheet).

#include <QPrinter>
#include <QSize>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <string_view>

#include "waveform/print/print_target.h"

class QPainter;

namespace wave {

class QPainterCanvas;

// The resolution of the PDF output: "large" page texts need more than about 508 dpi.
inline constexpr int kPdfResolution = 600;

class PrinterAdapter {
 public:
  enum class Output { DefaultPrinter, PdfFile };
  // DefaultPrinter falls back to a PDF file when no printer is installed.
  explicit PrinterAdapter(Output output = Output::DefaultPrinter);
  PrinterAdapter(const PrinterAdapter&) = delete;
  PrinterAdapter& operator=(const PrinterAdapter&) = delete;

  // A printer is installed; without one, output goes to a PDF file.
  bool hasPrinter() const { return hasPrinter_; }
  QPrinter& printer() { return printer_; }
  // What tells one printer from another (the name; "PDF" for the file).
  QString printerName() const;
  bool landscape() const;
  // The page in the printer's pixels (PrinterPageWidth, PrinterPageHeight).
  QSize pagePixels() const;
  // The printer's resolution (LOGPIXELSX, LOGPIXELSY).
  std::array<int, 2> resolution() const;
  // A4, full page: what every job prints on (after a setup dialog, too).
  void useA4FullPage();

 private:

  QPrinter printer_;
  bool hasPrinter_ = false;
};

// Print jobs on a QPrinter. With joinJobs (a PDF file) every job of one print
// command goes into the same file, one after the other; finish() closes it.
class QPrinterTarget final : public PrintTarget {
 public:
  QPrinterTarget(QPrinter& printer, bool joinJobs);
  ~QPrinterTarget() override;
  QPrinterTarget(const QPrinterTarget&) = delete;
  QPrinterTarget& operator=(const QPrinterTarget&) = delete;

  bool available() const override;
  void applyOptions(TPrinterOrientation orientation) override;
  Rect pageRect() const override;
  void beginDocument(std::string_view title) override;
  Canvas& canvas() override;
  void newPage() override;
  bool aborted() const override;
  void endDocument() override;
  void abortDocument() override;
  void processEvents() override;

  // Closes a joined document; false when the file could not be completed.
  bool finish();

 private:
  void end();

  QPrinter& printer_;
  bool joinJobs_;
  bool givenUp_ = false;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<QPainterCanvas> canvas_;
};

}  // namespace wave
