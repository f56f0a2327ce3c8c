// Messages between the bridge and the process that runs one session's
// control, over a socket pair: each message is a JSON object and an
// optional payload of bytes (a view's PNG), framed by their lengths.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

struct ChannelMessage {
  std::string json;
  std::string payload;
};

inline constexpr size_t kChannelMaxJson = 4 * 1024 * 1024;
inline constexpr size_t kChannelMaxPayload = 256 * 1024 * 1024;

enum class ChannelStatus {
  Ok,
  Closed,     // the other end is gone
  TimedOut,   // nothing whole arrived (or could be sent) in time
  Malformed,  // a length over the bounds: the channel is unusable
};

using ChannelDeadline = std::chrono::steady_clock::time_point;
inline ChannelDeadline channel_no_deadline() {
  return ChannelDeadline::max();
}

// Sends one message whole, or fails by the deadline. After anything but Ok
// the channel is out of step and is not used again.
ChannelStatus channel_send(int fd, const ChannelMessage& message, ChannelDeadline deadline = channel_no_deadline());

// Receives one message whole, or fails by the deadline.
ChannelStatus channel_receive(int fd, ChannelMessage* message, ChannelDeadline deadline = channel_no_deadline());
