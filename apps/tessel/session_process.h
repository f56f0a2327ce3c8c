// One session's control process as the bridge sees it: started as
// `tessel session-host` with a socket pair and a temporary folder of its
// own, asked one request at a time, and ended (killed when it must be),
// after which its folder goes, whatever the process left there.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "bridge/json.h"
#include "bridge/session_channel.h"

class SessionProcess {
 public:
  SessionProcess() = default;
  ~SessionProcess();
  SessionProcess(const SessionProcess&) = delete;
  SessionProcess& operator=(const SessionProcess&) = delete;

  // Starts `program session-host` with its temporary folder below
  // $TMPDIR and `trace_output` (when not -1) as its standard output.
  // False with a reason when it cannot be started.
  bool start(const std::string& program, int trace_output, std::string* error);
  bool running() const { return fd_ >= 0; }

  enum class Outcome {
    Answered,
    Ended,     // the process died (or the channel broke): it is gone
    TimedOut,  // no answer within the limit: it was killed
  };
  // Messages the control sends while it works (a message box, a printer
  // question); the handler answers the ones that wait for an answer.
  using EventHandler = std::function<std::optional<std::string>(const JsonValue& event)>;

  // Sends a request and waits for its answer. `limit` counts the
  // control's own time: the time `on_event` takes is not counted.
  Outcome exchange(const std::string& request, ChannelMessage* answer, const EventHandler& on_event,
                   std::chrono::seconds limit);

  // Asks the process to quit, kills it when it has not within `grace`,
  // reaps it and removes its folder. Nothing happens when none runs.
  void end(std::chrono::milliseconds grace);

  // From any thread: kills the process now, so a running exchange ends.
  void kill_now();

  // How the last process ended ("killed by signal 9", "exited with
  // status 1"); empty before.
  const std::string& ending() const { return ending_; }

 private:
  bool reap(bool wait);

  std::mutex mutex_;  // guards pid_ against kill_now from other threads
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string folder_;
  std::string ending_;
};

// The file of the running program, for starting its session-host mode.
std::string own_program_path();
