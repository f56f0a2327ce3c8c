// TCP socket object against peers on 127.0.0.1 started here: connect
// failures and their texts, time-out and end-of-data reads, callback
// sequences, the server side, close, and writes to a vanished peer.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/tls_fixtures.h"
#include "net/qelsock.h"
#include "net/qelsockssl_internal.h"
#include "platform/sockets.h"

namespace {

using tessel_testing::unused_loopback_port;

// One-connection peer on 127.0.0.1: waits at most two seconds for a client,
// runs the script on the accepted descriptor, then closes everything.
class Peer {
 public:
  explicit Peer(std::function<void(int)> script) : script_(std::move(script)) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listen_fd_, 4) != 0 ||
        getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      ADD_FAILURE() << "peer cannot listen: " << std::strerror(errno);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      pollfd entry{listen_fd_, POLLIN, 0};
      if (poll(&entry, 1, 2000) == 1) {
        int fd = accept(listen_fd_, nullptr, nullptr);
        if (fd >= 0) {
          script_(fd);
          close(fd);
        }
      }
    });
  }
  ~Peer() {
    thread_.join();
    close(listen_fd_);
  }
  std::string port() const { return std::to_string(port_); }
  int number() const { return port_; }

 private:
  std::function<void(int)> script_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// Records every status and I/O callback as one text per event.
struct Events {
  std::vector<std::string> seen;
  static void status(void* self, int code, const char* text) {
    static_cast<Events*>(self)->seen.push_back("S" + std::to_string(code) + " " + text);
  }
  static void io(void* self, int code, int result) {
    static_cast<Events*>(self)->seen.push_back("I" + std::to_string(code) + " " + std::to_string(result));
  }
  void attach(QELTCPSocket* socket) {
    QELTCPSocketSetUserData(socket, this);
    QELTCPSocketSetCallbacks(socket, status, io);
  }
};

void wait_for_close(int fd) {
  char scratch[256];
  pollfd entry{fd, POLLIN, 0};
  while (poll(&entry, 1, 2000) == 1 && recv(fd, scratch, sizeof scratch, 0) > 0) {
  }
}

TEST(SocketConnect, RefusedPortGivesCodeAndSystemText) {
  Events events;  // outlives the socket, whose close still reports
  QELTCPSocketPtr socket(QELTCPSocketCreate());
  events.attach(socket.get());
  std::string port = unused_loopback_port();
  EXPECT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", port.c_str(), 0), QELSOCK_ERR_CONNECT);
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_CONNECT);
  EXPECT_EQ(std::string(QELTCPSocketError(socket.get())),
            "Couldn't Connect To Socket [WSA error " + std::to_string(ECONNREFUSED) + "]");
  EXPECT_EQ(events.seen,
            (std::vector<std::string>{"S0 Commencing Name Lookup", "S1 Name Lookup Complete", "S2 Connecting Socket"}));
}

TEST(SocketConnect, LookupFailuresStoreOnlyTheCode) {
  QELTCPSocketPtr host(QELTCPSocketCreate());
  // An empty label fails inside the resolver without a query going out.
  EXPECT_EQ(QELTCPSocketConnect(host.get(), "no..such..host", "80", 0), QELSOCK_ERR_HOST);
  EXPECT_STREQ(QELTCPSocketError(host.get()), "Couldn't Find Host!");

  // A value of 0 or a multiple of 65536 goes to the service lookup.
  QELTCPSocketPtr port(QELTCPSocketCreate());
  EXPECT_EQ(QELTCPSocketConnect(port.get(), "127.0.0.1", "65536", 0), QELSOCK_ERR_SERVICE);
  QELTCPSocketPtr zero(QELTCPSocketCreate());
  EXPECT_EQ(QELTCPSocketConnect(zero.get(), "127.0.0.1", "no-such-service", 0), QELSOCK_ERR_SERVICE);
  EXPECT_STREQ(QELTCPSocketError(zero.get()), "Couldn't Find Service/Port!");
}

