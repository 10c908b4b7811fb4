#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "common/paths.h"
#include "waveform/analysis/test_support.h"
#include "waveform/canvas/qpainter_canvas.h"
#include "waveform/print/page_set_form.h"
#include "waveform/print/page_text_check.h"
#include "waveform/print/print_preview.h"
#include "waveform/print/print_preview_form.h"
#include "waveform/print/record_pages.h"
#include "common/forms/offscreen_test_app.h"

namespace wave {
namespace {

namespace fs = std::filesystem;

const fs::path& tempRoot() {
  static const forms::qttest::TempFolder root("wave_print_ui_test");
  return root.path();
}

class PrintUi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { forms::qttest::EnsureOffscreenApp(tempRoot(), "wave_print_ui_test"); }
};

// Records what would be shown and plays the user's part in dialogs.
class FakeServices : public PrintFormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage& message, const std::vector<std::string>& = {}) override {
    messages.push_back(message);
  }
  int execDialog(QDialog& dialog) override { return onDialog ? onDialog(dialog) : QDialog::Rejected; }
  bool setupPrinter(QWidget*, QPrinter& printer) override { return onSetup && onSetup(printer); }
  std::optional<QString> pdfFileName(QWidget*) override { return pdfFile; }
  void showError(QWidget*, const QString& text) override { errors.push_back(text); }

  std::vector<common::UserMessage> messages;
  std::vector<QString> errors;
  std::function<int(QDialog&)> onDialog;
  std::function<bool(QPrinter&)> onSetup;
  std::optional<QString> pdfFile;
};

// A record of `cycles` cycles of 20 samples with one sine channel on row 0
// (3 cycles fit a page at the PDF's 600 dpi).
struct PrintFixture {
  explicit PrintFixture(int cycles) {
    TcfgInfo record = testing::MakeRecord(1, 0, 1000, 20 * cycles);
    auto data = testing::Allocate(record);
    auto b = data->samples(0);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = 50 * std::sin(static_cast<double>(i) * 6.283185307179586 / 40);
    data->NoNegativeSamples = 0;
    settings.ChannelGroups[0].Count = 1;
    settings.PrinterWarningPending = 0;
    printed = MakePrintedRecord(record, data, WaveScales{}, settings.ChannelGroups);
  }

  std::unique_ptr<TPrintPreviewFm> form() {
    auto f = std::make_unique<TPrintPreviewFm>(settings, services, &pageSet, nullptr,
                                               std::make_unique<PrinterAdapter>(PrinterAdapter::Output::PdfFile));
    f->setRecord(printed);
    return f;
  }

  DisplaySettings settings;
  FakeServices services;
  TPrintPageSetForm pageSet{settings, services};
  PrintedRecord printed;
};

int pdfPages(const fs::path& file) {
  const auto bytes = common::ReadWholeFile(file);
  if (!bytes) return -1;
  const QString text = QString::fromLatin1(bytes->data(), static_cast<qsizetype>(bytes->size()));
  return static_cast<int>(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))));
}

// --- printed texts ---

