#include "commtool/core/terminal.h"

#include <functional>

#include <gtest/gtest.h>

#include "commtool/core/hexcode.h"
#include "commtool/core/testsupport.h"

namespace tavrix {
namespace {

using test::Bytes;

LocalTime fixedTime() { return {2024, 3, 5, 7, 8, 9, 45}; }

// Everything the display got, as one text.
std::string displayed(TerminalModel& model) {
  std::string text;
  for (const auto& run : model.Display().TakeUpdate().runs) text += run.text;
  return text;
}

TEST(TimeStamp, Format) { EXPECT_EQ(TimeStamp(fixedTime()), "[2024-03-05 07:08:09:045] "); }

TEST(TerminalModel, PlanSendTable) {
  struct Case {
    bool hex;
    int method;
    std::string input;
    std::vector<std::uint8_t> bytes;
    bool refused;
  };
  const std::string longHex = [] {
    std::string text;
    for (int i = 0; i < 8190; ++i) text += "AB ";
    return text;
  }();
  std::vector<std::uint8_t> longBytes(8192, 0xAB);
  longBytes[8190] = 0x92;  // CRC Modbus 0x5292, low byte first
  longBytes[8191] = 0x52;
  const Case cases[] = {
      {true, kCheckNone, "01 03 00 00 00 01", {1, 3, 0, 0, 0, 1}, false},
      {true, kCheckCrcModbus, "01 03 00 00 00 01", {1, 3, 0, 0, 0, 1, 0x84, 0x0A}, false},
      {true, kCheckCrcModbus, "01 0G 03", {1, 0x7E, 0x80}, false},  // CRC Modbus 0x807E of the one byte
      {true, kCheckCrcModbus, "zz", {}, false},  // no lone check code
      {true, kCheckSum, "", {}, false},
      {true, kCheckCrcModbus, longHex, longBytes, false},      // 8192 with the code
      {true, kCheckCrcModbus, longHex + "CD", {}, true},       // 8193 with the code
      {false, kCheckCrcModbus, "ab\ncd", Bytes("ab\r\ncd"), false},  // no code on text
      {false, kCheckNone, "中文", {0xD6, 0xD0, 0xCE, 0xC4}, false},
      {false, kCheckNone, std::string(8192, 'x'), Bytes(std::string(8192, 'x')), false},
      {false, kCheckNone, std::string(8193, 'x'), {}, true},
  };
  for (const auto& c : cases) {
    TerminalModel model(0, fixedTime);
    model.Modes().inputHex = c.hex;
    model.SetCheck(c.method, 1);
    const SendPlan plan = model.PlanSend(c.input);
    EXPECT_EQ(plan.bytes, c.bytes) << c.input.substr(0, 20);
    EXPECT_EQ(!plan.refusal.empty(), c.refused) << c.input.substr(0, 20);
    if (c.refused) {
      EXPECT_EQ(plan.refusal, "发送数据（含校验码）超过 8192 字节，未发送！");
    }
  }
}

TEST(TerminalModel, ShowSentTable) {
  struct Case {
    bool hex;
    int sent;
    bool fromTimer;
    std::string shown;
  };
  const Case cases[] = {
      {true, 3, false, "01 02 03 (3 bytes) "},
      {true, 2, false, "01 02 (2 bytes) "},  // a partial write shows what went
      {true, 3, true, "01 02 03 (3 bytes) "},
      {false, 8, false, "AT\nOK (8 bytes) "},
      {false, 8, true, "AT\nOK"},
      {false, 0, false, ""},
      {true, -1, false, ""},
  };
  for (const auto& c : cases) {
    TerminalModel model(0, fixedTime);
    model.Modes().inputHex = c.hex;
    const SendPlan plan = model.PlanSend(c.hex ? "01 02 03" : "AT\nOK");
    model.ShowSent(plan, c.sent, c.fromTimer);
    EXPECT_EQ(displayed(model), c.shown) << c.sent << c.fromTimer;
    EXPECT_EQ(model.SentBytes(), static_cast<std::uint64_t>(std::max(c.sent, 0)));
  }
}

TEST(TerminalModel, ReceivedHexAndText) {
  TerminalModel model(0, fixedTime);
  model.ShowReceived(Bytes("\x01\xFF"));
  EXPECT_EQ(displayed(model), "01 FF (2 bytes) ");

  model.SetDisplayHex(false);
  // "中" is D6 D0: its lead byte ends the first delivery.
  model.ShowReceived(std::vector<std::uint8_t>{'a', 0x00, 'b', 0xD6});
  model.ShowReceived(std::vector<std::uint8_t>{0xD0, '\r'});
  model.ShowReceived(std::vector<std::uint8_t>{'\n', 'c', '\r', 'd'});
  EXPECT_EQ(displayed(model), "a\xE2\x90\x80" "b (4 bytes) 中\n (2 bytes) c\nd (4 bytes) ");
  EXPECT_EQ(model.ReceivedBytes(), 12u);
}

TEST(TerminalModel, ShowStampsColoursLineBreaksAndPause) {
  TerminalModel model(0, fixedTime);
  model.Modes().showTime = true;
  model.Modes().lineBreak = true;
  model.Show(ShowKind::Sent, "s");
  model.Show(ShowKind::Received, "r");
  model.Show(ShowKind::Other, "o");
  const auto update = model.Display().TakeUpdate();
  const std::vector<DisplayRun> expected = {
      {kStampColour, "[2024-03-05 07:08:09:045] "}, {kSentColour, "s\n"},
      {kStampColour, "[2024-03-05 07:08:09:045] "}, {kReceivedColour, "r\n"},
      {kStampColour, "[2024-03-05 07:08:09:045] "}, {kOtherColour, "o\n"},
  };
  EXPECT_EQ(update.runs, expected);
  EXPECT_FALSE(update.cleared);

  model.Modes().paused = true;
  model.ShowReceived(Bytes("abc"));
  model.Show(ShowKind::Sent, "dropped");
  EXPECT_FALSE(model.Display().HasUpdate());
  EXPECT_EQ(model.ReceivedBytes(), 3u);  // counted though not shown
}

// The program's own notes start a line of their own and end it, whatever came
// before them and whether or not line breaks are on.
TEST(TerminalModel, NotesStandOnLinesOfTheirOwn) {
  struct Case {
    const char* what;
    bool lineBreak;
    bool showTime;
    std::function<void(TerminalModel&)> before;
    std::string shown;
  };
  const Case cases[] = {
      {"empty display", false, false, [](TerminalModel&) {}, "note\n"},
      {"after hex", false, false, [](TerminalModel& m) { m.ShowReceived(Bytes("\x01")); },
       "01 (1 bytes) \nnote\n"},
      {"after text", false, false, [](TerminalModel& m) { m.Show(ShowKind::Sent, "ab"); }, "ab\nnote\n"},
      {"after a line", false, false, [](TerminalModel& m) { m.Show(ShowKind::Sent, "ab\n"); }, "ab\nnote\n"},
      {"line breaks on", true, false, [](TerminalModel& m) { m.Show(ShowKind::Sent, "ab"); }, "ab\nnote\n"},
      {"with time", false, true, [](TerminalModel& m) { m.Show(ShowKind::Sent, "ab"); },
       "[2024-03-05 07:08:09:045] ab\n[2024-03-05 07:08:09:045] note\n"},
      {"after the display was cleared", false, false,
       [](TerminalModel& m) {
         m.Show(ShowKind::Sent, "ab");
         m.ClearDisplay();
       },
       "note\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TerminalModel model(0, fixedTime);
    model.Modes().lineBreak = c.lineBreak;
    model.Modes().showTime = c.showTime;
    c.before(model);
    model.ShowNote("note\n");
    EXPECT_EQ(displayed(model), c.shown);
  }
}

// The display is emptied before an entry that would take it past 10240
// characters, so that entry is shown; the display never loses an entry unseen.
TEST(TerminalModel, MainDisplayIsEmptiedBeforeTheEntryThatWouldTakeItPast10240Characters) {
  struct Case {
    const char* what;
    std::size_t before;  // characters held
    std::string entry;
    bool lineBreak;
    bool emptied;
  };
  const Case cases[] = {
      {"fills it exactly", 10239, "中", false, false},  // characters, not bytes
      {"one past", 10240, "y", false, true},
      {"the line break counts", 10239, "y", true, true},
      {"longer than the limit alone", 5, std::string(10241, 'z'), false, true},
      {"longer than the limit into an empty display", 0, std::string(10241, 'z'), false, false},
      {"after an entry longer than the limit", 10241, "a", false, true},
  };
  for (const auto& c : cases) {
    TerminalModel model(TerminalModel::kMainDisplayLimit, fixedTime);
    model.Show(ShowKind::Sent, std::string(c.before, 'x'));
    model.Display().TakeUpdate();
    model.Modes().lineBreak = c.lineBreak;
    model.Show(ShowKind::Received, c.entry);
    const auto update = model.Display().TakeUpdate();
    EXPECT_EQ(update.cleared, c.emptied) << c.what;
    ASSERT_FALSE(update.runs.empty()) << c.what;
    EXPECT_EQ(update.runs[0].text, c.entry + (c.lineBreak ? "\n" : "")) << c.what;  // the entry is shown
    const std::size_t entryLength = (c.entry == "中" ? 1 : c.entry.size()) + (c.lineBreak ? 1 : 0);
    EXPECT_EQ(model.Display().Length(), (c.emptied ? 0 : c.before) + entryLength) << c.what;
  }
}

TEST(TerminalModel, TimeStampCountsAndPauseLeavesTheDisplayAsItIs) {
  TerminalModel model(TerminalModel::kMainDisplayLimit, fixedTime);
  model.Show(ShowKind::Sent, "中文中文中文abc");
  EXPECT_EQ(model.Display().Length(), 9u);
  model.Modes().showTime = true;
  model.ShowReceived(test::Pattern(3405, 1));  // a time stamp and 10228 characters of hex: past the limit
  auto update = model.Display().TakeUpdate();
  EXPECT_TRUE(update.cleared);
  ASSERT_EQ(update.runs.size(), 2u);
  EXPECT_EQ(update.runs[0].text, TimeStamp(fixedTime()));
  EXPECT_EQ(model.Display().Length(), 26u + HexTextLength(3405));
  model.Modes().paused = true;
  model.ShowReceived(test::Pattern(4096, 2));  // dropped: the display keeps what it holds
  model.Show(ShowKind::Sent, "x");
  EXPECT_FALSE(model.Display().HasUpdate());
  EXPECT_EQ(model.Display().Length(), 26u + HexTextLength(3405));
  EXPECT_EQ(model.ReceivedBytes(), 3405u + 4096u);
}

TEST(TerminalModel, SessionDisplayIsNeverEmptied) {
  TerminalModel model(0, fixedTime);
  for (int i = 0; i < 30; ++i) model.Show(ShowKind::Received, std::string(1000, 'x'));
  EXPECT_EQ(model.Display().Length(), 30000u);
  EXPECT_FALSE(model.Display().TakeUpdate().cleared);
}

TEST(InputChecks, Table) {
  struct Case {
    std::string_view text;
    std::optional<int> port, interval, start;
  };
  const Case cases[] = {
      {"502", 502, 502, 502},
      {" 1 ", 1, std::nullopt, 1},
      {"65535", 65535, 65535, std::nullopt},
      {"65536", std::nullopt, 65536, std::nullopt},
      {"0", std::nullopt, std::nullopt, std::nullopt},
      {"10", 10, 10, 10},
      {"9", 9, std::nullopt, 9},
      {"1000", 1000, 1000, 1000},
      {"1001", 1001, 1001, std::nullopt},
      {"", std::nullopt, std::nullopt, std::nullopt},
      {"abc", std::nullopt, std::nullopt, std::nullopt},
      {"12x", std::nullopt, std::nullopt, std::nullopt},
      {"-5", std::nullopt, std::nullopt, std::nullopt},
      {"99999999999", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParsePort(c.text), c.port) << c.text;
    EXPECT_EQ(ParseRepeatInterval(c.text), c.interval) << c.text;
    EXPECT_EQ(ParseCheckStart(c.text), c.start) << c.text;
  }
}

}  // namespace
}  // namespace tavrix
