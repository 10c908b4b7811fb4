#include "waveform/model/cfgreader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "waveform/model/cfgopen.h"

namespace wave {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- helpers

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "wave_cfg_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void putUint32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// BINARY records: sample number, time stamp, analog int16 values, digital words.
std::string binaryDat(int analog, int digital, const std::vector<std::uint32_t>& stamps) {
  std::string out;
  for (std::size_t k = 0; k < stamps.size(); ++k) {
    putUint32(out, static_cast<std::uint32_t>(k + 1));
    putUint32(out, stamps[k]);
    out.append(2 * analog, '\x01');
    if (digital > 0) out.append(2 * ((digital - 1) / 16 + 1), '\0');
  }
  return out;
}

// A .cfg text built line by line; the cases change what they test.
struct CfgSpec {
  std::string header = "Station,Dev01,1999";
  std::string counts = "3,2A,1D";
  std::vector<std::string> analog = {"1,Ua,A,,kV,0.01,0,0,-32768,32767,110,0.1,S",
                                     "2,Ia,A,,A,0.001,0.5,0,-32768,32767,600,1,p"};
  std::vector<std::string> digital = {"1,Trip,,,0"};
  std::string lf = "50";
  std::string nrates = "1";
  std::vector<std::string> rates = {"1200,240"};
  std::string start = "01/02/2020,10:11:12.123456";
  std::string trigger = "01/02/2020,10:11:12.223999";
  std::string ft = "ASCII";
  std::string timemult = "1.0";
  std::string eol = "\r\n";
  std::string cfgName = "rec.cfg";
  std::string datName = "rec.dat";  // empty: no data file
  bool datIsFolder = false;         // datName names a folder
  std::string dat = "1,0,5,7,0\n2,833,6,8,1\n";
  std::string wholeText;  // when set, the text as it stands

  std::string text() const {
    if (!wholeText.empty()) return wholeText;
    std::vector<std::string> lines = {header, counts};
    lines.insert(lines.end(), analog.begin(), analog.end());
    lines.insert(lines.end(), digital.begin(), digital.end());
    lines.push_back(lf);
    lines.push_back(nrates);
    lines.insert(lines.end(), rates.begin(), rates.end());
    lines.insert(lines.end(), {start, trigger, ft, timemult});
    std::string out;
    for (const auto& line : lines) out += line + eol;
    return out;
  }
};

class FakeOpener : public RecordOpener {
 public:
  int openWindowCount() const override { return windows; }
  bool tempFilesFlag() const override { return temp; }
  DisplaySettings& displaySettings() override { return settings; }
  void setRecord(const TcfgInfo& r) override {
    record = r;
    calls.push_back("setRecord");
  }
  OptionsDialogResult showOptionsDialog() override {
    calls.push_back("dialog new=" + std::to_string(settings.NewRecordOpened));
    return dialog;
  }
  void createRecordWindow(const std::string& caption, RecordFiles files) override {
    calls.push_back("window " + caption);
    windowFiles = std::move(files);
  }