TEST(SocketConnect, PortTextForms) {
  // Trailing letters after a number, and the low 16 bits of a larger value.
  Peer trailing([](int) {});
  QELTCPSocketPtr first(QELTCPSocketCreate());
  EXPECT_EQ(QELTCPSocketConnect(first.get(), "localhost", (trailing.port() + "abc").c_str(), 0), 0);

  Peer wrapped([](int) {});
  QELTCPSocketPtr second(QELTCPSocketCreate());
  EXPECT_EQ(QELTCPSocketConnect(second.get(), "127.0.0.1", std::to_string(65536 + wrapped.number()).c_str(), 0), 0);
  EXPECT_EQ(ntohs(second->address.sin_port), wrapped.number());

  // A service name resolves for tcp; whether anything listens there is not
  // the point, only that the port was found.
  QELTCPSocketPtr service(QELTCPSocketCreate());
  int result = QELTCPSocketConnect(service.get(), "127.0.0.1", "http", 0);
  EXPECT_NE(result, QELSOCK_ERR_SERVICE);
  EXPECT_EQ(ntohs(service->address.sin_port), 80);
}

TEST(SocketConnect, TLSWithoutHooksFailsBeforeLookup) {
  Events events;  // outlives the socket, whose close still reports
  QELTCPSocketPtr socket(QELTCPSocketCreate());
  events.attach(socket.get());
  EXPECT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", "1", 1), QELSOCK_ERR_NO_SSL);
  EXPECT_TRUE(events.seen.empty());
  EXPECT_EQ(socket->host_name, nullptr);
  EXPECT_STREQ(QELTCPSocketError(socket.get()), "No SSL Support was compiled with this version");
  EXPECT_EQ(QELTCPSocketStartTLS(socket.get()), QELSOCK_ERR_NO_SSL);
}

// A TLS layer of the test's own, which notes each call in the socket's
// Events; its connect makes the state that routes reads and writes to it.
struct NotingTLS {
  static void note(QELTCPSocket* socket, const std::string& what) {
    static_cast<Events*>(socket->user_data)->seen.push_back("T " + what);
  }
  static int connect(QELTCPSocket* socket) {
    note(socket, "connect");
    socket->tls.reset(new QELSockSSLState());
    return 0;
  }
  static void shutdown(QELTCPSocket* socket) { note(socket, "shutdown"); }
  static int read(QELTCPSocket* socket, char* buffer, int size, int) {
    note(socket, "read");
    if (size < 5) return -1;
    std::memcpy(buffer, "hello", 5);
    return 5;
  }
  static int write(QELTCPSocket* socket, const char*, int length) {
    note(socket, "write");
    return length;
  }
  static void release(QELTCPSocket* socket) { note(socket, "release"); }
};

// The socket reaches each entry of its hook table at its place: the
// handshake after the connect, shutdown before the descriptor closes and
// release after it.
TEST(SocketTLSHooks, EachEntryRunsInItsPlace) {
  Peer peer(wait_for_close);
  Events events;  // outlives the socket, whose close still reports
  QELTCPSocketPtr socket(QELTCPSocketCreate());
  events.attach(socket.get());
  static constexpr QELSocketTLSHooks kTable = {NotingTLS::connect, NotingTLS::shutdown, NotingTLS::read,
                                               NotingTLS::write, NotingTLS::release};
  socket->tls_hooks = &kTable;
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", peer.port().c_str(), 1), 0);
  EXPECT_STREQ(socket->host_name.get(), "127.0.0.1");
  EXPECT_EQ(QELTCPSocketWrite(socket.get(), "abc", 3), 3);
  char buffer[8];
  EXPECT_EQ(QELTCPSocketRead(socket.get(), buffer, sizeof buffer), 5);
  EXPECT_EQ(QELTCPSocketClose(socket.get()), 0);
  EXPECT_EQ(events.seen, (std::vector<std::string>{"S0 Commencing Name Lookup", "S1 Name Lookup Complete",
                                                   "S2 Connecting Socket", "S3 Socket Connected", "T connect",
                                                   "S8 Sending Data", "T write", "I11 3", "S9 Reading From Socket",
                                                   "T read", "I12 5", "T shutdown", "S7 Closing Socket", "T release"}));
}