// The crowded pages measured with the fonts the pages print in: every text on
// the sheet and apart (the first page of the fullest record is kept as
// printed_page_crowded.png for a person to look at).
TEST_F(PrintUi, PrintedTextsInTheirFontsLieOnTheSheetApart) {
  struct Case {
    const char* name;
    int groups, digital, width, height;
  };
  const Case cases[] = {{"7 rows and 32 digital, portrait", 7, 32, 2480, 3508},
                        {"7 rows and 32 digital, landscape, large", 7, 32, 7016, 4961},
                        {"8 rows, landscape", 8, 0, 3508, 2480},
                        {"1 row, portrait, large", 1, 0, 4961, 7016}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::CrowdedRecord crowded = testing::MakeCrowdedRecord(c.groups, c.digital, 50);
    crowded.settings.PrinterPageWidth = c.width;
    crowded.settings.PrinterPageHeight = c.height;
    PreviewDocument doc(&PrintTextWidth);
    Print_FW_Page(doc, MakePrintedRecord(crowded.record, crowded.data, WaveScales{}, crowded.settings.ChannelGroups),
                  crowded.settings);
    const Rect sheet{0, 0, doc.printableWidth(), doc.printableHeight()};
    for (const int page : {1, doc.TotalPages()})
      for (const std::string& fault : testing::PageTextFaults(doc.page(page)->canvas.ops(), sheet, &PrintTextWidth))
        ADD_FAILURE() << "page " << page << ": " << fault;
#ifdef WAVE_PRINT_ARTEFACT_DIR
    if (&c != &cases[0]) continue;
    const PreviewPage* page = doc.page(1);
    QImage image(page->width / 2, page->height / 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      QPainterCanvas canvas(painter);
      page->canvas.replay(canvas, page->mapOnto({0, 0, image.width(), image.height()}));
    }
    image.save(QStringLiteral(WAVE_PRINT_ARTEFACT_DIR "/printed_page_crowded.png"));
#endif
  }
}

// --- page-range dialog ---

