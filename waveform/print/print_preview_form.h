#pragma once
// TPrintPreviewFm, the print-preview window ("波形打印预览"): lays the record
// that a record window handed over out on printer pages, shows them in its
// TPrintPreview and prints all pages, the current page or page ranges chosen
// in the page-range dialog. Without a printer the pages go to a PDF file.
//
// Use from a record window's print button:
//   preview.setRecord(MakePrintedRecord(record, data, scales, settings.ChannelGroups));
//   services.execDialog(preview);

#include <QDialog>

#include <array>
#include <memory>

#include "common/lang/engine.h"
#include "waveform/model/settings.h"
#include "waveform/print/print_services.h"
#include "waveform/print/qt_print_target.h"
#include "waveform/print/record_pages.h"

class QLabel;
class QPushButton;

namespace wave {

class TPrintPageSetForm;
class TPrintPreview;

class TPrintPreviewFm : public QDialog {
  Q_OBJECT
 public:
  // FormCreate. pageSet is the program's page-range dialog (it may be given
  // later); printer is the output (the default printer, else a PDF file).
  TPrintPreviewFm(DisplaySettings& settings, PrintFormServices& services, TPrintPageSetForm* pageSet = nullptr,
                  QWidget* parent = nullptr, std::unique_ptr<PrinterAdapter> printer = nullptr,
                  const lang::MultiLangEngine& engine = lang::LangEngine());
  ~TPrintPreviewFm() override;

  void setPageSetForm(TPrintPageSetForm* pageSet) { pageSet_ = pageSet; }
  // The record to lay out at the next showing; released when the form closes.
  void setRecord(PrintedRecord record) { record_ = std::move(record); }
  const PrintedRecord& record() const { return record_; }

  void FormShow();
  void FormActivate();
  void FormClose();
  void ZoomToWidthToolBtnClick();
  void ZoomToFitToolBtnClick();
  void ZoomOutToolBtnClick();
  void ZoomInToolBtnClick();
  void NextPageToolBtnClick();
  void LastPageToolBtnClick();
  void CloseToolBtnClick();
  void PrintSetToolBtnClick();
  void PrintToolBtnClick();

  TPrintPreview& PrintPreview() const { return *preview_; }
  PrinterAdapter& printer() const { return *printer_; }
  QString pageLabel() const;
  int zoomStep() const { return zoomStep_; }
  QPushButton* button(const char* name) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
  // Lays the record out on the preview's pages (Print_FW_Page of record_pages.h).
  virtual LayoutResult layOutPages();

 private:
  void buildForm();
  void Print_FW_Page();
  void showPageLabel(int key);
  void restorePaper();

  DisplaySettings& settings_;
  PrintFormServices& services_;
  const lang::MultiLangEngine& engine_;
  TPrintPageSetForm* pageSet_;
  std::unique_ptr<PrinterAdapter> printer_;
  PrintTexts texts_;
  PrintedRecord record_;
  int zoomStep_ = 0;
  bool haveSavedSize_ = false;
  int savedWidth_ = 0;
  int savedHeight_ = 0;
  TPrinterOrientation savedOrientation_ = TPrinterOrientation::Portrait;

  TPrintPreview* preview_ = nullptr;
  QLabel* pagePanel_ = nullptr;
  std::array<QPushButton*, 9> buttons_{};
};

}  // namespace wave