// Entries a table leaves out are failures of their step, never calls
// through null.
TEST(SocketTLSHooks, MissingEntriesFailTheirStep) {
  Peer peer(wait_for_close);
  Events events;
  QELTCPSocketPtr socket(QELTCPSocketCreate());
  events.attach(socket.get());
  static constexpr QELSocketTLSHooks kHandshakeOnly = {NotingTLS::connect, nullptr, nullptr, nullptr, nullptr};
  socket->tls_hooks = &kHandshakeOnly;
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", peer.port().c_str(), 1), 0);
  EXPECT_EQ(QELTCPSocketWrite(socket.get(), "abc", 3), -1);
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_SSL_WRITE);
  char buffer[8];
  EXPECT_EQ(QELTCPSocketRead(socket.get(), buffer, sizeof buffer), -1);
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_SSL_READ);
  EXPECT_EQ(QELTCPSocketClose(socket.get()), 0);

  static constexpr QELSocketTLSHooks kNoHandshake = {nullptr, nullptr, nullptr, nullptr, nullptr};
  QELTCPSocketPtr plain(QELTCPSocketCreate());
  plain->tls_hooks = &kNoHandshake;
  EXPECT_EQ(QELTCPSocketConnect(plain.get(), "127.0.0.1", peer.port().c_str(), 1), QELSOCK_ERR_NO_SSL);
  EXPECT_EQ(QELTCPSocketStartTLS(plain.get()), QELSOCK_ERR_NO_SSL);
}

TEST(SocketConnect, InvalidObjectsAndTexts) {
  EXPECT_EQ(QELTCPSocketConnect(nullptr, "127.0.0.1", "80", 0), QELSOCK_ERR_CREATE);
  EXPECT_STREQ(QELTCPSocketError(nullptr), "Socket Object is NULL!");

  QELTCPSocketPtr socket(QELTCPSocketCreate());
  EXPECT_STREQ(QELTCPSocketError(socket.get()), "No Error");
  socket->error_code = -18;
  EXPECT_STREQ(QELTCPSocketError(socket.get()), "Invalid Socket Error?");
  QELTCPSocketSetErrorf(socket.get(), "%s-%d", "x", 7);
  EXPECT_STREQ(QELTCPSocketError(socket.get()), "x-7");
  QELTCPSocketSetErrorf(socket.get(), "%s", std::string(3000, 'e').c_str());
  EXPECT_EQ(std::strlen(QELTCPSocketError(socket.get())), 1023u);

  QELTCPSocketClose(socket.get());
  EXPECT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", "80", 0), QELSOCK_ERR_CREATE);
  char buffer[4];
  EXPECT_EQ(QELTCPSocketRead(socket.get(), buffer, sizeof buffer), -1);
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_READ);
  EXPECT_EQ(QELTCPSocketWrite(socket.get(), "x", 1), -1);
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_WRITE);
}

TEST(SocketTransfer, CallbackSequenceOfAnExchange) {
  Peer peer([](int fd) {
    char request[16];
    if (recv(fd, request, sizeof request, 0) == 4) send(fd, "pong", 4, 0);
  });
  Events events;  // outlives the socket, whose close still reports
  QELTCPSocketPtr socket(QELTCPSocketCreate());
  events.attach(socket.get());
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", peer.port().c_str(), 0), 0);
  EXPECT_EQ(QELTCPSocketWrite(socket.get(), "ping", 4), 4);
  char reply[16] = {};
  EXPECT_EQ(QELTCPSocketRead(socket.get(), reply, sizeof reply), 4);
  EXPECT_STREQ(reply, "pong");
  EXPECT_EQ(QELTCPSocketRead(socket.get(), reply, sizeof reply), 0);  // peer closed
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), 0);
  EXPECT_EQ(QELTCPSocketClose(socket.get()), 0);
  EXPECT_EQ(QELTCPSocketClose(socket.get()), 0);  // harmless, and silent
  EXPECT_EQ(events.seen,
            (std::vector<std::string>{"S0 Commencing Name Lookup", "S1 Name Lookup Complete", "S2 Connecting Socket",
                                      "S3 Socket Connected", "S8 Sending Data", "I9 4", "S9 Reading From Socket",
                                      "I10 4", "S9 Reading From Socket", "I10 0", "S7 Closing Socket"}));
}