TEST_F(PrintUi, PageRangeDialogStaysOpenOnAWrongText) {
  DisplaySettings settings;
  settings.PrintPageFlags[40] = 1;
  FakeServices services;
  TPrintPageSetForm dialog(settings, services);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("页面设置"));
  dialog.show();
  EXPECT_TRUE(dialog.RadioButton1()->isChecked());
  EXPECT_FALSE(dialog.Edit1()->isEnabled());
  EXPECT_EQ(settings.PrintPageFlags[40], 0);  // cleared when it shows

  dialog.RadioButton3()->click();
  EXPECT_TRUE(dialog.Edit1()->isEnabled());
  dialog.Edit1()->setText(QStringLiteral("8-3"));
  QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0], PageRangeErrorMessage());
  EXPECT_TRUE(dialog.ParseError());

  dialog.Edit1()->setText(QStringLiteral("1,3"));
  QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.PrintMode(), kPrintPageRanges);
  EXPECT_EQ(settings.PrintPageFlags[0] + settings.PrintPageFlags[2], 2);
  EXPECT_EQ(services.messages.size(), 1u);

  dialog.show();  // every showing starts afresh
  EXPECT_TRUE(dialog.Edit1()->text().isEmpty());
  EXPECT_TRUE(dialog.RadioButton1()->isChecked());
  EXPECT_EQ(settings.PrintPageFlags[0], 0);
  dialog.RadioButton2()->click();
  QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
  EXPECT_EQ(dialog.PrintMode(), kPrintCurrentPage);
  dialog.show();
  QTest::mouseClick(dialog.BitBtn2(), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// --- preview form ---

TEST_F(PrintUi, PreviewPagesAndZoom) {
  PrintFixture f(9);
  f.settings.PrinterWarningPending = 1;
  auto form = f.form();
  EXPECT_EQ(form->windowTitle(), QStringLiteral("波形打印预览"));
  EXPECT_NEAR(f.settings.PrinterPageWidth, 4961, 5);  // A4 at 600 dpi
  EXPECT_NEAR(f.settings.PrinterPageHeight, 7016, 5);
  form->show();
  TPrintPreview& preview = form->PrintPreview();
  PreviewDocument& doc = preview.document();
  EXPECT_EQ(doc.TotalPages(), 3);
  EXPECT_EQ(form->pageLabel(), QStringLiteral("第1页  共3页"));
  EXPECT_TRUE(preview.paper()->isVisible());
  // Without a printer: told once, and the buttons stay (the pages go to a PDF file).
  ASSERT_EQ(f.services.messages.size(), 1u);
  EXPECT_EQ(f.services.messages[0], NoPrinterMessage());
  EXPECT_TRUE(form->button("PrintToolBtn")->isEnabled());
  EXPECT_EQ(f.settings.PrinterWarningPending, 0);

  QTest::mouseClick(form->button("NextPageToolBtn"), Qt::LeftButton);
  EXPECT_EQ(doc.CurrentPage(), 2);
  EXPECT_EQ(form->pageLabel(), QStringLiteral("第2页  共3页"));
  form->NextPageToolBtnClick();
  form->NextPageToolBtnClick();
  EXPECT_EQ(doc.CurrentPage(), 3);
  form->LastPageToolBtnClick();
  EXPECT_EQ(form->pageLabel(), QStringLiteral("第2页  共3页"));

  // Keys of the preview.
  QSignalSpy changes(&preview, &TPrintPreview::changed);
  QTest::keyClick(&preview, Qt::Key_PageUp);
  EXPECT_EQ(doc.CurrentPage(), 1);
  QTest::keyClick(&preview, Qt::Key_PageUp);
  EXPECT_EQ(changes.count(), 1);  // already on the first page: no change
  QTest::keyClick(&preview, Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(doc.CurrentPage(), 3);
  EXPECT_EQ(form->pageLabel(), QStringLiteral("第3页  共3页"));

  // Zoom steps stop at 20 % and 200 %.
  for (int i = 0; i < 25; ++i) form->ZoomOutToolBtnClick();
  EXPECT_EQ(form->zoomStep(), 18);
  EXPECT_EQ(doc.Zoom(), 200);
  EXPECT_EQ(doc.ZoomState(), TZoomState::zsZoomOther);
  for (int i = 0; i < 25; ++i) form->ZoomInToolBtnClick();
  EXPECT_EQ(doc.Zoom(), 20);

  form->resize(800, 600);
  form->ZoomToWidthToolBtnClick();
  EXPECT_EQ(form->zoomStep(), 3);
  EXPECT_EQ(doc.ZoomState(), TZoomState::zsZoomToWidth);
  QScrollBar* vbar = preview.verticalBar();
  EXPECT_TRUE(vbar->isVisible());
  EXPECT_FALSE(preview.horizontalBar()->isVisible());
  EXPECT_EQ(preview.paper()->x(), 6);
  QTest::keyClick(&preview, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(vbar->value(), vbar->maximum());
  EXPECT_EQ(preview.paper()->y(), 6 - vbar->maximum());
  QTest::keyClick(&preview, Qt::Key_Up);
  EXPECT_EQ(vbar->value(), vbar->maximum() - 8);
  QTest::keyClick(&preview, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(preview.paper()->y(), 6);

  // From a fitted page the first 放大 enlarges and the first 缩小 shrinks.
  for (const bool toWidth : {false, true}) {
    for (const bool enlarge : {true, false}) {
      if (toWidth)
        form->ZoomToWidthToolBtnClick();
      else
        form->ZoomToFitToolBtnClick();
      const int shown = preview.ShownZoom();
      const int paperWidth = preview.paper()->width();
      if (enlarge)
        form->ZoomOutToolBtnClick();
      else
        form->ZoomInToolBtnClick();
      if (enlarge) {
        EXPECT_GT(preview.paper()->width(), paperWidth) << "width " << toWidth << ", shown " << shown;
        EXPECT_LE(doc.Zoom(), shown + 10) << "the next step above " << shown;
      } else {
        EXPECT_LT(preview.paper()->width(), paperWidth) << "width " << toWidth << ", shown " << shown;
        EXPECT_GE(doc.Zoom(), shown - 10) << "the next step below " << shown;
      }
    }
  }

  form->ZoomToFitToolBtnClick();
  EXPECT_FALSE(vbar->isVisible());
  const QRect panel = preview.innerPanel()->rect();
  EXPECT_TRUE(panel.contains(preview.paper()->geometry())) << panel.width() << "x" << panel.height();

  // A second showing: no second warning.
  form->CloseToolBtnClick();
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->record().data);  // the window's buffers are let go
  form->setRecord(f.printed);
  form->show();
  EXPECT_EQ(f.services.messages.size(), 1u);
  EXPECT_EQ(doc.ZoomState(), TZoomState::zsZoomToFit);
  form->close();
}

TEST_F(PrintUi, PaperShowsTheCurrentPage) {
  PrintFixture f(9);
  auto form = f.form();
  form->resize(800, 900);
  form->show();
  const QImage image = form->PrintPreview().paper()->grab().toImage();
  ASSERT_FALSE(image.isNull());
  int trace = 0, ink = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      trace += c.red() > 200 && c.green() < 80 && c.blue() > 200;  // colour 1, magenta
      ink += c.lightness() < 100;
    }
  EXPECT_GT(trace, 20);
  EXPECT_GT(ink, 100);
#ifdef WAVE_PRINT_ARTEFACT_DIR
  // The first page at half a pixel per tenth of a millimetre, for a person to look at.
  const PreviewPage* page = form->PrintPreview().document().page(1);
  ASSERT_NE(page, nullptr);
  QImage sheet(page->width / 2, page->height / 2, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  {
    QPainter painter(&sheet);
    QPainterCanvas canvas(painter);
    page->canvas.replay(canvas, page->mapOnto({0, 0, sheet.width(), sheet.height()}));
  }
  sheet.save(QStringLiteral(WAVE_PRINT_ARTEFACT_DIR "/printed_page.png"));
#endif
  form->close();
}

TEST_F(PrintUi, PrintsChosenRangesIntoOnePdf) {
  struct Case {
    const char* name;
    int choice;  // 0 all, 1 current, 2 ranges
    const char* text;
    int pages;
  };
  const Case cases[] = {
      {"ranges", 2, "1,3,5-12", 8},  // 1, 3 and 5..10 of 10 pages
      {"all", 0, "", 10},
      {"current", 1, "", 1},
      {"wrong text", 2, "12-5", -1},
  };
  for (const Case& c : cases) {
    PrintFixture f(30);
    const fs::path file = tempRoot() / (std::string(c.name) + ".pdf");
    fs::remove(file);
    f.services.pdfFile = QString::fromStdString(file.string());
    f.services.onDialog = [&](QDialog& dialog) {
      auto& pageSet = dynamic_cast<TPrintPageSetForm&>(dialog);
      pageSet.show();
      QRadioButton* radios[] = {pageSet.RadioButton1(), pageSet.RadioButton2(), pageSet.RadioButton3()};
      radios[c.choice]->click();
      pageSet.Edit1()->setText(QString::fromUtf8(c.text));
      pageSet.BitBtn1Click();
      // A wrong text keeps the dialog open; the user then cancels.
      if (pageSet.isVisible()) pageSet.reject();
      return pageSet.result();
    };
    auto form = f.form();
    form->show();
    ASSERT_EQ(form->PrintPreview().document().TotalPages(), 10) << c.name;
    form->PrintToolBtnClick();
    EXPECT_EQ(pdfPages(file), c.pages) << c.name;
    EXPECT_TRUE(f.services.errors.empty()) << c.name;
    form->close();
  }
}

TEST_F(PrintUi, APdfThatCannotBeWrittenIsReported) {
  PrintFixture f(9);
  f.services.pdfFile = QString::fromStdString((tempRoot() / "no such folder" / "x.pdf").string());
  f.services.onDialog = [](QDialog& dialog) {
    auto& pageSet = dynamic_cast<TPrintPageSetForm&>(dialog);
    pageSet.show();
    pageSet.BitBtn1Click();
    return pageSet.result();
  };
  auto form = f.form();
  form->show();
  form->PrintToolBtnClick();
  ASSERT_EQ(f.services.messages.size(), 1u);
  EXPECT_EQ(f.services.messages[0].textKeys(), std::vector<std::string>{"str14"});
  EXPECT_EQ(form->PrintPreview().document().state(), PreviewDocument::State::Idle);
  form->close();
}

TEST_F(PrintUi, CancelledDialogsPrintNothing) {
  PrintFixture f(9);
  const fs::path file = tempRoot() / "cancelled.pdf";
  fs::remove(file);
  f.services.pdfFile = QString::fromStdString(file.string());
  auto form = f.form();
  form->show();
  form->PrintToolBtnClick();  // the page-range dialog is rejected
  f.services.onDialog = [](QDialog& dialog) {
    auto& pageSet = dynamic_cast<TPrintPageSetForm&>(dialog);
    pageSet.show();
    pageSet.BitBtn1Click();
    return pageSet.result();
  };
  f.services.pdfFile.reset();  // the file dialog is cancelled
  form->PrintToolBtnClick();
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(f.services.messages.empty());
  form->close();
}

TEST_F(PrintUi, PrinterSetupInLandscapeLaysOutAgain) {
  PrintFixture f(30);
  auto form = f.form();
  form->show();
  PreviewDocument& doc = form->PrintPreview().document();
  EXPECT_EQ(doc.TotalPages(), 10);
  form->PrintSetToolBtnClick();  // cancelled: nothing changes
  EXPECT_EQ(doc.PaperWidth(), 2100);

  f.services.onSetup = [](QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Landscape);
    return true;
  };
  form->PrintSetToolBtnClick();
  EXPECT_NEAR(f.settings.PrinterPageWidth, 7016, 5);
  EXPECT_NEAR(f.settings.PrinterPageHeight, 4961, 5);
  EXPECT_EQ(doc.Orientation(), TPrinterOrientation::Landscape);
  EXPECT_EQ(doc.PaperWidth(), 2970);
  EXPECT_EQ(doc.TotalPages(), 6);  // 5 cycles of 448 on a landscape page
  EXPECT_EQ(form->pageLabel(), QStringLiteral("第1页  共6页"));

  const fs::path file = tempRoot() / "landscape.pdf";
  fs::remove(file);
  f.services.pdfFile = QString::fromStdString(file.string());
  f.services.onDialog = [](QDialog& dialog) {
    auto& pageSet = dynamic_cast<TPrintPageSetForm&>(dialog);
    pageSet.show();
    pageSet.BitBtn1Click();
    return pageSet.result();
  };
  form->PrintToolBtnClick();
  EXPECT_EQ(pdfPages(file), 6);
  const std::string pdf = common::ReadWholeFile(file).value_or("");
  EXPECT_NE(pdf.find("/MediaBox [0 0 842"), std::string::npos);  // A4 across
  form->close();
  EXPECT_EQ(doc.PaperWidth(), 2100);  // as before the layout
  EXPECT_EQ(doc.Orientation(), TPrinterOrientation::Portrait);

  // Shown again, the pages follow the printer's turned page once more.
  form->setRecord(f.printed);
  form->show();
  EXPECT_EQ(doc.Orientation(), TPrinterOrientation::Landscape);
  EXPECT_EQ(doc.TotalPages(), 6);
  form->close();
}

// Pressing 设置 or 打印 while the pages print (events are handled between
// pages) starts nothing: both buttons are disabled until the job is done.
TEST_F(PrintUi, NoPrinterSetupOrSecondJobWhilePrinting) {
  PrintFixture f(30);
  const fs::path file = tempRoot() / "while_printing.pdf";
  fs::remove(file);
  f.services.pdfFile = QString::fromStdString(file.string());
  int jobs = 0;
  f.services.onDialog = [&](QDialog& dialog) {
    ++jobs;
    auto& pageSet = dynamic_cast<TPrintPageSetForm&>(dialog);
    pageSet.show();
    pageSet.BitBtn1Click();
    return pageSet.result();
  };
  int setups = 0;
  f.services.onSetup = [&](QPrinter&) {
    ++setups;
    return true;
  };
  auto form = f.form();
  form->show();
  QPushButton* print = form->button("PrintToolBtn");
  QPushButton* setup = form->button("PrintSetToolBtn");
  bool enabledWhilePrinting = true;
  int pagesWhilePrinting = 0;
  QTimer::singleShot(0, form.get(), [&] {
    enabledWhilePrinting = print->isEnabled() || setup->isEnabled();
    QTest::mouseClick(setup, Qt::LeftButton);
    QTest::mouseClick(print, Qt::LeftButton);
    form->PrintSetToolBtnClick();  // also when called otherwise
    pagesWhilePrinting = form->PrintPreview().document().TotalPages();
  });
  form->PrintToolBtnClick();
  EXPECT_FALSE(enabledWhilePrinting);
  EXPECT_EQ(setups, 0);
  EXPECT_EQ(jobs, 1);
  EXPECT_EQ(pagesWhilePrinting, 10);
  EXPECT_EQ(pdfPages(file), 10);
  EXPECT_TRUE(f.services.messages.empty());
  EXPECT_TRUE(print->isEnabled());
  EXPECT_TRUE(setup->isEnabled());
  form->PrintSetToolBtnClick();  // and afterwards as before
  EXPECT_EQ(setups, 1);
  form->close();
}

// A preview form whose next layouts fail.
class FailingLayoutForm : public TPrintPreviewFm {
 public:
  using TPrintPreviewFm::TPrintPreviewFm;
  int failures = 0;

 protected:
  LayoutResult layOutPages() override {
    if (failures > 0) {
      --failures;
      throw std::runtime_error("no page");
    }
    return TPrintPreviewFm::layOutPages();
  }
};

TEST_F(PrintUi, ALayoutThatFailsAfterPrinterSetupIsReported) {
  PrintFixture f(30);
  FailingLayoutForm form(f.settings, f.services, &f.pageSet, nullptr,
                         std::make_unique<PrinterAdapter>(PrinterAdapter::Output::PdfFile));
  form.setRecord(f.printed);
  form.show();
  PreviewDocument& doc = form.PrintPreview().document();
  ASSERT_EQ(doc.TotalPages(), 10);
  const std::int32_t width = f.settings.PrinterPageWidth;
  f.services.onSetup = [](QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Landscape);
    return true;
  };
  form.failures = 1;
  form.PrintSetToolBtnClick();
  ASSERT_EQ(f.services.messages.size(), 1u);
  EXPECT_EQ(f.services.messages[0], NoPrinterMessage());
  // The pages as they were, not an empty preview.
  EXPECT_EQ(doc.TotalPages(), 10);
  EXPECT_EQ(f.settings.PrinterPageWidth, width);
  EXPECT_EQ(doc.PaperWidth(), 2100);
  EXPECT_EQ(form.pageLabel(), QStringLiteral("第1页  共10页"));
  EXPECT_TRUE(form.PrintPreview().paper()->isVisible());

  form.failures = 2;  // nor can the pages before be laid out again: nothing is left to show
  form.PrintSetToolBtnClick();
  EXPECT_EQ(f.services.messages.size(), 2u);
  EXPECT_EQ(doc.TotalPages(), 0);
  form.close();
}

TEST_F(PrintUi, NoRecordNoPages) {
  DisplaySettings settings;
  settings.PrinterWarningPending = 0;
  FakeServices services;
  TPrintPreviewFm form(settings, services, nullptr, nullptr,
                       std::make_unique<PrinterAdapter>(PrinterAdapter::Output::PdfFile));
  form.show();
  EXPECT_EQ(form.PrintPreview().document().TotalPages(), 0);
  EXPECT_EQ(form.pageLabel(), QStringLiteral("第0页  共0页"));
  EXPECT_FALSE(form.PrintPreview().paper()->isVisible());
  form.PrintToolBtnClick();  // no page-range dialog: nothing
  form.close();
}

}  // namespace
}  // namespace wave
