// Standard-output routing for the debug console.
#include "platform/console.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

int saved_stdout = -1;
std::FILE* host_output = nullptr;
bool opened = false;
bool (*forward_open)() = nullptr;

}  // namespace

bool console_hide_stdout() {
  if (saved_stdout >= 0) return true;
  std::fflush(stdout);
  const int copy = ::dup(STDOUT_FILENO);
  if (copy < 0) return false;
  const int null_fd = ::open("/dev/null", O_WRONLY);
  if (null_fd < 0 || ::dup2(null_fd, STDOUT_FILENO) < 0) {
    if (null_fd >= 0) ::close(null_fd);
    ::close(copy);
    return false;
  }
  ::close(null_fd);
  ::fcntl(copy, F_SETFD, FD_CLOEXEC);
  saved_stdout = copy;
  host_output = ::fdopen(::dup(copy), "w");
  return true;
}

std::FILE* console_host_output() {
  return host_output != nullptr ? host_output : stdout;
}

bool console_open() {
  if (forward_open != nullptr) {
    opened = forward_open();
    return opened;
  }
  std::fflush(stdout);
  if (saved_stdout >= 0 && !opened) {
    if (host_output != nullptr) std::fflush(host_output);
    if (::dup2(saved_stdout, STDOUT_FILENO) < 0) return false;
  }
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  opened = true;
  return true;
}

bool console_is_open() {
  return opened;
}

void console_forward_open(bool (*open)()) {
  forward_open = open;
}
