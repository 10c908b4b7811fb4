// The record window's print button (the preview of its record) and its export
// button (the save dialog and the file it names).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QDialog>
#include <QPrinter>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <future>
#include <thread>

#include "common/forms/wait_window.h"
#include "common/gbk.h"
#include "common/test_job_runner.h"
#include "common/paths.h"
#include "waveform/export/sample_export.h"
#include "waveform/print/page_set_form.h"
#include "waveform/print/print_preview.h"
#include "waveform/print/print_preview_form.h"
#include "waveform/ui/fault_wave_form_fixture.h"

namespace wave {
namespace {

namespace fs = std::filesystem;

using uitest::FaultWaveFormTest;
using uitest::smallSpec;

// The preview's own dialogs and boxes: recorded, never shown.
class QuietPrintServices : public PrintFormServices {
 public:
  void showMessage(QWidget*, const common::UserMessage& message, const std::vector<std::string>& = {}) override {
    messages.push_back(message);
  }
  int execDialog(QDialog&) override { return QDialog::Rejected; }
  bool setupPrinter(QWidget*, QPrinter&) override { return false; }
  std::optional<QString> pdfFileName(QWidget*) override { return std::nullopt; }
  void showError(QWidget*, const QString& text) override { errors.push_back(text); }

  std::vector<common::UserMessage> messages;
  std::vector<QString> errors;
};

// A record window that prints through a preview writing PDF files.
class RecordWindowPrintTest : public FaultWaveFormTest {
 protected:
  RecordWindowPrintTest()
      : pageSet(settings, printServices),
        preview(settings, printServices, &pageSet, nullptr,
                std::make_unique<PrinterAdapter>(PrinterAdapter::Output::PdfFile)) {
    settings.PrinterWarningPending = 0;
  }

  TFaultWaveForm* openPrinting(const std::string& name) {
    RecordWindowSetup setup = setupFor(written(smallSpec(), name));
    setup.printPreview = &preview;
    return open(setup);
  }

  static std::vector<std::string> pageTexts(const PreviewPage& page) {
    std::vector<std::string> texts;
    for (const CanvasOp& op : page.canvas.opsOf(OpKind::Text)) texts.push_back(op.text);
    return texts;
  }

  QuietPrintServices printServices;
  TPrintPageSetForm pageSet;
  TPrintPreviewFm preview;
};

TEST_F(RecordWindowPrintTest, PrintButtonShowsThePreviewWithTheRecordsPages) {
  chooseChannels({{0, 1}, {2}}, {0});
  TFaultWaveForm* w = openPrinting("printed");
  ASSERT_NE(w, nullptr);
  const std::array<TChannelGroup, kGroupRowCount> windowGroups = w->windowOptions().WindowGroups;
  chooseChannels({{2}});  // another window's options in the globals

  int shown = 0;
  services.onDialog = [&](QDialog& dialog) {
    ++shown;
    EXPECT_EQ(&dialog, &preview);
    dialog.show();  // lays the pages out
    settle();
    EXPECT_EQ(preview.record().data, w->data());
    EXPECT_EQ(preview.record().record.CfgPath, w->WindowRecord().CfgPath);
    EXPECT_EQ(settings.ChannelGroups, windowGroups);  // the preview reads this window's groups
    EXPECT_EQ(settings.DigitalSelection.Count, 1);
    // Ten cycles of 20 samples, three cycles to a page of the 600 dpi PDF.
    const PreviewDocument& doc = preview.PrintPreview().document();
    EXPECT_EQ(doc.TotalPages(), 4);
    EXPECT_EQ(preview.pageLabel(), QStringLiteral("第1页  共4页"));
    const PreviewPage* first = doc.page(1);
    if (first) {
      const auto texts = pageTexts(*first);
      for (const std::string& expected : {std::string("Station A  rec 7 波形图"), w->WindowRecord().AInfo[0].ch_id,
                                          w->WindowRecord().AInfo[2].ch_id, w->WindowRecord().DInfo[0].ch_id})
        EXPECT_THAT(texts, ::testing::Contains(expected));
    } else {
      ADD_FAILURE() << "no first page";
    }
    dialog.done(QDialog::Rejected);
    return QDialog::Rejected;
  };
  w->action("Print_TBtn")->trigger();
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(preview.record().data, nullptr);  // the preview let go of the samples when it closed
  EXPECT_TRUE(services.errors.empty());
  EXPECT_TRUE(printServices.errors.empty());
}

TEST_F(FaultWaveFormTest, PrintButtonWithoutAPreviewDoesNothing) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "nopreview")));
  ASSERT_NE(w, nullptr);
  int shown = 0;
  services.onDialog = [&](QDialog&) { return ++shown, QDialog::Rejected; };
  w->action("Print_TBtn")->trigger();
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(services.errors.empty());
}

// --- export ---

std::string fileBytes(const fs::path& path) { return common::ReadWholeFile(path).value_or("<missing>"); }

