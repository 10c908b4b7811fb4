#include "waveform/view/channel_groups.h"

#include <gtest/gtest.h>

#include "waveform/canvas/recording_canvas.h"
#include "waveform/view/options_preview.h"

namespace wave {
namespace {

struct Entry {
  int channel, colour;
  bool operator==(const Entry&) const = default;
};

std::vector<Entry> axis(const DisplaySettings& s, int a) {
  std::vector<Entry> out;
  const auto& g = s.ChannelGroups[static_cast<std::size_t>(a)];
  for (int j = 0; j < g.Count; ++j) out.push_back({g.Channel[static_cast<std::size_t>(j)], g.ColorIndex[static_cast<std::size_t>(j)]});
  return out;
}

class ChannelGroupsTest : public ::testing::Test {
 protected:
  ChannelGroupsTest() : editor(settings) {
    editor.create();
    editor.show();
  }
  DisplaySettings settings;
  ChannelGroupsEditor editor;
};

TEST_F(ChannelGroupsTest, AddingFromTheAnalogueListUsesTheChannelsOwnColour) {
  EXPECT_TRUE(editor.addFromAnalog(0, 5));
  EXPECT_TRUE(editor.addFromAnalog(0, 2));
  EXPECT_FALSE(editor.addFromAnalog(0, 5)) << "twice on one axis";
  EXPECT_TRUE(editor.addFromAnalog(3, 5)) << "the same channel on another axis";
  EXPECT_EQ(axis(settings, 0), (std::vector<Entry>{{5, 5}, {2, 2}}));
  EXPECT_EQ(axis(settings, 3), (std::vector<Entry>{{5, 5}}));
  EXPECT_EQ(settings.ChannelGroupCount, 2);
  EXPECT_TRUE(editor.addFromAnalog(0, 7));
  EXPECT_TRUE(editor.addFromAnalog(0, 8));
  EXPECT_FALSE(editor.addFromAnalog(0, 9)) << "a fifth channel";
  EXPECT_TRUE(editor.If_Repeat_ChannelUnit(0, 9));
  EXPECT_FALSE(editor.addFromAnalog(8, 1)) << "no ninth axis";
}

TEST_F(ChannelGroupsTest, MovingKeepsTheColourAndClosesUpTheSource) {
  settings.ChannelGroups[0] = {3, {4, 6, 9, 0}, {14, 16, 19, 0}};  // colours that differ from the channels
  settings.ChannelGroupCount = 1;
  EXPECT_TRUE(editor.moveToAxis(0, 1, 2));
  EXPECT_EQ(axis(settings, 0), (std::vector<Entry>{{4, 14}, {9, 19}}));
  EXPECT_EQ(axis(settings, 2), (std::vector<Entry>{{6, 16}}));
  EXPECT_EQ(settings.ChannelGroupCount, 2);
  EXPECT_FALSE(editor.moveToAxis(2, 0, 2)) << "onto its own axis";
  EXPECT_TRUE(editor.addFromAnalog(1, 4));
  EXPECT_FALSE(editor.moveToAxis(0, 0, 1)) << "the target holds the channel already";
  EXPECT_EQ(axis(settings, 0).size(), 2u);
}

TEST_F(ChannelGroupsTest, RemovingTheFirstOfThreeLeavesTheOthersInOrder) {
  for (int c : {1, 2, 3}) editor.addFromAnalog(4, c);
  EXPECT_TRUE(editor.removeFromAxis(4, 0));
  EXPECT_EQ(axis(settings, 4), (std::vector<Entry>{{2, 2}, {3, 3}}));
  EXPECT_FALSE(editor.removeFromAxis(4, 2));
  EXPECT_TRUE(editor.removeFromAxis(4, 1));
  EXPECT_TRUE(editor.removeFromAxis(4, 0));
  EXPECT_EQ(settings.ChannelGroupCount, 0) << "the emptied axis no longer counts";
  EXPECT_EQ(settings.ChannelGroups[4], TChannelGroup{});
}

TEST_F(ChannelGroupsTest, AtMost32DigitalChannels) {
  for (int d = 0; d < 32; ++d) EXPECT_EQ(editor.addDigital(d), DigitalAddResult::Added);
  EXPECT_EQ(editor.addDigital(3), DigitalAddResult::AlreadySelected);
  EXPECT_EQ(editor.addDigital(32), DigitalAddResult::Full);
  EXPECT_EQ(settings.DigitalSelection.Count, 32);
  EXPECT_TRUE(editor.removeDigital(0));
  EXPECT_EQ(settings.DigitalSelection.Index[0], 1);
  EXPECT_EQ(settings.DigitalSelection.Count, 31);
  EXPECT_EQ(editor.addDigital(32), DigitalAddResult::Added);
  EXPECT_EQ(settings.DigitalSelection.Index[31], 32);
}

TEST_F(ChannelGroupsTest, SelectAllTakesTheFirst32AndSaysSo) {
  const auto message = editor.selectAllDigital(40);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->message.section, "Strings_Options_Dlg");
  EXPECT_EQ(message->message.textKeys(), std::vector<std::string>{"str3"});
  EXPECT_EQ(message->args, std::vector<std::string>{"32"});
  EXPECT_EQ(message->message.icon, common::MessageIcon::None) << "a plain box";
  EXPECT_EQ(settings.DigitalSelection.Count, 32);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(settings.DigitalSelection.Index[static_cast<std::size_t>(i)], i);
  EXPECT_FALSE(editor.selectAllDigital(5).has_value());
  EXPECT_EQ(settings.DigitalSelection.Count, 5);
  editor.clearDigital();
  EXPECT_EQ(settings.DigitalSelection.Count, 0);
}

TEST_F(ChannelGroupsTest, CancelRestoresTheAxesButNotGridsOrColours) {
  editor.addFromAnalog(0, 1);
  editor.addDigital(2);
  editor.accept();
  editor.show();  // shown again for the same record
  editor.moveToAxis(0, 0, 6);
  editor.addFromAnalog(1, 3);
  editor.addDigital(4);
  editor.setGrid(false, true);
  editor.setPointsAndLines(false);
  settings.ChannelColors[3] = 0x010203;
  editor.cancel();
  EXPECT_EQ(axis(settings, 0), (std::vector<Entry>{{1, 1}}));
  EXPECT_TRUE(axis(settings, 1).empty());
  EXPECT_TRUE(axis(settings, 6).empty());
  EXPECT_EQ(settings.ChannelGroupCount, 1);
  EXPECT_EQ(settings.DigitalSelection.Count, 1);
  EXPECT_EQ(settings.ShowGridX, 0);
  EXPECT_EQ(settings.ShowPointsAndLines, 0);
  EXPECT_EQ(settings.ChannelColors[3], 0x010203);
  EXPECT_EQ(editor.ChannelsChosen, 0);
}

TEST_F(ChannelGroupsTest, ANewRecordStartsFromNothingAndCancelKeepsItEmpty) {
  editor.addFromAnalog(2, 1);
  editor.addDigital(0);
  editor.setGrid(false, false);
  settings.NewRecordOpened = 1;
  editor.show();
  EXPECT_EQ(settings.NewRecordOpened, 0);
  EXPECT_EQ(settings.ChannelGroupCount, 0);
  EXPECT_EQ(settings.ChannelGroups, (std::array<TChannelGroup, kGroupRowCount>{}));
  EXPECT_EQ(settings.DigitalSelection.Count, 0);
  EXPECT_EQ(settings.ShowGridX, 1);
  EXPECT_EQ(settings.ShowGridY, 1);
  EXPECT_EQ(settings.ShowPointsAndLines, 1);
  editor.addFromAnalog(0, 0);
  editor.cancel();  // restores the reset state, not the previous record's axes
  EXPECT_EQ(settings.ChannelGroupCount, 0);
  EXPECT_TRUE(axis(settings, 2).empty());
}

TEST_F(ChannelGroupsTest, OkNeedsAChannelOnAnAxis) {
  editor.addDigital(0);
  const auto refusal = editor.accept();
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->textKeys(), std::vector<std::string>{"str4"});
  EXPECT_EQ(refusal->caption.key, "str5");
  EXPECT_EQ(editor.ChannelsChosen, 0);
  EXPECT_EQ(settings.OptionsAccepted, 0);
  editor.addFromAnalog(7, 0);
  EXPECT_FALSE(editor.accept().has_value());
  EXPECT_EQ(editor.ChannelsChosen, 1);
  EXPECT_EQ(settings.OptionsAccepted, 1);
  editor.activate();
  EXPECT_EQ(editor.ChannelsChosen, 0);
  editor.close();
  EXPECT_EQ(settings.OptionsRedrawPending, 1);
}

