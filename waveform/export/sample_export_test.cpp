#include "waveform/export/sample_export.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "common/arith.h"
#include "common/datetime.h"
#include "common/gbk.h"
#include "common/paths.h"
#include "common/strings.h"
#include "waveform/view/value_text.h"
#include "stationdb/records/records.h"
#include "tools/recordgen/record_writer.h"
#include "waveform/analysis/open_record.h"
#include "waveform/analysis/parallel.h"
#include "waveform/analysis/test_support.h"

namespace wave {
namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "wave_export_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::vector<std::string> cellsOf(std::string_view line) {
  std::vector<std::string> cells(1);
  for (char c : line) {
    if (c == '\t')
      cells.emplace_back();
    else
      cells.back() += c;
  }
  return cells;
}

std::string readBytes(const fs::path& path) { return common::ReadWholeFile(path).value_or("<missing>"); }

std::size_t entriesIn(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// A file writer in memory, with hooks for each write and for the commit.
struct MemoryFile {
  std::string bytes;
  bool committed = false;
  std::function<bool(std::size_t writtenSoFar)> beforeWrite;  // false: the write fails
  std::function<bool()> beforeCommit;                          // false: the commit fails

  ExportFileOpener opener() {
    struct Writer final : ExportFileWriter {
      explicit Writer(MemoryFile& f) : file(f) {}
      bool write(std::string_view piece) override {
        if (file.beforeWrite && !file.beforeWrite(file.bytes.size())) return false;
        file.bytes += piece;
        return true;
      }
      bool commit() override {
        if (file.beforeCommit && !file.beforeCommit()) return false;
        file.committed = true;
        return true;
      }
      MemoryFile& file;
    };
    return [this](const fs::path&) { return std::make_unique<Writer>(*this); };
  }
};

// The lines of an export (GBK) as UTF-8 cells.
std::vector<std::vector<std::string>> rowsOf(const std::string& gbk) {
  std::vector<std::vector<std::string>> rows;
  const std::string text = common::GbkToUtf8(gbk);
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    rows.push_back(cellsOf(std::string_view(text).substr(start, end - start)));
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return rows;
}

// What the export of a view writes, from a writer in memory.
std::string exported(const RecordData& data, ViewMode mode, const common::LangLookup& lookup = &common::BuiltInText) {
  MemoryFile file;
  const ExportOutcome outcome = ExportSamples(data, mode, "memory.xls", lookup, nullptr, file.opener());
  EXPECT_TRUE(outcome.written);
  EXPECT_TRUE(file.committed);
  return file.bytes;
}

// Two channels, 20 samples per cycle, four samples; the second name is Chinese.
std::shared_ptr<RecordData> smallRecord() {
  TcfgInfo record = testing::MakeRecord(2, 1, 1000, 4);
  record.AInfo[0].ch_id = "Ua";
  record.AInfo[1].ch_id = "电流";
  record.StartTime = common::EncodeDateTime({2024, 3, 5, 10, 20, 30, 123}).value();
  auto data = testing::Allocate(record);
  const double a[] = {1.5, -0.25, 0.0625, 1000};
  const double b[] = {-2.25, 3, -0.0004, 12.3456};
  for (std::size_t k = 0; k < 4; ++k) {
    data->samples(0)[k * 2] = a[k];
    data->samples(1)[k * 2] = b[k];
    data->samples(0)[k * 2 + 1] = 99;  // interpolated points never reach the file
    data->rms(0)[k] = 10.0 + static_cast<double>(k);
    data->rms(1)[k] = 20.0 + static_cast<double>(k);
  }
  return data;
}

TEST(SampleExport, WaveViewFileByteForByte) {
  const auto data = smallRecord();
  TempFolder folder;
  const fs::path file = folder.path() / "wave.xls";
  const ExportOutcome outcome = ExportSamples(*data, ViewMode::Waves, file);
  ASSERT_TRUE(outcome.written);
  ASSERT_TRUE(outcome.message);
  EXPECT_EQ(outcome.message->textKeys(), std::vector<std::string>{"str44"});
  EXPECT_EQ(outcome.message->text[0].defaultText, "导出成功!");

  const std::string expected = common::Utf8ToGbk(
      "序列\t周波\t时间\tUa\t电流\r\n"
      "1\t0.000\t2024年03月05日 10:20:30.123\t1.500\t-2.250\r\n"
      "2\t0.050\t2024年03月05日 10:20:30.124\t-0.250\t3.000\r\n"
      "3\t0.100\t2024年03月05日 10:20:30.125\t0.063\t0.000\r\n"
      "4\t0.150\t2024年03月05日 10:20:30.126\t1000.000\t12.346\r\n");
  EXPECT_EQ(readBytes(file), expected);
  EXPECT_NE(expected.find("\xb5\xe7\xc1\xf7"), std::string::npos);  // "电流" in GBK
}

TEST(SampleExport, RmsViewHoldsTheRmsCurveBesideTheSameFirstColumns) {
  const auto data = smallRecord();
  const auto wave = rowsOf(exported(*data, ViewMode::Waves));
  const auto rms = rowsOf(exported(*data, ViewMode::Rms));
  ASSERT_EQ(rms.size(), 5u);
  for (std::size_t r = 0; r < rms.size(); ++r) {
    ASSERT_EQ(rms[r].size(), 5u);
    for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(rms[r][c], wave[r][c]) << r << "," << c;
  }
  EXPECT_EQ(rms[1][3], "10.000");
  EXPECT_EQ(rms[4][4], "23.000");
}

TEST(SampleExport, HeadersAndTimePatternComeFromTheLanguage) {
  const auto data = smallRecord();
  const common::LangLookup lookup = [](std::string_view section, std::string_view key, std::string_view fallback) {
    EXPECT_EQ(section, kFaultWaveSection);
    if (key == "str39") return std::string("No");
    if (key == "str42") return std::string("hh:nn:ss.zzz");
    return std::string(fallback);
  };
  const auto table = rowsOf(exported(*data, ViewMode::Waves, lookup));
  EXPECT_EQ(table[0][0], "No");
  EXPECT_EQ(table[0][1], "周波");
  EXPECT_EQ(table[2][2], "10:20:30.124");
}

TEST(SampleExport, GeneratedRecordOfAThousandSamples) {
  recordgen::RecordSpec spec;
  spec.analog = 3;
  spec.digital = 2;
  spec.rates = {{1000, 1000}};  // 20 samples per cycle
  spec.a = 0.01;
  spec.ps = 'P';
  TempFolder folder;
  const auto written = recordgen::WriteRecord(spec, folder.path(), "thousand");
  const auto opened = OpenRecordData(recordgen::MakeCfgInfo(spec, written.cfg.string()), stationdb::kSourceFolder, {});
  ASSERT_TRUE(opened.data);

  const fs::path file = folder.path() / "thousand.xls";
  ASSERT_TRUE(ExportSamples(*opened.data, ViewMode::Waves, file).written);
  const std::string text = common::GbkToUtf8(readBytes(file));
  ASSERT_EQ(text.substr(text.size() - 2), "\r\n");
  const auto lines = common::SplitLines(text);
  ASSERT_EQ(lines.size(), 1001u);
  for (const auto line : lines) ASSERT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;

  const std::string start = common::FormatDateTime("yyyy\"年\"mm\"月\"dd\"日\" hh:nn:ss.zzz", opened.data->record().StartTime);
  EXPECT_EQ(std::string(lines[1]).substr(0, 8 + start.size()), "1\t0.000\t" + start);
  // Cycle 1000 / 20 - 1 ends the table, at 999 ms; every value is the raw sample / 100.
  EXPECT_EQ(std::string(lines[1000]).substr(0, 11), "1000\t49.950");
  for (std::int64_t k : {0, 1, 517, 999}) {
    const auto cells = cellsOf(lines[static_cast<std::size_t>(k) + 1]);
    for (std::int32_t c = 0; c < 3; ++c) {
      const int raw = recordgen::AnalogRaw(spec, c, k);
      std::ostringstream value;
      value << (raw < 0 ? "-" : "") << std::abs(raw) / 100 << '.' << std::abs(raw) % 100 / 10 << std::abs(raw) % 10
            << '0';
      EXPECT_EQ(cells[static_cast<std::size_t>(c) + 3], raw == 0 ? "0.000" : value.str()) << k << "," << c;
    }
  }
}

TEST(SampleExport, BarViewListsOrdersTwoUpToSixtyFour) {
  struct Case {
    int samp1;
    int samples;
    std::size_t lines;
    const char* lastValue;
  };
  for (const Case c : {Case{1000, 20, 10, "4.000"}, Case{12800, 256, 64, "31.000"}}) {
    auto data = testing::Allocate(testing::MakeRecord(3, 0, c.samp1, c.samples));
    for (std::size_t k = 0; k < data->harmonics().size(); ++k) data->harmonics()[k] = 0.5 * static_cast<double>(k);
    const auto table = rowsOf(exported(*data, ViewMode::HarmonicBars));
    ASSERT_EQ(table.size(), c.lines) << c.samples;
    EXPECT_EQ(table[0], (std::vector<std::string>{"次数", "A1", "A2", "A3"}));
    EXPECT_EQ(table[1], (std::vector<std::string>{"2", "0.000", "0.000", "0.000"}));
    EXPECT_EQ(table.back()[0], std::to_string(c.lines));
    EXPECT_EQ(table.back()[3], c.lastValue);
  }
}

TEST(SampleExport, AnExistingFileIsReplaced) {
  const auto data = smallRecord();
  TempFolder folder;
  const fs::path file = folder.path() / "old.xls";
  { std::ofstream(file) << "an older and much longer export that must not survive in any part\r\n"; }
  const ExportOutcome outcome = ExportSamples(*data, ViewMode::Waves, file);
  EXPECT_TRUE(outcome.written);
  EXPECT_EQ(readBytes(file), exported(*data, ViewMode::Waves));
  EXPECT_EQ(entriesIn(folder.path()), 1u);
}

// An existing file that could not be deleted keeps the window's deletion
// message str35/str36 and stays as it was; nothing else is written.
TEST(SampleExport, AFileThatCannotBeDeletedIsKeptAndReported) {
  const auto data = smallRecord();
  TempFolder folder;
  const fs::path readOnly = folder.path() / "readonly.xls";
  { std::ofstream(readOnly) << "kept"; }
  fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const fs::path aFolder = folder.path() / "folder.xls";
  fs::create_directory(aFolder);
  for (const fs::path& target : {readOnly, aFolder}) {
    SCOPED_TRACE(target.string());
    MemoryFile file;
    const ExportOutcome outcome = ExportSamples(*data, ViewMode::Waves, target, &common::BuiltInText, nullptr,
                                                file.opener());
    EXPECT_FALSE(outcome.written);
    ASSERT_TRUE(outcome.message);
    EXPECT_EQ(outcome.message->textKeys(), (std::vector<std::string>{"str35", "str36"}));
    EXPECT_EQ(common::ResolveText(*outcome.message, &common::BuiltInText),
              "删除文件“" + target.string() + "”出错，请检查！");
    EXPECT_EQ(common::ResolveCaption(*outcome.message, &common::BuiltInText), "Quenlor");
    EXPECT_EQ(outcome.message->icon, common::MessageIcon::None) << "a plain box";
    EXPECT_TRUE(file.bytes.empty()) << "nothing is written";
  }
  EXPECT_EQ(readBytes(readOnly), "kept");
  EXPECT_TRUE(fs::is_directory(aFolder));
  EXPECT_EQ(entriesIn(folder.path()), 2u);
}

// A file that cannot be written says so with its own keys (str57/str58), not
// with the deletion message, and leaves the old file and no temporary file.
TEST(SampleExport, AFileThatCannotBeWrittenIsReportedAsNotWritten) {
  // Over one buffer of rows, so that the file grows past 1 MiB.
  auto data = testing::Allocate(testing::MakeRecord(3, 0, 4000, 60000));
  TempFolder folder;
  { std::ofstream(folder.path() / "plain.txt") << "x"; }
  const fs::path existing = folder.path() / "old.xls";
  const std::string old = "an older export\r\n";
  { std::ofstream(existing) << old; }
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  struct Case {
    const char* name;
    fs::path target;
    // The writer: null for the program's own.
    std::function<ExportFileOpener(MemoryFile&)> writer;
  };
  const auto failingWrites = [](MemoryFile& f) {
    f.beforeWrite = [](std::size_t done) { return done < kMiB; };
    return f.opener();
  };
  const auto failingCommit = [](MemoryFile& f) {
    f.beforeCommit = [] { return false; };
    return f.opener();
  };
  const auto noFile = [](MemoryFile&) -> ExportFileOpener {
    return [](const fs::path&) { return std::unique_ptr<ExportFileWriter>(); };
  };
  const Case cases[] = {
      {"a folder that is missing", folder.path() / "missing" / "x.xls", nullptr},
      {"a folder that is a file", folder.path() / "plain.txt" / "x.xls", nullptr},
      {"no file can be made in the folder", existing, noFile},
      {"writes fail after 1 MiB (a full disk)", existing, failingWrites},
      {"the commit fails", existing, failingCommit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFile file;
    const ExportFileOpener open = c.writer ? c.writer(file) : ExportFileOpener(OpenExportFile);
    const ExportOutcome outcome = ExportSamples(*data, ViewMode::Waves, c.target, &common::BuiltInText, nullptr, open);
    EXPECT_FALSE(outcome.written);
    EXPECT_FALSE(file.committed);
    ASSERT_TRUE(outcome.message);
    EXPECT_EQ(outcome.message->textKeys(), (std::vector<std::string>{"str57", "str58"}));
    EXPECT_EQ(common::ResolveText(*outcome.message, &common::BuiltInText),
              "无法写入文件“" + c.target.string() + "”，请检查磁盘空间和文件夹权限！");
    EXPECT_EQ(outcome.message->icon, common::MessageIcon::None);
    EXPECT_EQ(readBytes(existing), old);
    EXPECT_EQ(entriesIn(folder.path()), 2u);
  }
}

// The program's own writer on a disk that fills up after 1 MiB (the file size
// limit stands in for it): the old export stays and the new one is gone.
TEST(SampleExport, AWriteThatFailsAfterOneMebibyteKeepsTheOldFile) {
  auto data = testing::Allocate(testing::MakeRecord(3, 0, 4000, 60000));
  TempFolder folder;
  const fs::path file = folder.path() / "old.xls";
  const std::string old = "an older export\r\n";
  { std::ofstream(file) << old; }
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1 << 20;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const ExportOutcome outcome = ExportSamples(*data, ViewMode::Waves, file);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(outcome.written);
  ASSERT_TRUE(outcome.message);
  EXPECT_EQ(outcome.message->textKeys(), (std::vector<std::string>{"str57", "str58"}));
  EXPECT_EQ(readBytes(file), old);
  EXPECT_EQ(entriesIn(folder.path()), 1u);
}

// The bar view's table lists the orders the spectrum has (N1 div 2 - 1), as the
// list on screen does, not the room the record leaves: a record of 1.5 cycles
// at 20 samples per cycle has 9 orders (2 to 10), not 14.
TEST(SampleExport, BarViewListsOnlyTheComputedOrders) {
  auto data = testing::Allocate(testing::MakeRecord(2, 0, 1000, 30));
  ASSERT_TRUE(data->layout().oneCycle);
  ASSERT_EQ(data->harmonics().size(), 14u);
  for (std::size_t k = 0; k < data->harmonics().size(); ++k) data->harmonics()[k] = static_cast<double>(k);
  const auto table = rowsOf(exported(*data, ViewMode::HarmonicBars));
  ASSERT_EQ(table.size(), 10u);
  EXPECT_EQ(table.back(), (std::vector<std::string>{"10", "8.000", "8.000"}));
}

// The fast way of writing "%5.3f" gives FormatFixed's text for every value:
// ties, values just beside them, negatives, and magnitudes from tiny to huge.
TEST(SampleExport, AppendFixed3IsFormatFixed) {
  std::vector<double> values = {0.0,    -0.0,    0.0625, -0.0625, 0.0005, -0.0005, 0.00049999999999999996,
                                1.0005, 2.5e-4,  999.9995, 1e12,    -1e12,   1e15,    123456789.0125,
                                2863311530.0,    std::nan(""), INFINITY, -INFINITY, 5e-324, 0.1235, 0.12349999999999999};
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::uniform_int_distribution<int> power(-8, 14);
  for (int i = 0; i < 200000; ++i) values.push_back(unit(random) * std::pow(10.0, power(random)));
  for (int i = 0; i < 20000; ++i) {
    const double tie = (std::floor(unit(random) * 1e6) + 0.5) / 1000;  // ...5 at the fourth decimal
    values.push_back(tie);
    values.push_back(std::nextafter(tie, 0.0));
    values.push_back(std::nextafter(tie, 1e9));
  }
  for (const double v : values) {
    std::string fast;
    AppendFixed3(v, fast);
    ASSERT_EQ(fast, FormatFixed(v, 5, 3)) << std::hexfloat << v;
  }
}

// More rows than two rounds of buffers hold: every row lands in order, each
// cell as the table defines it (the time and values by the reference
// formatters), the GBK time pattern included; progress counts every row. (The
// RMS view differs only in where the values come from.)
TEST(SampleExport, StreamedRowsKeepTheirOrderAcrossBuffers) {
  constexpr std::size_t kRows = 130000;  // about 9 MB: three rounds of 8 buffers
  TcfgInfo record = testing::MakeRecord(3, 0, 4000, kRows);
  record.AInfo[1].ch_id = "电流";
  record.StartTime = common::EncodeDateTime({2024, 3, 5, 23, 59, 58, 990}).value();
  auto data = testing::Allocate(record);
  std::mt19937_64 random(3);
  std::uniform_real_distribution<double> value(-5000, 5000);
  for (std::size_t i = 0; i < 3; ++i) {
    for (double& v : data->samples(i)) v = std::round(value(random) * 16) / 16;  // many ties
  }
  const std::string pattern(ExportTextDefault(42));
  const float dt = 1.0f / 80;  // N1 = 80
  MemoryFile file;
  common::JobProgress progress;
  ASSERT_TRUE(ExportSamples(*data, ViewMode::Waves, "x.xls", &common::BuiltInText, &progress, file.opener()).written);
  ASSERT_GT(file.bytes.size(), 2 * kExportBufferBytes * WorkerCount()) << "more than two rounds";
  const auto rows = rowsOf(file.bytes);
  ASSERT_EQ(rows.size(), kRows + 1);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"序列", "周波", "时间", "A1", "电流", "A3"}));
  for (std::size_t k = 0; k < kRows; ++k) {
    const std::vector<std::string>& row = rows[k + 1];
    ASSERT_EQ(row.size(), 6u) << k;
    ASSERT_EQ(row[0], std::to_string(k + 1));
    const double cycles = static_cast<double>(k) * static_cast<double>(dt);
    ASSERT_EQ(row[1], FormatFixed(cycles, 3, 3)) << k;
    const auto ms = common::Round(static_cast<long double>(cycles) * 1000 / 50);
    ASSERT_EQ(row[2], common::FormatDateTime(pattern, record.StartTime + static_cast<double>(ms) / 86'400'000.0)) << k;
    for (std::size_t i = 0; i < 3; ++i) {
      const double v = data->samples(i)[k * static_cast<std::size_t>(data->layout().f1)];
      ASSERT_EQ(row[3 + i], FormatFixed(v, 5, 3)) << k << "," << i;
    }
  }
  const auto snapshot = progress.snapshot();
  EXPECT_EQ(snapshot.stage, common::JobProgress::Stage::Exporting);
  EXPECT_EQ(snapshot.done, kRows);
  EXPECT_EQ(snapshot.total, kRows);
}

