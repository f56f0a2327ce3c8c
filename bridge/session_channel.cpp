// Framing of the session channel: an 8-byte head with the two lengths in
// network order, then the JSON text and the payload.
#include "bridge/session_channel.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace {

// Milliseconds to wait in poll: -1 without a deadline, 0 once it passed.
int wait_ms(ChannelDeadline deadline) {
  if (deadline == ChannelDeadline::max()) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() <= 0 ? 0 : static_cast<int>(left.count() > 60000 ? 60000 : left.count());
}

bool wait_for(int fd, short events, ChannelDeadline deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, wait_ms(deadline));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
    if (n == 0 && std::chrono::steady_clock::now() >= deadline) return false;
  }
}

ChannelStatus send_all(int fd, const char* data, size_t size, ChannelDeadline deadline) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_for(fd, POLLOUT, deadline)) return ChannelStatus::TimedOut;
      continue;
    }
    return ChannelStatus::Closed;
  }
  return ChannelStatus::Ok;
}

ChannelStatus receive_all(int fd, char* data, size_t size, ChannelDeadline deadline) {
  while (size > 0) {
    const ssize_t n = ::recv(fd, data, size, MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n == 0) return ChannelStatus::Closed;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (!wait_for(fd, POLLIN, deadline)) return ChannelStatus::TimedOut;
      continue;
    }
    return ChannelStatus::Closed;
  }
  return ChannelStatus::Ok;
}

void put_u32(unsigned char* out, size_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

size_t get_u32(const unsigned char* in) {
  return (size_t{in[0]} << 24) | (size_t{in[1]} << 16) | (size_t{in[2]} << 8) | size_t{in[3]};
}

}  // namespace

ChannelStatus channel_send(int fd, const ChannelMessage& message, ChannelDeadline deadline) {
  if (message.json.size() > kChannelMaxJson || message.payload.size() > kChannelMaxPayload)
    return ChannelStatus::Malformed;
  unsigned char head[8];
  put_u32(head, message.json.size());
  put_u32(head + 4, message.payload.size());
  ChannelStatus status = send_all(fd, reinterpret_cast<const char*>(head), sizeof head, deadline);
  if (status == ChannelStatus::Ok) status = send_all(fd, message.json.data(), message.json.size(), deadline);
  if (status == ChannelStatus::Ok) status = send_all(fd, message.payload.data(), message.payload.size(), deadline);
  return status;
}

ChannelStatus channel_receive(int fd, ChannelMessage* message, ChannelDeadline deadline) {
  unsigned char head[8];
  ChannelStatus status = receive_all(fd, reinterpret_cast<char*>(head), sizeof head, deadline);
  if (status != ChannelStatus::Ok) return status;
  const size_t json = get_u32(head), payload = get_u32(head + 4);
  if (json > kChannelMaxJson || payload > kChannelMaxPayload) return ChannelStatus::Malformed;
  message->json.resize(json);
  message->payload.resize(payload);
  status = receive_all(fd, message->json.data(), json, deadline);
  if (status == ChannelStatus::Ok) status = receive_all(fd, message->payload.data(), payload, deadline);
  return status;
}
