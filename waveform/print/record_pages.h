#pragma once
// The printed record: the page geometry (margins, rows, cycles per page) and
// the drawing of every page of one record, recorded into a PreviewDocument in
// its units (0.1 mm). Print_FW_Page is what the preview form runs whenever
// it lays the record out; the drawing functions work on any Canvas.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/message.h"
#include "waveform/analysis/record_data.h"
#include "recordmodel/record.h"
#include "waveform/model/settings.h"
#include "waveform/print/preview_document.h"
#include "waveform/view/wave_scales.h"

namespace wave {

inline constexpr std::string_view kPrintPreviewSection = "Strings_PrintPreviewUt";

// The dots of the pages' grid lines, in page units (0.1 mm): the screen's
// 3-pixel dot at 96 pixels an inch, so a page shown at 100 % has the
// window's dots, and preview and paper show the same dotted lines.
inline constexpr int kPrintDotLength = 8;

// What the record window hands the preview form (Print_TBtnClick).
struct PrintedRecord {
  TcfgInfo record;
  std::shared_ptr<const RecordData> data;  // SampleBuffers of the analogue channels, the digital lanes
  std::uint8_t NoNegativeSamples = 1;
  double CycleCount = 0;
  std::int32_t SamplesPerCycle = 1;  // N
  std::vector<double> ChannelPeaks;  // per analogue channel
  std::array<std::int32_t, kGroupRowCount> GroupMaxima{};
  std::array<std::array<double, kChannelsPerGroup>, kGroupRowCount> GroupRatios{};
};

// The hand-over from a record window: its record, data and scales. Scales
// that were never computed (or are due again) are computed here for the
// groups given.
PrintedRecord MakePrintedRecord(const TcfgInfo& record, std::shared_ptr<const RecordData> data,
                                const WaveScales& scales, const std::array<TChannelGroup, kGroupRowCount>& groups);

struct PrintGeometry {
  int W = 0, H = 0;          // printable width and height
  double scaleX = 1, scaleY = 1;
  bool large = false;        // Trunc(scaleX * 10) >= 20: wider cycles, larger texts
  int rows = 3;              // rows the page is divided into (at least 3)
  int L = 0, R = 0, T = 0, B = 0;
  int RH = 0;                // row height
  int cycleWidth = 224;
  int cyclesPerPage = 0;
  std::int64_t cycles = 0;   // of the record, both rates
  int totalPages = 0;
  int N = 1;                 // samples per cycle of the first rate
  int P = 1;                 // points per cycle in the buffers: (31 div N + 1) * N
  int stepX = 0;             // cycleWidth div P
  int u = 0;                 // Round(L * 0.05): arrows and ticks
  int textSize = 25;         // point sizes of the texts
  int boldSize = 30;

  // x of a buffer point `offset` points after the page's first point. With
  // more points per cycle than the cycle is wide, the points share the width.
  int pointX(std::int64_t offset) const;
  // The baseline of row r.
  int rowY(int r) const;
};

// The rows: groups with channels, plus (digital div 5) + 1 with digital
// channels chosen, at most 8.
int PrintRowCount(const std::array<TChannelGroup, kGroupRowCount>& groups, const TDigitalSelection& digital);

// Steps 3 to 7 of the layout, for a printable area W x H and the scales.
PrintGeometry ComputePrintGeometry(int W, int H, double scaleX, double scaleY, int rowCount,
                                   const RecordLayout& layout);

// Texts of the pages in the language (section Strings_PrintPreviewUt).
struct PrintTexts {
  common::LangLookup lookup = &common::BuiltInText;
  std::string text(int key, std::string_view fallback) const;
};

// Everything one page's drawing reads.
struct PageContext {
  const PrintGeometry& geo;
  const PrintedRecord& rec;
  const DisplaySettings& settings;
  const PrintTexts& texts;
  int page = 1;
  // The boxes of the texts drawn on the page so far, when kept: later texts
  // keep clear of them.
  std::vector<Rect>* placed = nullptr;
};

void Print_Page_Info(Canvas& canvas, const PageContext& ctx);
// The frame, axes, ticks and labels of analogue row r (group g, channel j of it).
void Print_Channel_Info(Canvas& canvas, const PageContext& ctx, int r, int g, int j, int ch, TColor colour);
void Print_OneChannel_Wave(Canvas& canvas, const PageContext& ctx, int r, int g, int j, int ch, TColor colour);
// The digital lanes in row r, then their axes.
void Print_All_Status(Canvas& canvas, const PageContext& ctx, int r);
void Print_Status_Info(Canvas& canvas, const PageContext& ctx, int r);
// Every analogue row and the digital row of one page, then its header and
// footer clear of their texts. Every text lies inside the page (smaller
// where it would not fit) and apart from the others.
void PrintRecordPage(Canvas& canvas, const PageContext& ctx);

struct LayoutResult {
  PrintGeometry geometry;
  // The printable size and orientation at the start of the layout: what the
  // paper returns to when the form closes.
  int savedWidth = 0, savedHeight = 0;
  TPrinterOrientation savedOrientation = TPrinterOrientation::Portrait;
  std::string pageLabel;  // "第1页  共%d页", or "第0页  共0页" without pages
};

// Print_FW_Page: fits the document's paper to the printer's page
// (settings.PrinterPageWidth / Height), computes the geometry and gives doc
// the record's pages (replacing those it had), each drawn when it is first
// needed; the first page is drawn at once. Throws while doc is printing.
LayoutResult Print_FW_Page(PreviewDocument& doc, const PrintedRecord& rec, const DisplaySettings& settings,
                           const PrintTexts& texts = {});

// The page label "第%d页  共%d页" with key (str9, str10: the same text).
std::string PageLabel(const PrintTexts& texts, int key, int page, int total);

// The one-time warning without a printer (or when the pages cannot be laid out).
common::UserMessage NoPrinterMessage();
// The message after a print job that failed on its device (not the user's abort).
common::UserMessage PrintFailedMessage(const std::string& reason);

// PrinterPageWidth / Height after the printer setup kept the same printer:
// they follow its orientation (swapped when it disagrees with their shape).
void FollowPrinterOrientation(std::int32_t& width, std::int32_t& height, bool landscape);

}  // namespace wave