// The file the export of a view writes, written straight by the export.
std::string exportedBytes(const RecordData& data, ViewMode mode) {
  const fs::path file = uitest::FreshFolder("export-reference") / "reference.xls";
  EXPECT_TRUE(ExportSamples(data, mode, file).written);
  return fileBytes(file);
}

std::vector<std::string> linesOf(const std::string& utf8) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = utf8.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(utf8.substr(start, end - start));
  return lines;
}

TEST_F(FaultWaveFormTest, ExportWritesTheTableOfTheViewToTheChosenFile) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "exported")));
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(w->NoNegativeSamples(), 0);
  const fs::path out = uitest::FreshFolder("export");
  struct Case {
    const char* view;   // the view button pressed first
    const char* chosen; // what the save dialog answers
    const char* file;   // what is written
    ViewMode mode;
  };
  const Case cases[] = {
      {"Wave_TBtn", "waves.xls", "waves.xls", ViewMode::Waves},
      {"RMS_HD_TBtn", "rms.xls", "rms.xls", ViewMode::Rms},
      {"Wave_TBtn", "plain", "plain.xls", ViewMode::Waves},  // the default extension is added
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chosen);
    services.messages.clear();
    services.saveRequests.clear();
    w->action(c.view)->trigger();
    ASSERT_EQ(w->viewMode(), c.mode);
    services.saveFile = QString::fromStdString((out / c.chosen).string());
    w->action("btnExportData")->trigger();

    ASSERT_EQ(services.saveRequests.size(), 1u);
    EXPECT_EQ(services.saveRequests[0].nameFilters, QStringList{QStringLiteral("EXCEL表格文件 (*.xls)")});
    EXPECT_EQ(services.saveRequests[0].defaultSuffix, QStringLiteral("xls"));
    const std::string bytes = fileBytes(out / c.file);
    EXPECT_EQ(bytes, exportedBytes(*w->data(), c.mode));
    // Ten cycles of 20 samples: the header and 200 rows of number, cycles, time and three channels.
    const auto lines = linesOf(common::GbkToUtf8(bytes));
    ASSERT_EQ(lines.size(), 201u);
    EXPECT_EQ(lines[0], "序列\t周波\t时间\t" + w->WindowRecord().AInfo[0].ch_id + "\t" +
                            w->WindowRecord().AInfo[1].ch_id + "\t" + w->WindowRecord().AInfo[2].ch_id);
    EXPECT_EQ(lines[1].substr(0, 8), "1\t0.000\t");
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0].text, QStringLiteral("导出成功!"));
  }
  // The two views' files differ in their values, not in their first columns.
  EXPECT_NE(fileBytes(out / "waves.xls"), fileBytes(out / "rms.xls"));
}

TEST_F(FaultWaveFormTest, ExportThatCannotBeWrittenSaysSo) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "unwritable")));
  ASSERT_NE(w, nullptr);
  const fs::path target = uitest::FreshFolder("export-missing") / "no such folder" / "x.xls";
  services.saveFile = QString::fromStdString(target.string());
  w->action("btnExportData")->trigger();
  EXPECT_FALSE(fs::exists(target));
  ASSERT_EQ(services.messages.size(), 1u);  // no success note
  EXPECT_EQ(services.messages[0].text,
            QString::fromStdString("无法写入文件“" + target.string() + "”，请检查磁盘空间和文件夹权限！"));
  EXPECT_EQ(services.messages[0].message.textKeys(), (std::vector<std::string>{"str57", "str58"}));
  EXPECT_TRUE(services.errors.empty());
}

forms::TWaitForm* shownWaitForm() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* form = qobject_cast<forms::TWaitForm*>(widget); form && form->isVisible()) return form;
  return nullptr;
}

// The file is written on a worker while the wait window counts the rows; the
// success note comes when it is done. Cancel keeps the old file and says nothing.
TEST_F(FaultWaveFormTest, ExportRunsBehindTheWaitWindow) {
  common::testing::HeldJobRunner runner;
  services.runner = &runner;
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "background")));
  ASSERT_NE(w, nullptr);
  w->show();
  const fs::path file = uitest::FreshFolder("export-background") / "data.xls";
  { std::ofstream(file) << "old"; }
  services.saveFile = QString::fromStdString(file.string());

  w->action("btnExportData")->trigger();
  ASSERT_EQ(runner.jobs.size(), 1u);
  forms::TWaitForm* wait = shownWaitForm();
  ASSERT_NE(wait, nullptr);
  runner.jobs.front().work();
  wait->refresh();
  EXPECT_EQ(wait->textLabel()->text(), QStringLiteral("正在导出数据：200 / 200 行"));
  EXPECT_TRUE(services.messages.empty()) << "nothing before the end";
  runner.jobs.front().finished();
  runner.jobs.clear();
  EXPECT_EQ(shownWaitForm(), nullptr);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0].text, QStringLiteral("导出成功!"));
  EXPECT_EQ(fileBytes(file), exportedBytes(*w->data(), ViewMode::Waves));

  services.messages.clear();
  { std::ofstream(file) << "old"; }
  w->action("btnExportData")->trigger();
  ASSERT_NE(shownWaitForm(), nullptr);
  shownWaitForm()->cancelButton()->click();
  runner.runAll();
  EXPECT_EQ(fileBytes(file), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
  EXPECT_TRUE(services.messages.empty());
  EXPECT_TRUE(services.errors.empty());
}