  int windows = 0;
  bool temp = false;
  OptionsDialogResult dialog{true, true};
  DisplaySettings settings;
  TcfgInfo record;
  std::vector<std::string> calls;
  RecordFiles windowFiles;  // what the record window took over
};

// The first text key of every message, then "error" for the general error box.
std::vector<std::string> keysOf(const CfgOpenOutcome& outcome) {
  std::vector<std::string> keys;
  for (const auto& m : outcome.messages) keys.push_back(m.textKeys().front());
  if (outcome.error) keys.push_back("error");
  return keys;
}

struct Opened {
  CfgOpenOutcome outcome;
  fs::path cfg;
};

Opened openSpec(const TempDir& dir, const CfgSpec& spec, FakeOpener& opener) {
  const fs::path cfg = dir.path() / spec.cfgName;
  writeFile(cfg, spec.text());
  if (spec.datIsFolder)
    fs::create_directory(dir.path() / spec.datName);
  else if (!spec.datName.empty())
    writeFile(dir.path() / spec.datName, spec.dat);
  return {ReadCfgFile(cfg.string(), opener), cfg};
}

common::DateTimeParts parts(common::TDateTime t) { return common::DecodeDateTime(t); }

// ---------------------------------------------------------------- the table

struct OpenCase {
  const char* name;
  std::function<void(CfgSpec&)> edit;
  std::vector<std::string> keys;  // expected messages; empty: the record opens
  std::function<void(const TcfgInfo&)> check = nullptr;
};

const std::vector<OpenCase>& openCases() {
  static const std::vector<OpenCase> cases = {
      {"valid ASCII record", [](CfgSpec&) {}, {},
       [](const TcfgInfo& r) {
         EXPECT_EQ(r.station_name, "Station");
         EXPECT_EQ(r.rec_dev_id, "Dev01");
         EXPECT_EQ(r.TT, 3);
         EXPECT_EQ(r.A, 2);
         EXPECT_EQ(r.D, 1);
         ASSERT_EQ(r.AInfo.size(), 2u);
         EXPECT_EQ(r.AInfo[0].ch_id, "Ua");
         EXPECT_EQ(r.AInfo[0].uu, "kV");
         EXPECT_DOUBLE_EQ(r.AInfo[1].a, 0.001);
         EXPECT_DOUBLE_EQ(r.AInfo[1].b, 0.5);
         EXPECT_EQ(r.AInfo[1].min, -32768);
         EXPECT_EQ(r.AInfo[1].max, 32767);
         EXPECT_DOUBLE_EQ(r.AInfo[1].primary, 600);
         EXPECT_DOUBLE_EQ(r.AInfo[1].secondary, 1);
         EXPECT_EQ(r.AInfo[1].PS, 'P');
         ASSERT_EQ(r.DInfo.size(), 1u);
         EXPECT_EQ(r.DInfo[0].ch_id, "Trip");
         EXPECT_EQ(r.lf, 50);
         EXPECT_EQ(r.nrates, 1);
         EXPECT_EQ(r.samp1, 1200);
         EXPECT_EQ(r.endsamp1, 240);
         EXPECT_EQ(r.samp2, 1200);
         EXPECT_EQ(r.endsamp2, 240);
         EXPECT_EQ(r.ft, "ASCII");
         const auto start = parts(r.StartTime);
         EXPECT_EQ(start.day, 1);  // day first after 1991
         EXPECT_EQ(start.month, 2);
         EXPECT_EQ(start.second, 12);
         EXPECT_EQ(start.millisecond, 123);
         EXPECT_EQ(parts(r.TriggerTime).millisecond, 223);  // .223999 cut, not rounded
       }},
      {"revision from two fields is 1991",
       [](CfgSpec& c) {
         c.header = "Station,Dev01";
         c.analog = {"1,Ua,A,,kV,0.01,0,0,-32768,32767", "2,Ia,A,,A,0.001,0.5,0,-32768,32767"};
         c.digital = {"1,Trip,1"};
       },
       {},
       [](const TcfgInfo& r) {
         EXPECT_DOUBLE_EQ(r.AInfo[0].primary, 1.0);
         EXPECT_DOUBLE_EQ(r.AInfo[0].secondary, 1.0);
         EXPECT_EQ(r.AInfo[1].PS, 'S');
         EXPECT_EQ(r.DInfo[0].NormalState, 1);  // field 3
         const auto start = parts(r.StartTime);
         EXPECT_EQ(start.month, 1);  // month first
         EXPECT_EQ(start.day, 2);
       }},
      {"revision 1999 with a trailing blank reads as 1991",
       [](CfgSpec& c) {
         c.header = "Station,Dev01,1999 ";
         c.analog[0] = "1,Ua,A,,kV,0.01,0,0,-32768,32767,0,0,S";  // factors 0 not read
         c.digital = {"1,Trip,1,,0"};
       },
       {},
       [](const TcfgInfo& r) {
         EXPECT_DOUBLE_EQ(r.AInfo[0].primary, 1.0);
         EXPECT_EQ(r.DInfo[0].NormalState, 1);
       }},
      {"revision 2013 reads the 1999 fields",
       [](CfgSpec& c) {
         c.header = "Station,Dev01,2013";
         c.digital = {"1,Trip,1,,1"};
       },
       {}, [](const TcfgInfo& r) { EXPECT_EQ(r.DInfo[0].NormalState, 1); }},
      {"normal state 2 or more becomes 0", [](CfgSpec& c) { c.digital = {"1,Trip,,,3"}; }, {},
       [](const TcfgInfo& r) { EXPECT_EQ(r.DInfo[0].NormalState, 0); }},
      {"normal state is kept in one byte", [](CfgSpec& c) { c.digital = {"1,Trip,,,257"}; }, {},
       [](const TcfgInfo& r) { EXPECT_EQ(r.DInfo[0].NormalState, 1); }},
      {"GBK and UTF-8 names are decoded",
       [](CfgSpec& c) {
         c.header = "\xB1\xE4\xB5\xE7\xD5\xBE,\xE8\xAE\xBE\xE5\xA4\x87,1999";  // GBK 变电站, UTF-8 设备
         c.analog[0] = "1,\xB5\xE7\xD1\xB9,A,,kV,1,0,0,0,1,1,1,S";  // GBK 电压
       },
       {},
       [](const TcfgInfo& r) {
         EXPECT_EQ(r.station_name, "变电站");
         EXPECT_EQ(r.rec_dev_id, "设备");
         EXPECT_EQ(r.AInfo[0].ch_id, "电压");
       }},
      {"LF line endings", [](CfgSpec& c) { c.eol = "\n"; }, {},
       [](const TcfgInfo& r) { EXPECT_EQ(r.ft, "ASCII"); }},
      {"CR-only line endings", [](CfgSpec& c) { c.eol = "\r"; }, {},
       [](const TcfgInfo& r) { EXPECT_EQ(r.endsamp1, 240); }},
      {"upper-case .DAT partner", [](CfgSpec& c) { c.datName = "rec.DAT"; }, {}},
      {"extension replaced by position",
       [](CfgSpec& c) {
         c.cfgName = "rec.CFG";
         c.datName = "rec.dat";
       },
       {}},
      {"data file missing", [](CfgSpec& c) { c.datName.clear(); }, {"str5"}},
      {"data file name taken by a folder",
       [](CfgSpec& c) { c.datIsFolder = true; }, {"str5"}},
      {"primary not above 0",
       [](CfgSpec& c) { c.analog[1] = "2,Ia,A,,A,0.001,0.5,0,-32768,32767,0,1,S"; }, {"str8"}},
      {"secondary not above 0",
       [](CfgSpec& c) { c.analog[1] = "2,Ia,A,,A,0.001,0.5,0,-32768,32767,1,-1,S"; }, {"str10"}},
      {"analog line of too few fields", [](CfgSpec& c) { c.analog[1] = "2,Ia,A,,A,0.001"; },
       {"str36"}},
      {"first line of one field", [](CfgSpec& c) { c.header = "Station"; }, {"str36"}},
      {"file ends after the counts",
       [](CfgSpec& c) { c.wholeText = "Station,Dev01,1999\r\n3,2A,1D\r\n"; },
       {"str36"}},
      {"empty frequency gives 50", [](CfgSpec& c) { c.lf = ""; }, {},
       [](const TcfgInfo& r) { EXPECT_EQ(r.lf, 50); }},
      {"frequency 60.0 gives 60", [](CfgSpec& c) { c.lf = "60.0"; }, {},
       [](const TcfgInfo& r) {
         EXPECT_EQ(r.lf, 60);
         EXPECT_EQ(r.samp1, 1200);
       }},
      {"frequency 55", [](CfgSpec& c) { c.lf = "55"; }, {"str14"}},
      {"frequency 50.5 rounds to the even 50", [](CfgSpec& c) { c.lf = "50.5"; }, {},
       [](const TcfgInfo& r) { EXPECT_EQ(r.lf, 50); }},
      {"three rates", [](CfgSpec& c) { c.nrates = "3"; }, {"str16"}},
      {"a rate count with rate 0", [](CfgSpec& c) { c.rates = {"0,240"}; }, {"str18"}},
      {"end sample 0", [](CfgSpec& c) { c.rates = {"1200,0"}; }, {"str20"}},
      {"channel counts disagree", [](CfgSpec& c) { c.counts = "4,2A,1D"; }, {"str22"}},
      {"file type neither", [](CfgSpec& c) { c.ft = "COMTRADE"; }, {"str24"}},
      {"file type with a trailing blank", [](CfgSpec& c) { c.ft = "ASCII "; }, {"str24"}},
      {"file type in lower case", [](CfgSpec& c) { c.ft = "ascii"; }, {}},
      {"bad date", [](CfgSpec& c) { c.trigger = "32/13/2020,10:11:12.000"; }, {"str38"}},
      {"date without a year", [](CfgSpec& c) { c.trigger = "01/02,10:11:12.000"; }, {},
       [](const TcfgInfo& r) {
         const auto trigger = common::DecodeDateTime(r.TriggerTime);
         EXPECT_EQ(trigger.year, common::DecodeDateTime(common::NowLocal()).year);
         EXPECT_EQ(trigger.month, 2);
       }},
      {"samp1 1201 becomes 1200", [](CfgSpec& c) { c.rates = {"1201,240"}; }, {},
       [](const TcfgInfo& r) {
         EXPECT_EQ(r.samp1, 1200);
         EXPECT_EQ(r.samp2, 1200);
       }},
      {"samp1 1225 becomes 1200", [](CfgSpec& c) { c.rates = {"1225,240"}; }, {},
       [](const TcfgInfo& r) { EXPECT_EQ(r.samp1, 1200); }},
      {"samp1 1275 becomes 1300", [](CfgSpec& c) { c.rates = {"1275,240"}; }, {},
       [](const TcfgInfo& r) { EXPECT_EQ(r.samp1, 1300); }},
      {"a fractional rate is rounded", [](CfgSpec& c) { c.rates = {"1200.4,240"}; }, {},
       [](const TcfgInfo& r) { EXPECT_EQ(r.samp1, 1200); }},
      {"two rates",
       [](CfgSpec& c) {
         c.nrates = "2";
         c.rates = {"1200,240", "600,300"};
       },
       {},
       [](const TcfgInfo& r) {
         EXPECT_EQ(r.samp2, 600);
         EXPECT_EQ(r.endsamp2, 300);
       }},
      // Refusals of records that cannot be laid out.
      {"rate that rounds to 0", [](CfgSpec& c) { c.rates = {"20,240"}; }, {"str84"}},
      {"negative rate", [](CfgSpec& c) { c.rates = {"-100,240"}; }, {"str84"}},
      {"rate from the time stamps below the line frequency",
       [](CfgSpec& c) {
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = "1,0,5,7,0\n2,50000,6,8,1\n";  // 20 Hz
       },
       {"str84"}},
      {"negative end sample", [](CfgSpec& c) { c.rates = {"1200,-5"}; }, {"str86"}},
      {"second rate below one sample per cycle",
       [](CfgSpec& c) {
         c.nrates = "2";
         c.rates = {"1200,240", "10,300"};
       },
       {"str84"}},
      {"second end sample not after the first",
       [](CfgSpec& c) {
         c.nrates = "2";
         c.rates = {"1200,240", "600,240"};
       },
       {"str88"}},
      {"more than 500 channels",
       [](CfgSpec& c) {
         c.counts = "501,501A,0D";
         c.analog.assign(501, "1,U,A,,V,1,0,0,0,1,1,1,S");
         c.digital.clear();
       },
       {"str80"}},
      {"616 channels whose counts agree", [](CfgSpec& c) { c.counts = "616,24A,592D"; }, {"str80"}},
      {"500 channels", [](CfgSpec& c) {
         c.counts = "500,499A,1D";
         c.analog.assign(499, "1,U,A,,V,1,0,0,0,1,1,1,S");
       },
       {}},
      {"count beyond 16 bits", [](CfgSpec& c) { c.counts = "65539,2A,1D"; }, {"str22"}},
      {"negative count", [](CfgSpec& c) { c.counts = "0,-1A,1D"; }, {"str82"}},
      {"counts whose sum passes the 32-bit range",
       [](CfgSpec& c) { c.counts = "3,2147483647A,2147483647D"; }, {"str80"}},
      {"field that is not a number",
       [](CfgSpec& c) { c.analog[0] = "1,Ua,A,,kV,0.0x1,0,0,-32768,32767,110,0.1,S"; }, {"error"}},
      {"rate count that is not a number", [](CfgSpec& c) { c.nrates = "one"; }, {"error"}},
      // The sampling rate from the data file.
      {"BINARY stamps 0 and 1000 give 1000",
       [](CfgSpec& c) {
         c.ft = "BINARY";
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = binaryDat(2, 1, {0, 1000});
       },
       {},
       [](const TcfgInfo& r) {
         EXPECT_EQ(r.samp1, 1000);
         EXPECT_EQ(r.samp2, 1000);  // the one-rate copy follows
       }},
      {"BINARY rate rounded to the line frequency",
       [](CfgSpec& c) {
         c.ft = "binary";
         c.nrates = "0";
         c.rates = {"0,3"};
         c.dat = binaryDat(2, 1, {100, 933, 1766});  // 1200.48 Hz
       },
       {}, [](const TcfgInfo& r) { EXPECT_EQ(r.samp1, 1200); }},
      {"BINARY shorter than endsamp1 records",
       [](CfgSpec& c) {
         c.ft = "BINARY";
         c.nrates = "0";
         c.rates = {"0,3"};
         c.dat = binaryDat(2, 1, {0, 1000});
       },
       {"str28", "str12"}},
      {"BINARY of one record",
       [](CfgSpec& c) {
         c.ft = "BINARY";
         c.nrates = "0";
         c.rates = {"0,1"};
         c.dat = binaryDat(2, 1, {0});
       },
       {"str28", "str12"}},
      {"BINARY stamps not rising",
       [](CfgSpec& c) {
         c.ft = "BINARY";
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = binaryDat(2, 1, {1000, 1000});
       },
       {"str30", "str12"}},
      {"BINARY stamps too far apart give no rate",
       [](CfgSpec& c) {
         c.ft = "BINARY";
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = binaryDat(2, 1, {0, 3000000});
       },
       {"str12"}},
      {"ASCII stamps give the rate",
       [](CfgSpec& c) {
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = "1, 0,5,7,0\r\n2, 1000,6,8,1\r\n";
       },
       {}, [](const TcfgInfo& r) { EXPECT_EQ(r.samp1, 1000); }},
      {"ASCII last line without an ending counts",
       [](CfgSpec& c) {
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = "1,0,5,7,0\r2,1000,6,8,1";
       },
       {}},
      {"ASCII fewer lines than endsamp1",
       [](CfgSpec& c) {
         c.nrates = "0";
         c.rates = {"0,3"};
       },
       {"str32", "str12"}},
      {"ASCII of one line",
       [](CfgSpec& c) {
         c.nrates = "0";
         c.rates = {"0,1"};
         c.dat = "1,0,5,7,0\n";
       },
       {"str32", "str12"}},
      {"ASCII stamps not rising",
       [](CfgSpec& c) {
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = "1,500,5,7,0\n2,400,6,8,1\n";
       },
       {"str34", "str12"}},
      {"ASCII line without a time stamp",
       [](CfgSpec& c) {
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = "1\n2,400,6,8,1\n";
       },
       {"str36", "str12"}},
      {"ASCII time stamp that is not a number",
       [](CfgSpec& c) {
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = "1,0,5\n2,1e3,6\n";
       },
       {"error"}},
      {"rate from the data file checked before lf",
       [](CfgSpec& c) {
         c.lf = "55";
         c.nrates = "0";
         c.rates = {"0,2"};
         c.dat = "1,500,5,7,0\n2,400,6,8,1\n";
       },
       {"str34", "str12"}},
  };
  return cases;
}

TEST(ReadCfgFile, Table) {
  for (const auto& c : openCases()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    CfgSpec spec;
    c.edit(spec);
    FakeOpener opener;
    const auto [outcome, cfg] = openSpec(dir, spec, opener);
    EXPECT_EQ(keysOf(outcome), c.keys);
    EXPECT_EQ(outcome.opened, c.keys.empty());
    if (c.keys.empty()) {
      EXPECT_EQ(opener.record.CfgPath, cfg.string());
      if (c.check) c.check(opener.record);
    } else {
      EXPECT_TRUE(opener.calls.empty()) << "nothing is opened on a refusal";
    }
  }
}

// ---------------------------------------------------------------- messages

TEST(ReadCfgFile, MessagesCarryTheirKeysAndDefaults) {
  TempDir dir;
  CfgSpec spec;
  spec.datName.clear();
  FakeOpener opener;
  const auto outcome = openSpec(dir, spec, opener).outcome;
  ASSERT_EQ(outcome.messages.size(), 1u);
  const auto& m = outcome.messages[0];
  EXPECT_EQ(m.section, "Strings_Main_Form");
  EXPECT_EQ(m.caption, (common::TextPiece{"str7", "信息提示"}));
  EXPECT_EQ(m.icon, common::MessageIcon::Warning);
  const std::string cfg = (dir.path() / "rec.cfg").string();
  EXPECT_EQ(common::ResolveText(m, common::BuiltInText),
            "未找到" + cfg.substr(0, cfg.size() - 3) + "dat数据文件！");

  // A folder copied from a Windows disk keeps its GBK name (录波) inside a
  // folder of this machine (UTF-8 "记录"); the message shows both as text.
  const auto gbk = DataFileMissingMessage("/home/\xE8\xAE\xB0\xE5\xBD\x95/\xC2\xBC\xB2\xA8/rec.cfg");
  EXPECT_EQ(common::ResolveText(gbk, common::BuiltInText), "未找到/home/记录/录波/rec.dat数据文件！");
  EXPECT_EQ(CannotOpenFileText("/\xC2\xBC\xB2\xA8/rec.cfg"), "无法打开文件: /录波/rec.cfg");

  const auto m26 = CfgMessage(26);
  EXPECT_EQ(m26.textKeys(), std::vector<std::string>{"str26"});
  EXPECT_EQ(m26.caption.key, "str27");
  EXPECT_EQ(common::ResolveText(m26, common::BuiltInText), "打开波形窗口过多，最多打开4个波形窗口！");
  EXPECT_EQ(common::ResolveText(CfgMessage(18), common::BuiltInText),
            "cfg文件有误: (nrates <> 0) and (samp = 0)");
}

// The refusals of records that cannot be laid out name their own cause and
// keep clear of the keys of the checks above.
TEST(ReadCfgFile, RefusalsHaveKeysAndTextsOfTheirOwn) {
  struct Case {
    int key;
    std::string text;
  };
  const Case cases[] = {
      {kMsgTooManyChannels, "cfg文件有误: 通道总数超过500"},
      {kMsgNegativeChannelCount, "cfg文件有误: 通道数小于0"},
      {kMsgRateBelowLineFrequency, "cfg文件有误: 采样率小于系统频率"},
      {kMsgNegativeEndSample, "cfg文件有误: endsample<0"},
      {kMsgEndSamplesNotRising, "cfg文件有误: endsamp2<=endsamp1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_GT(c.key, 72) << "above every key of the main window's section";
    const common::UserMessage m = CfgMessage(c.key);
    EXPECT_EQ(m.section, "Strings_Main_Form");
    EXPECT_EQ(m.textKeys(), std::vector<std::string>{"str" + std::to_string(c.key)});
    EXPECT_EQ(m.caption, (common::TextPiece{"str" + std::to_string(c.key + 1), "信息提示"}));
    EXPECT_EQ(common::ResolveText(m, common::BuiltInText), c.text);
  }
}

TEST(ReadCfgFile, ConversionErrorCarriesTheConverterText) {
  TempDir dir;
  CfgSpec spec;
  spec.counts = "3,2A,xD";
  FakeOpener opener;
  const auto outcome = openSpec(dir, spec, opener).outcome;
  ASSERT_TRUE(outcome.error.has_value());
  EXPECT_NE(outcome.error->find('x'), std::string::npos) << *outcome.error;
  EXPECT_TRUE(outcome.messages.empty());
}

// ---------------------------------------------------------------- opening

TEST(ReadCfgFile, OpensThroughTheDialogWithTheTrimmedFileName) {
  TempDir dir;
  CfgSpec spec;
  spec.cfgName = " rec 1.cfg";
  spec.datName = " rec 1.dat";
  FakeOpener opener;
  opener.settings.NewRecordOpened = 0;
  const auto outcome = openSpec(dir, spec, opener).outcome;
  EXPECT_TRUE(outcome.opened);
  EXPECT_EQ(opener.calls, (std::vector<std::string>{"setRecord", "dialog new=1", "window rec 1.cfg"}));
}

TEST(ReadCfgFile, DialogCancelledClearsNewRecordOpened) {
  TempDir dir;
  FakeOpener opener;
  opener.dialog = {false, false};
  const auto outcome = openSpec(dir, CfgSpec{}, opener).outcome;
  EXPECT_FALSE(outcome.opened);
  EXPECT_TRUE(outcome.messages.empty());
  EXPECT_EQ(opener.settings.NewRecordOpened, 0);
  EXPECT_EQ(opener.calls, (std::vector<std::string>{"setRecord", "dialog new=1"}));
}

TEST(ReadCfgFile, FifthWindowIsRefused) {
  TempDir dir;
  FakeOpener opener;
  opener.windows = 4;
  const auto [outcome, cfg] = openSpec(dir, CfgSpec{}, opener);
  EXPECT_EQ(keysOf(outcome), std::vector<std::string>{"str26"});
  EXPECT_TRUE(opener.calls.empty());
  EXPECT_TRUE(fs::exists(cfg));  // files opened from a folder stay
}

TEST(ReadCfgFile, PreviousRecordStaysOnAFailedOpening) {
  TempDir dir;
  FakeOpener opener;
  ASSERT_TRUE(openSpec(dir, CfgSpec{}, opener).outcome.opened);
  const std::string previous = opener.record.CfgPath;

  TempDir other;
  CfgSpec bad;
  bad.rates = {"1200,0"};
  bad.header = "Other,Dev02,1999";
  const auto outcome = openSpec(other, bad, opener).outcome;
  EXPECT_FALSE(outcome.opened);
  EXPECT_EQ(opener.record.CfgPath, previous);
  EXPECT_EQ(opener.record.station_name, "Station");
}

// A pair written from the database is deleted whenever its opening is abandoned.
TEST(ReadCfgFile, DatabasePairIsDeletedOnAbandonment) {
  struct Case {
    const char* name;
    std::function<void(CfgSpec&, FakeOpener&)> edit;
    bool deleted;
  };
  const Case cases[] = {
      {"fifth window", [](CfgSpec&, FakeOpener& o) { o.windows = 4; }, true},
      {"dialog cancelled", [](CfgSpec&, FakeOpener& o) { o.dialog = {false, false}; }, true},
      {"accepted but not closed with OK", [](CfgSpec&, FakeOpener& o) { o.dialog = {true, false}; }, true},
      {"failed check", [](CfgSpec& c, FakeOpener&) { c.lf = "55"; }, true},
      {"conversion error", [](CfgSpec& c, FakeOpener&) { c.nrates = "x"; }, true},
      {"opened", [](CfgSpec&, FakeOpener&) {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    CfgSpec spec;
    spec.cfgName = "20200102101112123.cfg";
    spec.datName = "20200102101112123.dat";
    FakeOpener opener;
    opener.temp = true;
    c.edit(spec, opener);
    const auto cfg = openSpec(dir, spec, opener).cfg;
    EXPECT_EQ(!fs::exists(cfg), c.deleted);
    EXPECT_EQ(!fs::exists(dir.path() / spec.datName), c.deleted);
  }
}

TEST(ReadCfgFile, MissingDataFileOfADatabasePairDeletesTheCfg) {
  TempDir dir;
  CfgSpec spec;
  spec.datName.clear();
  FakeOpener opener;
  opener.temp = true;
  const auto cfg = openSpec(dir, spec, opener).cfg;
  EXPECT_FALSE(fs::exists(cfg));
  EXPECT_TRUE(opener.calls.empty());
}

TEST(ReadCfgFile, FolderFilesStayOnAFailedCheck) {
  TempDir dir;
  CfgSpec spec;
  spec.lf = "55";
  FakeOpener opener;
  const auto cfg = openSpec(dir, spec, opener).cfg;
  EXPECT_TRUE(fs::exists(cfg));
  EXPECT_TRUE(opener.calls.empty());
}

// ---------------------------------------------------------------- helpers of the reader

TEST(GetCfgField, Table) {
  struct Case {
    const char* line;
    int n;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"a,b,c", 1, "a"},      {"a,b,c", 3, "c"},         {"a,b,c", 4, std::nullopt},
      {" a \t, b\x01 ,c", 2, "b"}, {"", 1, ""},            {"", 2, std::nullopt},
      {"a,,c", 2, ""},        {"a,b,", 3, ""},           {"a", 0, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.line) + " #" + std::to_string(c.n));
    EXPECT_EQ(GetCfgField(c.line, ',', c.n), c.expected);
  }
}

TEST(GetCfgRevYear, Table) {
  struct Case {
    const char* line;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"st,dev", 1991},       {"st,dev,1999", 1999}, {"st,dev,1999 ", 1991}, {"st,dev, 2013", 2013},
      {"st,dev,", 1991},      {"st,dev,19x9", 1991}, {"st", 1991},           {"st,dev,1999,x", 1991},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(GetCfgRevYear(c.line), c.expected);
  }
}

TEST(ParseCfgDateTime, OrderAndMilliseconds) {
  const auto dmy = ParseCfgDateTime(1999, " 03/04/2021,05:06:07.891999 ");
  ASSERT_TRUE(dmy.has_value());
  const auto p = parts(*dmy);
  EXPECT_EQ(p.day, 3);
  EXPECT_EQ(p.month, 4);
  EXPECT_EQ(p.year, 2021);
  EXPECT_EQ(p.hour, 5);
  EXPECT_EQ(p.minute, 6);
  EXPECT_EQ(p.second, 7);
  EXPECT_EQ(p.millisecond, 891);

  const auto mdy = ParseCfgDateTime(1991, "03/04/2021,05:06:07.000");
  ASSERT_TRUE(mdy.has_value());
  EXPECT_EQ(parts(*mdy).month, 3);
  EXPECT_EQ(parts(*mdy).day, 4);

  EXPECT_FALSE(ParseCfgDateTime(1991, "13/04/2021,05:06:07").has_value());  // month 13
  EXPECT_FALSE(ParseCfgDateTime(1999, "garbage").has_value());
  EXPECT_FALSE(ParseCfgDateTime(1999, "").has_value());
}

TEST(ParseCfgDateTime, DateWithoutYearIsOfTheCurrentYear) {
  const auto dmy = ParseCfgDateTime(1999, "03/04,05:06:07.891999", 2031);
  ASSERT_TRUE(dmy.has_value());
  EXPECT_EQ(common::FormatDateTime("yyyy/mm/dd hh:nn:ss.zzz", *dmy), "2031/04/03 05:06:07.891");
  const auto mdy = ParseCfgDateTime(1991, "03/04,05:06:07", 2031);
  ASSERT_TRUE(mdy.has_value());
  EXPECT_EQ(common::FormatDateTime("yyyy/mm/dd", *mdy), "2031/03/04");
  EXPECT_FALSE(ParseCfgDateTime(1999, "29/02,05:06:07", 2031).has_value());
  EXPECT_TRUE(ParseCfgDateTime(1999, "29/02,05:06:07", 2032).has_value());
}

// A data file reader that records how much is read.
class CountingReader : public DataFileReader {
 public:
  explicit CountingReader(std::string bytes) : bytes_(std::move(bytes)), inner_(bytes_) {}
  std::optional<std::uint64_t> size() override { return inner_.size(); }
  std::size_t read(std::uint64_t offset, std::span<char> out) override {
    const std::size_t n = inner_.read(offset, out);
    bytesRead += n;
    furthest = std::max<std::uint64_t>(furthest, offset + n);
    return n;
  }
  std::uint64_t bytesRead = 0;
  std::uint64_t furthest = 0;

