// Start-up and clean-up of the socket library, and its last error number.
// POSIX sockets need no start-up; the calls keep count so that every
// start-up is paired with one clean-up.
#pragma once

// Answers 0 when the library is ready for the requested version.
int qel_socket_startup(int major, int minor);

// Ends one start-up. Answers 0, or -1 when there was none to end.
int qel_socket_cleanup();

// Start-ups not yet cleaned up, process-wide.
int qel_socket_active_count();

// The calling thread's last socket error number (errno here).
int qel_socket_last_error();

// While alive, a write to a socket whose peer has gone fails with EPIPE on
// this thread instead of raising SIGPIPE; a SIGPIPE raised meanwhile is
// consumed. For writes that cannot pass MSG_NOSIGNAL (the TLS library's).
class QELSigpipeBlock {
 public:
  QELSigpipeBlock();
  ~QELSigpipeBlock();
  QELSigpipeBlock(const QELSigpipeBlock&) = delete;
  QELSigpipeBlock& operator=(const QELSigpipeBlock&) = delete;

 private:
  bool was_pending_ = false;
  bool was_blocked_ = false;
};