TEST(OptionsPreview, RowsCloseUpAndDigitalLinesFollow) {
  DisplaySettings settings;
  ChannelGroupsEditor editor(settings);
  editor.addFromAnalog(5, 0);  // the only used axis takes the first preview row
  editor.addDigital(0);
  editor.addDigital(1);
  RecordingCanvas canvas;
  PaintOptionsPreview(canvas, 320, 240, settings);
  // R = 240 div (1 + 2) = 80, W = 20.
  const auto texts = canvas.opsOf(OpKind::Text);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].text, "6");
  EXPECT_EQ(texts[0].points[0], (Point{20, 75}));
  EXPECT_EQ(texts[0].font.color, kPreviewAxisNumberColor);
  EXPECT_EQ(texts[1].text, "k");
  EXPECT_EQ(texts[1].points[0].y, 153);  // Round(40 + 80 + 1.5 * 26 - 6)
  std::vector<int> digitalLines;
  for (const auto& s : canvas.segments())
    if (s.pen.color == settings.ChannelColors[kDigitalTraceColor] && s.from.y == s.to.y) {
      digitalLines.push_back(s.from.y);
      EXPECT_EQ(s.from.x, 40);
      EXPECT_EQ(s.to.x, 320);
    }
  EXPECT_EQ(digitalLines, (std::vector<int>{40 + 80 + 26, 40 + 80 + 52}));
  // The sine of channel 0 in its colour, one pixel per column from 2W to Width - W.
  std::size_t pixels = 0;
  for (const auto& op : canvas.opsOf(OpKind::FillRect))
    if (op.brush.color == settings.ChannelColors[0] && op.rect().width() == 1) ++pixels;
  EXPECT_EQ(pixels, static_cast<std::size_t>(300 - 40 + 1));
}

}  // namespace
}  // namespace wave