 private:
  std::string bytes_;
  MemoryDataReader inner_;
};

TEST(CalcSampleRateFromDat, BinaryReadsTwoRecordsOnly) {
  std::vector<std::uint32_t> stamps;
  for (std::uint32_t k = 0; k < 50000; ++k) stamps.push_back(k * 1000);
  CountingReader reader(binaryDat(3, 17, stamps));  // record size 8 + 6 + 4
  TcfgInfo info;
  info.A = 3;
  info.D = 17;
  info.ft = "BINARY";
  info.endsamp1 = 50000;
  std::vector<common::UserMessage> messages;
  CalcSampleRateFromDat(info, reader, messages);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(info.samp1, 1000);
  EXPECT_EQ(reader.bytesRead, 2u * 18u);
}

TEST(CalcSampleRateFromDat, AsciiStopsCountingAtEndSample) {
  std::string dat;
  for (int k = 0; k < 100000; ++k) dat += std::to_string(k + 1) + "," + std::to_string(k * 500) + ",1,2\n";
  CountingReader reader(dat);
  TcfgInfo info;
  info.ft = "ASCII";
  info.endsamp1 = 3;
  std::vector<common::UserMessage> messages;
  CalcSampleRateFromDat(info, reader, messages);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(info.samp1, 2000);
  EXPECT_LE(reader.bytesRead, 64u * 1024u);
  EXPECT_LT(reader.bytesRead, dat.size());
}

TEST(CalcSampleRateFromDat, UnreadableDataFileIsAnError) {
  FileDataReader reader(fs::path("/nonexistent/folder/rec.DAT"));
  TcfgInfo info;
  info.CfgPath = "/nonexistent/folder/rec.cfg";
  info.endsamp1 = 2;
  std::vector<common::UserMessage> messages;
  try {
    CalcSampleRateFromDat(info, reader, messages);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "无法打开文件: /nonexistent/folder/rec.DAT");  // the file it tried
  }
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(info.samp1, 0);
}

