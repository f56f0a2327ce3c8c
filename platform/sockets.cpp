// Socket library start-up stand-in: POSIX sockets need none, so start-up and
// clean-up only keep their pairing count; errors are errno. Also keeps
// SIGPIPE away from writes to closed connections.
#include "platform/sockets.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <ctime>

namespace {
std::atomic<int> active_startups{0};
}

int qel_socket_startup(int major, int minor) {
  if (major < 1 || minor < 0) return -1;
  ++active_startups;
  return 0;
}

int qel_socket_cleanup() {
  int current = active_startups.load();
  while (current > 0) {
    if (active_startups.compare_exchange_weak(current, current - 1)) return 0;
  }
  return -1;
}

int qel_socket_active_count() {
  return active_startups.load();
}

int qel_socket_last_error() {
  return errno;
}

QELSigpipeBlock::QELSigpipeBlock() {
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  was_pending_ = sigismember(&pending, SIGPIPE) == 1;

  sigset_t pipe_only;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  sigset_t previous;
  sigemptyset(&previous);
  pthread_sigmask(SIG_BLOCK, &pipe_only, &previous);
  was_blocked_ = sigismember(&previous, SIGPIPE) == 1;
}

QELSigpipeBlock::~QELSigpipeBlock() {
  int saved_errno = errno;
  if (!was_pending_) {
    // Consume a SIGPIPE our own write raised so it is not delivered later.
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    const timespec no_wait{0, 0};
    while (sigtimedwait(&pipe_only, nullptr, &no_wait) == SIGPIPE) {
    }
  }
  if (!was_blocked_) {
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &pipe_only, nullptr);
  }
  errno = saved_errno;
}