// The program's file writer, held in its commit step or in its first write of
// rows until the test lets it go.
class HeldExportFile {
 public:
  enum class Step { Writing, Committing };
  explicit HeldExportFile(Step step) : step_(step) {}

  ExportFileOpener opener() {
    return [this](const fs::path& fileName) -> std::unique_ptr<ExportFileWriter> {
      std::unique_ptr<ExportFileWriter> file = OpenExportFile(fileName);
      if (!file) return nullptr;
      return std::make_unique<Writer>(*this, std::move(file));
    };
  }
  // Waits (at most 30 s) until the writer is held.
  bool waitUntilHeld() { return reached_.get_future().wait_for(std::chrono::seconds(30)) == std::future_status::ready; }
  void release() { release_.set_value(); }

 private:
  struct Writer final : ExportFileWriter {
    Writer(HeldExportFile& h, std::unique_ptr<ExportFileWriter> f) : held(h), file(std::move(f)) {}
    bool write(std::string_view bytes) override {
      if (held.step_ == Step::Writing && ++writes == 2) held.hold();  // the first write after the header
      return file->write(bytes);
    }
    bool commit() override {
      if (held.step_ == Step::Committing) held.hold();
      return file->commit();
    }
    HeldExportFile& held;
    std::unique_ptr<ExportFileWriter> file;
    int writes = 0;
  };
  void hold() {
    reached_.set_value();
    released_.wait();
  }

  Step step_;
  std::promise<void> reached_, release_;
  std::shared_future<void> released_ = release_.get_future().share();
};

// Cancel has one owner: pressed while the rows are written, it wins and the old
// file stays; pressed while the new file is put in place, it comes too late,
// and the window says the file was written. Either way the wait window stays
// until the job has ended.
TEST_F(FaultWaveFormTest, ExportCancelEitherWinsOrTheWindowSaysTheFileWasWritten) {
  common::testing::HeldJobRunner runner;
  services.runner = &runner;
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "cancel-order")));
  ASSERT_NE(w, nullptr);
  w->show();
  struct Case {
    const char* name;
    HeldExportFile::Step step;
    bool written;
  };
  for (const Case c : {Case{"while writing", HeldExportFile::Step::Writing, false},
                       Case{"while committing", HeldExportFile::Step::Committing, true}}) {
    SCOPED_TRACE(c.name);
    services.messages.clear();
    const fs::path exportFolder = uitest::FreshFolder(std::string("export-cancel-") + (c.written ? "late" : "early"));
    const fs::path file = exportFolder / "data.xls";
    { std::ofstream(file) << "old"; }
    services.saveFile = QString::fromStdString(file.string());
    HeldExportFile held(c.step);
    w->setExportFileOpener(held.opener());
    w->action("btnExportData")->trigger();
    ASSERT_EQ(runner.jobs.size(), 1u);
    const common::testing::HeldJobRunner::Job job = runner.jobs.front();
    runner.jobs.clear();

    std::thread worker(job.work);
    const bool held_ = held.waitUntilHeld();
    forms::TWaitForm* wait = shownWaitForm();
    if (wait != nullptr) wait->cancelButton()->click();
    held.release();
    worker.join();
    ASSERT_TRUE(held_);
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(shownWaitForm(), wait) << "the wait window stays until the job has ended";
    EXPECT_FALSE(wait->cancelButton()->isEnabled());
    EXPECT_TRUE(services.messages.empty());

    job.finished();
    EXPECT_EQ(shownWaitForm(), nullptr);
    if (c.written) {
      EXPECT_EQ(fileBytes(file), exportedBytes(*w->data(), ViewMode::Waves));
      ASSERT_EQ(services.messages.size(), 1u);
      EXPECT_EQ(services.messages[0].text, QStringLiteral("导出成功!"));
    } else {
      EXPECT_EQ(fileBytes(file), "old");
      EXPECT_TRUE(services.messages.empty());
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
    EXPECT_TRUE(services.errors.empty());
  }
}

TEST_F(FaultWaveFormTest, CancelledExportWritesAndShowsNothing) {
  chooseChannels({{0}});
  TFaultWaveForm* w = open(setupFor(written(smallSpec(), "cancelled")));
  ASSERT_NE(w, nullptr);
  const auto before = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
  services.saveFile = std::nullopt;
  w->action("btnExportData")->trigger();
  services.saveFile = QString();  // a dialog that closed without a name
  w->action("btnExportData")->trigger();
  EXPECT_EQ(services.saveRequests.size(), 2u);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), before);
  EXPECT_FALSE(fs::exists(".xls"));
  EXPECT_TRUE(services.messages.empty());  // neither a success note nor a failure
  EXPECT_TRUE(services.errors.empty());
}

}  // namespace
}  // namespace wave