TEST(ReadCfgFile, CfgThatCannotBeReadEndsWithTheGeneralError) {
  TempDir dir;
  const fs::path cfg = dir.path() / "rec.cfg";
  fs::create_directory(cfg);  // the name exists but holds no text
  writeFile(dir.path() / "rec.dat", "1,0\n2,1000\n");
  FakeOpener opener;
  const auto outcome = ReadCfgFile(cfg.string(), opener);
  EXPECT_TRUE(outcome.messages.empty());
  EXPECT_EQ(outcome.error, "无法打开文件: " + cfg.string());
  EXPECT_FALSE(outcome.opened);
  EXPECT_TRUE(opener.calls.empty());
}

TEST(ParseCfgText, WorksWithoutFiles) {
  CfgSpec spec;
  spec.nrates = "0";
  spec.rates = {"0,2"};
  MemoryDataReader dat("1,0\n2,1000\n");
  const auto outcome = ParseCfgText(spec.text(), "/mem/rec.cfg", dat);
  ASSERT_TRUE(outcome.record.has_value());
  EXPECT_EQ(outcome.record->samp1, 1000);
  EXPECT_EQ(outcome.record->CfgPath, "/mem/rec.cfg");
}

// Time stamps count in units of the time multiplier where revision 1999 or
// later gives one; revision 1991 has none, and a multiplier that is no number
// above 0 counts as 1. Stamps 1040 apart at 60 Hz: 962 Hz, rounded to 960; in
// units of 0.25 µs: 3846 Hz, rounded to 3840.
TEST(ParseCfgText, RateFromTimeStampsFollowsTheTimeMultiplier) {
  struct Case {
    const char* revision;
    const char* timemult;
    const char* nrates;
    std::int32_t samp1;
  };
  const Case cases[] = {
      {"1999", "0.25", "0", 3840}, {"2013", "0.25", "0", 3840}, {"2013", "1", "0", 960},
      {"2013", "4.0", "0", 240},   {"1991", "0.25", "0", 960},  {"2013", "", "0", 960},
      {"2013", "0", "0", 960},     {"2013", "-2", "0", 960},    {"2013", "fast", "0", 960},
      {"2013", "0.25", "1", 1200},  // a rate that is given stays as given
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.revision) + " timemult '" + c.timemult + "' nrates " + c.nrates);
    CfgSpec spec;
    spec.header = std::string("Station,Dev01,") + c.revision;
    if (std::string(c.revision) == "1991") {
      spec.analog = {"1,Ua,A,,kV,0.01,0,0,-32768,32767", "2,Ia,A,,A,0.001,0.5,0,-32768,32767"};
      spec.digital = {"1,Trip,0"};
    }
    spec.lf = "60";
    spec.nrates = c.nrates;
    spec.rates = {std::string(c.nrates) == "0" ? "0,2" : "1200,2"};
    spec.timemult = c.timemult;
    MemoryDataReader dat("1,0,5,7,0\n2,1040,6,8,1\n");
    const auto outcome = ParseCfgText(spec.text() + "0,0\r\n0,0\r\n", "/mem/rec.cfg", dat);
    ASSERT_TRUE(outcome.record.has_value());
    EXPECT_EQ(outcome.record->samp1, c.samp1);
  }
  // The same for a BINARY data file.
  CfgSpec spec;
  spec.header = "Station,Dev01,2013";
  spec.nrates = "0";
  spec.rates = {"0,2"};
  spec.ft = "BINARY";
  spec.timemult = "0.5";
  const std::string bytes = binaryDat(2, 1, {0, 1000});
  MemoryDataReader dat(bytes);
  const auto outcome = ParseCfgText(spec.text(), "/mem/rec.cfg", dat);
  ASSERT_TRUE(outcome.record.has_value());
  EXPECT_EQ(outcome.record->samp1, 2000);
}

