// Starting, asking and ending a session's control process.
#include "apps/tessel/session_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "apps/tessel/session_host.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string temporary_root() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
}

std::string describe(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    const char* name = ::strsignal(WTERMSIG(status));
    return "was killed by signal " + std::to_string(WTERMSIG(status)) +
           (name != nullptr ? std::string(" (") + name + ")" : "");
  }
  return "ended";
}

// The bridge's environment with TMPDIR pointing at the session's folder.
std::vector<std::string> environment_for(const std::string& folder) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "TMPDIR=", 7) != 0) env.emplace_back(*e);
  env.push_back("TMPDIR=" + folder);
  return env;
}

struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

}  // namespace

std::string own_program_path() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

SessionProcess::~SessionProcess() {
  end(std::chrono::milliseconds(0));
}

bool SessionProcess::start(const std::string& program, int trace_output, std::string* error) {
  end(std::chrono::milliseconds(0));
  std::string folder = temporary_root() + "/tessel-session-XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) {
    *error = "cannot make a temporary folder in " + temporary_root() + ": " + std::strerror(errno);
    return false;
  }
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    *error = std::string("cannot make the session's channel: ") + std::strerror(errno);
    std::filesystem::remove_all(folder);
    return false;
  }
  // The child gets its end as descriptor 3, the bridge's real standard
  // output for its trace (the bridge's own goes nowhere) and nothing else
  // of the bridge's; it runs in a process group of its own, so a Ctrl-C
  // at the bridge's terminal reaches the bridge, which then ends the
  // sessions.
  SpawnSetup setup;
  if (trace_output >= 0) posix_spawn_file_actions_adddup2(&setup.actions, trace_output, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&setup.actions, ends[1], kSessionHostChannel);
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, kSessionHostChannel + 1);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&setup.attributes, &none);
  posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
  posix_spawnattr_setpgroup(&setup.attributes, 0);
  posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

  const std::string parent = std::to_string(::getpid());
  std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(kSessionHostCommand),
                          const_cast<char*>(parent.c_str()), nullptr};
  std::vector<std::string> env = environment_for(folder);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = -1;
  const int failed = ::posix_spawn(&pid, program.c_str(), &setup.actions, &setup.attributes, argv.data(), envp.data());
  ::close(ends[1]);
  if (failed != 0) {
    *error = "cannot start " + program + ": " + std::strerror(failed);
    ::close(ends[0]);
    std::filesystem::remove_all(folder);
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  pid_ = pid;
  fd_ = ends[0];
  folder_ = std::move(folder);
  ending_.clear();
  return true;
}

SessionProcess::Outcome SessionProcess::exchange(const std::string& request, ChannelMessage* answer,
                                                 const EventHandler& on_event, std::chrono::seconds limit) {
  if (fd_ < 0) return Outcome::Ended;
  if (channel_send(fd_, {request, {}}, Clock::now() + std::chrono::seconds(5)) != ChannelStatus::Ok)
    return Outcome::Ended;
  Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    ChannelMessage message;
    const ChannelStatus status = channel_receive(fd_, &message, deadline);
    if (status == ChannelStatus::TimedOut) {
      kill_now();
      return Outcome::TimedOut;
    }
    JsonValue value;
    std::string problem;
    if (status != ChannelStatus::Ok || !json_parse(message.json, &value, &problem) || !value.is_object())
      return Outcome::Ended;
    if (value.find("done") != nullptr) {
      *answer = std::move(message);
      return Outcome::Answered;
    }
    const Clock::time_point asked = Clock::now();
    const std::optional<std::string> reply = on_event(value);
    if (reply && channel_send(fd_, {*reply, {}}, Clock::now() + std::chrono::seconds(5)) != ChannelStatus::Ok)
      return Outcome::Ended;
    deadline += Clock::now() - asked;
  }
}

void SessionProcess::kill_now() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pid_ > 0) ::kill(pid_, SIGKILL);
}

// Reaps the process once it has exited. The exit is seen first without
// reaping, so that kill_now can never signal a process id already reused.
bool SessionProcess::reap(bool wait) {
  siginfo_t info{};
  int found;
  do {
    found = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT | (wait ? 0 : WNOHANG));
  } while (found != 0 && errno == EINTR);
  if (found == 0 && info.si_pid == 0) return false;  // still running
  std::lock_guard<std::mutex> lock(mutex_);
  int status = 0;
  if (found == 0 && ::waitpid(pid_, &status, 0) == pid_)
    ending_ = describe(status);
  else
    ending_ = "ended";
  pid_ = -1;
  return true;
}

void SessionProcess::end(std::chrono::milliseconds grace) {
  if (pid_ > 0) {
    if (fd_ >= 0 && grace.count() > 0)
      channel_send(fd_, {"{\"do\":\"quit\"}", {}}, Clock::now() + std::chrono::milliseconds(100));
    const Clock::time_point give_up = Clock::now() + grace;
    bool gone = reap(false);
    while (!gone && Clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      gone = reap(false);
    }
    if (!gone) {
      kill_now();
      reap(true);
    }
  }
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    folder_.clear();
  }
}