// The cancel and the commit have one owner: a cancel before the export
// completes keeps the old file, one that comes while the file is put in
// place (here: from inside the commit) changes nothing.
TEST(SampleExport, ACancelBeforeTheCommitKeepsTheOldFileOneDuringItChangesNothing) {
  auto data = testing::Allocate(testing::MakeRecord(3, 0, 4000, 60000));
  struct Case {
    const char* name;
    bool cancelWhileWriting;
    bool written;
  };
  for (const Case c : {Case{"cancelled while writing", true, false}, Case{"cancelled while committing", false, true}}) {
    SCOPED_TRACE(c.name);
    MemoryFile file;
    common::JobProgress progress;
    bool cancelTookEffect = false;
    if (c.cancelWhileWriting)
      file.beforeWrite = [&](std::size_t writtenSoFar) {
        if (writtenSoFar > 0) cancelTookEffect = progress.cancel();  // after the header
        return true;
      };
    else
      file.beforeCommit = [&] {
        cancelTookEffect = progress.cancel();
        return true;
      };
    const ExportOutcome outcome = ExportSamples(*data, ViewMode::Waves, "x.xls", &common::BuiltInText, &progress,
                                                file.opener());
    EXPECT_EQ(outcome.written, c.written);
    EXPECT_EQ(file.committed, c.written);
    EXPECT_EQ(cancelTookEffect, !c.written);
    EXPECT_EQ(progress.cancelled(), !c.written);
    if (c.written) {
      ASSERT_TRUE(outcome.message);
      EXPECT_EQ(outcome.message->textKeys(), std::vector<std::string>{"str44"});
    } else {
      EXPECT_FALSE(outcome.message);
    }
  }
}