// Lines of a .cfg end with CR LF, LF or a lone CR, read from a text or from a
// file in chunks; a line longer than any configuration line comes back as
// nothing.
TEST(CfgLines, EndingsChunksAndOverlongLines) {
  const std::string head = "a\r\nb\nc\rd\r\r\n";
  const std::string longLine(64 * 1024 - 1 - head.size(), 'x');  // its CR is the last byte of a 64 KiB chunk
  const std::string text = head + longLine + "\r\ne\r\n" + std::string(kMaxCfgLineBytes + 1, 'y') + "\nf";
  const std::vector<std::string> expected = {"a", "b", "c", "d", "", longLine, "e"};
  TempDir dir;
  writeFile(dir.path() / "lines.cfg", text);
  CfgFileLines file;
  ASSERT_TRUE(file.open(dir.path() / "lines.cfg"));
  CfgTextLines held(text);
  for (CfgLineSource* source : std::initializer_list<CfgLineSource*>{&held, &file}) {
    SCOPED_TRACE(source == &held ? "text" : "file");
    for (const std::string& line : expected) EXPECT_EQ(source->next(), std::optional<std::string_view>(line));
    EXPECT_EQ(source->next(), std::nullopt);
  }
  CfgTextLines tail("f\r");
  EXPECT_EQ(tail.next(), std::optional<std::string_view>("f"));
  EXPECT_EQ(tail.next(), std::optional<std::string_view>(""));  // past the end

  CfgFileLines folder;
  EXPECT_FALSE(folder.open(dir.path()));
}