TEST(SocketTransfer, ReadTimesOut) {
  Peer peer(wait_for_close);
  Events events;  // outlives the socket, whose close still reports
  QELTCPSocketPtr socket(QELTCPSocketCreate());
  events.attach(socket.get());
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", peer.port().c_str(), 0), 0);
  EXPECT_EQ(QELTCPSocketSetTimeout(socket.get(), 1), 0);
  char buffer[8];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QELTCPSocketRead(socket.get(), buffer, sizeof buffer), -1);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::seconds(3));
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_READ);
  EXPECT_EQ(events.seen.back(), "I10 -1");
}

TEST(SocketTransfer, UnlimitedWaitEndsWithData) {
  Peer peer([](int fd) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    send(fd, "late", 4, 0);
  });
  QELTCPSocketPtr socket(QELTCPSocketCreate());
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", peer.port().c_str(), 0), 0);
  char buffer[8];
  EXPECT_EQ(QELTCPSocketRead(socket.get(), buffer, sizeof buffer), 4);
}

TEST(SocketTransfer, WriteToVanishedPeerFailsWithoutSignal) {
  Peer peer([](int fd) {
    linger abort_on_close{1, 0};  // close with a reset
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  });
  QELTCPSocketPtr socket(QELTCPSocketCreate());
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", peer.port().c_str(), 0), 0);
  char buffer[8];
  QELTCPSocketRead(socket.get(), buffer, sizeof buffer);  // sees the reset
  std::string block(65536, 'w');
  int result = 0;
  for (int i = 0; i < 50 && result != -1; ++i)
    result = QELTCPSocketWrite(socket.get(), block.data(), static_cast<int>(block.size()));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_WRITE);
}

TEST(SocketServer, ListenAcceptAndPeerAddress) {
  QELTCPSocketPtr server(QELTCPSocketCreate());
  std::string port = unused_loopback_port();
  ASSERT_EQ(QELTCPSocketListen(server.get(), "127.0.0.1", port.c_str(), 4), 0);
  EXPECT_EQ(server->listen_count, 1);
  EXPECT_EQ(ntohs(server->address.sin_port), std::stoi(port));
  EXPECT_EQ(QELTCPSocketListen(server.get(), nullptr, port.c_str(), 4), -1);

  std::thread client([&port] {
    QELTCPSocketPtr socket(QELTCPSocketCreate());
    if (QELTCPSocketConnect(socket.get(), "127.0.0.1", port.c_str(), 0) == 0) QELTCPSocketWrite(socket.get(), "hi", 2);
  });
  QELTCPSocketPtr accepted(QELTCPSocketAccept(server.get()));
  ASSERT_NE(accepted, nullptr);
  EXPECT_EQ(accepted->started, 0);
  EXPECT_EQ(QELTCPSocketLocalPort(server.get()), std::stoi(port));
  EXPECT_EQ(QELTCPSocketLocalPort(accepted.get()), std::stoi(port));
  char address[32];
  EXPECT_EQ(QELTCPSocketPeerAddress(accepted.get(), address, sizeof address), 0);
  EXPECT_STREQ(address, "127.0.0.1");
  char cut[4];
  EXPECT_EQ(QELTCPSocketPeerAddress(accepted.get(), cut, sizeof cut), 0);
  EXPECT_STREQ(cut, "127");
  char greeting[4] = {};
  EXPECT_EQ(QELTCPSocketRead(accepted.get(), greeting, 2), 2);
  EXPECT_STREQ(greeting, "hi");
  client.join();
  int active = qel_socket_active_count();
  accepted.reset();  // closing an accepted socket ends no start-up
  EXPECT_EQ(qel_socket_active_count(), active);
}

// A listen on port 0 is bound somewhere only the query can tell; sockets
// that are bound nowhere have no local port.
TEST(SocketServer, LocalPortOfAnyBinding) {
  QELTCPSocketPtr picked(QELTCPSocketCreate());
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(picked->descriptor, reinterpret_cast<sockaddr*>(&any), sizeof any), 0);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  ASSERT_EQ(getsockname(picked->descriptor, reinterpret_cast<sockaddr*>(&bound), &length), 0);
  EXPECT_EQ(QELTCPSocketLocalPort(picked.get()), ntohs(bound.sin_port));
  EXPECT_GT(QELTCPSocketLocalPort(picked.get()), 0);

  QELTCPSocketPtr unbound(QELTCPSocketCreate());
  EXPECT_EQ(QELTCPSocketLocalPort(unbound.get()), -1);
  QELTCPSocketClose(picked.get());
  EXPECT_EQ(QELTCPSocketLocalPort(picked.get()), -1);
  EXPECT_EQ(QELTCPSocketLocalPort(nullptr), -1);
}

