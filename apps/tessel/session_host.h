// The session-host mode of the tessel program: one bridge session's control
// in a process of its own, driven by the bridge over a socket pair, so that a
// document that stalls, hangs or crashes takes only its own session down.
#pragma once

#include <string>

// The word after the program name that starts the mode, and the descriptor
// on which the bridge hands over the channel.
inline constexpr const char* kSessionHostCommand = "session-host";
inline constexpr int kSessionHostChannel = 3;

// Runs the mode until the bridge asks it to quit or goes away; `bridge_pid`
// is the process that started it (the mode ends when that one has gone).
// Answers the exit status.
int run_session_host(const std::string& bridge_pid);
