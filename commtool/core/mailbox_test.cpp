#include "commtool/core/mailbox.h"

#include <fcntl.h>
#include <sys/socket.h>

#include <future>
#include <thread>

#include <gtest/gtest.h>

namespace tavrix {
namespace {

TEST(Mailbox, OneWakePerBatchAndTakeByBudget) {
  Mailbox mailbox;
  int wakes = 0;
  mailbox.SetWake([&] { ++wakes; });
  for (int i = 0; i < 3; ++i) mailbox.PostData(std::vector<std::uint8_t>(100, static_cast<std::uint8_t>(i)));
  mailbox.PostEnded();
  EXPECT_EQ(wakes, 1);

  bool more = false;
  auto first = mailbox.Take(150, more);
  ASSERT_EQ(first.size(), 2u);  // takes until the budget is reached
  EXPECT_EQ(first[1].bytes.front(), 1);
  EXPECT_TRUE(more);
  mailbox.PostData({9});
  EXPECT_EQ(wakes, 1);  // the taker comes back by itself while more is waiting

  auto rest = mailbox.Take(1 << 20, more);
  ASSERT_EQ(rest.size(), 3u);
  EXPECT_EQ(rest[1].kind, ChannelMessage::Kind::Ended);
  EXPECT_FALSE(more);
  mailbox.PostData({1});
  EXPECT_EQ(wakes, 2);
}

TEST(Mailbox, StreamPosterWaitsForRoomAndStopsOnRequest) {
  Mailbox mailbox(1000);
  mailbox.SetWake([] {});
  std::atomic<bool> stop{false};
  mailbox.PostDataWaiting(std::vector<std::uint8_t>(1500), stop);  // room when posting: may go over once

  auto blocked = std::async(std::launch::async, [&] { mailbox.PostDataWaiting(std::vector<std::uint8_t>(10), stop); });
  bool more = false;
  mailbox.Take(1, more);  // frees the room
  blocked.get();
  EXPECT_EQ(mailbox.PendingBytes(), 10u);

  mailbox.PostDataWaiting(std::vector<std::uint8_t>(2000), stop);
  auto stopped = std::async(std::launch::async, [&] { mailbox.PostDataWaiting(std::vector<std::uint8_t>(5), stop); });
  stop = true;
  mailbox.Interrupt();
  stopped.get();
  EXPECT_EQ(mailbox.PendingBytes(), 2010u);  // the stopped post was dropped
}

TEST(Mailbox, DroppedAcceptedSocketIsClosed) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  UniqueFd other(pair[1]);
  Mailbox mailbox;
  mailbox.PostAccepted(UniqueFd(pair[0]), "127.0.0.1:1");
  mailbox.Clear();
  EXPECT_EQ(::fcntl(pair[0], F_GETFD), -1);
}

}  // namespace
}  // namespace tavrix