// Cancelled before it began: nothing is said, the old file stays, no temporary file is left.
TEST(SampleExport, ACancelledExportLeavesTheOldFile) {
  auto data = testing::Allocate(testing::MakeRecord(3, 0, 4000, 60000));
  TempFolder folder;
  const fs::path file = folder.path() / "old.xls";
  const std::string old = "an older export\r\n";
  { std::ofstream(file) << old; }
  common::JobProgress progress;
  progress.cancel();
  const ExportOutcome outcome = ExportSamples(*data, ViewMode::Waves, file, &common::BuiltInText, &progress);
  EXPECT_FALSE(outcome.written);
  EXPECT_FALSE(outcome.message);
  EXPECT_EQ(readBytes(file), old);
  EXPECT_EQ(entriesIn(folder.path()), 1u);
}

TEST(SampleExport, SaveDialogHelpers) {
  EXPECT_EQ(NameFiltersOf(ExportFilterText().defaultText), std::vector<std::string>{"EXCEL表格文件 (*.xls)"});
  EXPECT_EQ(NameFiltersOf("A|*.a;*.b|All|*.*"), (std::vector<std::string>{"A (*.a *.b)", "All (*.*)"}));
  EXPECT_EQ(WithDefaultExtension("/tmp/data"), fs::path("/tmp/data.xls"));
  EXPECT_EQ(WithDefaultExtension("/tmp/data.txt"), fs::path("/tmp/data.txt"));
}

}  // namespace
}  // namespace wave