TEST(SocketServer, ListenFailures) {
  QELTCPSocketPtr unknown(QELTCPSocketCreate());
  EXPECT_EQ(QELTCPSocketListen(unknown.get(), "127.0.0.1", "no-such-service", 4), -1);
  EXPECT_EQ(QELTCPSocketErrorCode(unknown.get()), QELSOCK_ERR_SERVICE);

  QELTCPSocketPtr bad_host(QELTCPSocketCreate());
  EXPECT_EQ(QELTCPSocketListen(bad_host.get(), "no..such..host", "80", 4), -1);
  EXPECT_EQ(QELTCPSocketErrorCode(bad_host.get()), QELSOCK_ERR_HOST);

  Peer taken(wait_for_close);
  QELTCPSocketPtr busy(QELTCPSocketCreate());
  EXPECT_NE(QELTCPSocketListen(busy.get(), "127.0.0.1", taken.port().c_str(), 4), 0);
  EXPECT_EQ(std::string(QELTCPSocketError(busy.get())),
            "Couldn't Bind the Port! [WSA error " + std::to_string(EADDRINUSE) + "]");
  QELTCPSocketPtr release(QELTCPSocketCreate());  // lets the peer stop at once
  QELTCPSocketConnect(release.get(), "127.0.0.1", taken.port().c_str(), 0);
  release.reset();

  QELTCPSocketPtr closed(QELTCPSocketCreate());
  QELTCPSocketClose(closed.get());
  EXPECT_EQ(QELTCPSocketListen(closed.get(), nullptr, "80", 4), -1);
  EXPECT_EQ(QELTCPSocketAccept(closed.get()), nullptr);
  EXPECT_EQ(QELTCPSocketErrorCode(closed.get()), QELSOCK_ERR_ACCEPT);
  EXPECT_EQ(QELTCPSocketAcceptTLS(closed.get(), nullptr), -1);
}

TEST(SocketLifecycle, StartUpsPairWithCloseAndOptions) {
  int before = qel_socket_active_count();
  QELTCPSocketPtr tcp(QELTCPSocketCreate());
  QELTCPSocketPtr udp(QELUDPSocketCreate());
  EXPECT_EQ(qel_socket_active_count(), before + 2);
  EXPECT_NE(udp->descriptor, QELSOCK_INVALID);
  int type = 0;
  socklen_t length = sizeof type;
  EXPECT_EQ(QELTCPSocketGetOption(udp.get(), SOL_SOCKET, SO_TYPE, &type, &length), 0);
  EXPECT_EQ(type, SOCK_DGRAM);

  int on = 1;
  EXPECT_EQ(QELTCPSocketSetOption(tcp.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on), 0);
  EXPECT_EQ(QELTCPSocketErrorCode(tcp.get()), 0);
  EXPECT_NE(QELTCPSocketSetOption(tcp.get(), SOL_SOCKET, 9999, &on, sizeof on), 0);
  EXPECT_EQ(QELTCPSocketErrorCode(tcp.get()), QELSOCK_ERR_SETOPT);
  length = 0;
  EXPECT_NE(QELTCPSocketGetOption(tcp.get(), SOL_SOCKET, 9999, &type, &length), 0);
  EXPECT_EQ(QELTCPSocketErrorCode(tcp.get()), QELSOCK_ERR_SETOPT);  // untouched

  EXPECT_EQ(QELTCPSocketSetAux1(tcp.get(), 5u), 0u);
  EXPECT_EQ(QELTCPSocketSetAux1(tcp.get(), 6u), 5u);
  EXPECT_EQ(QELTCPSocketSetTimeout(tcp.get(), 3), 0);
  EXPECT_EQ(QELTCPSocketSetTimeout(tcp.get(), 4), 3);

  QELTCPSocketClose(tcp.get());
  QELTCPSocketClose(tcp.get());
  EXPECT_EQ(qel_socket_active_count(), before + 1);
  udp.reset();
  EXPECT_EQ(qel_socket_active_count(), before);
}

}  // namespace