// Lines that never end, as many as asked for; counts them.
class EndlessLines : public CfgLineSource {
 public:
  explicit EndlessLines(std::string line) : line_(std::move(line)) {}
  std::optional<std::string_view> next() override {
    ++read;
    return std::string_view(line_);
  }
  int read = 0;

 private:
  std::string line_;
};

// A file that is no configuration is refused at its first failing line, and
// nothing after that line is read, however long the file is.
TEST(ParseCfgLines, StopsAtTheFirstFailingLine) {
  MemoryDataReader dat("");
  EndlessLines text("some text, as a log file holds it");
  const auto outcome = ParseCfgLines(text, "/mem/log.cfg", dat);
  EXPECT_FALSE(outcome.record);
  EXPECT_TRUE(outcome.error.has_value());  // line 2: "some text" is no channel count
  EXPECT_EQ(text.read, 2);

  EndlessLines noFields("");
  EXPECT_EQ(keysOf({ParseCfgLines(noFields, "/mem/empty.cfg", dat).messages, std::nullopt, false}),
            std::vector<std::string>{"str36"});
  EXPECT_EQ(noFields.read, 1);

  const std::string overlong = "Station,Dev01,1999\r\n" + std::string(kMaxCfgLineBytes + 1, '1') + "\r\n";
  EXPECT_EQ(keysOf({ParseCfgText(overlong, "/mem/long.cfg", dat).messages, std::nullopt, false}),
            std::vector<std::string>{"str36"});
}

TEST(DatPartner, NameRule) {
  EXPECT_EQ(DatPartnerPath("/a/rec.cfg"), "/a/rec.dat");
  EXPECT_EQ(DatPartnerPath("/a/rec.CFG"), "/a/rec.dat");
  EXPECT_EQ(DatPartnerPath("/a/rec.cf"), "/a/recdat");  // by position, whatever the extension
  EXPECT_EQ(DatPartnerPath("ab"), "dat");
}

}  // namespace
}  // namespace wave
