// The channel between the bridge and a session's process: messages arrive
// whole with their payload, bad lengths and a gone peer are told apart, and
// a wait ends at its deadline.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "bridge/session_channel.h"

namespace {

struct SocketPair {
  int ends[2] = {-1, -1};
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0); }
  ~SocketPair() {
    for (const int fd : ends)
      if (fd >= 0) ::close(fd);
  }
};

ChannelDeadline in_ms(int ms) {
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
}

TEST(SessionChannel, CarriesMessagesWithLargePayloadsWhole) {
  SocketPair pair;
  const ChannelMessage sent{"{\"done\":true}", std::string(3 * 1024 * 1024, '\x89')};
  // Larger than the socket's buffer: sent while the other side reads.
  std::thread sender([&] { EXPECT_EQ(channel_send(pair.ends[0], sent, in_ms(5000)), ChannelStatus::Ok); });
  ChannelMessage got;
  EXPECT_EQ(channel_receive(pair.ends[1], &got, in_ms(5000)), ChannelStatus::Ok);
  sender.join();
  EXPECT_EQ(got.json, sent.json);
  EXPECT_EQ(got.payload, sent.payload);
  EXPECT_EQ(channel_send(pair.ends[1], {"{}", {}}), ChannelStatus::Ok);
  EXPECT_EQ(channel_receive(pair.ends[0], &got), ChannelStatus::Ok);
  EXPECT_EQ(got.json, "{}");
  EXPECT_EQ(got.payload, "");
}

TEST(SessionChannel, TellsATimeOutABadLengthAndAGonePeerApart) {
  SocketPair pair;
  ChannelMessage got;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(channel_receive(pair.ends[1], &got, in_ms(200)), ChannelStatus::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(190));

  // A head claiming more than the bounds is refused before any allocation.
  const unsigned char huge[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  ASSERT_EQ(::write(pair.ends[0], huge, sizeof huge), 8);
  EXPECT_EQ(channel_receive(pair.ends[1], &got, in_ms(200)), ChannelStatus::Malformed);

  // A message cut short by the peer's end is no message.
  const unsigned char head[8] = {0, 0, 0, 10, 0, 0, 0, 0};
  ASSERT_EQ(::write(pair.ends[0], head, sizeof head), 8);
  ASSERT_EQ(::write(pair.ends[0], "{\"a\"", 4), 4);
  ::close(pair.ends[0]);
  pair.ends[0] = -1;
  EXPECT_EQ(channel_receive(pair.ends[1], &got, in_ms(200)), ChannelStatus::Closed);
  EXPECT_EQ(channel_send(pair.ends[1], {"{}", {}}, in_ms(200)), ChannelStatus::Closed);
}

}  // namespace
