// The debug trace: lines meant for a developer watching the component, not
// for its user or its standard output. Nothing is written unless a sink is
// installed or TESSEL_DEBUG_TRACE is set (then the lines go to standard error).
#pragma once

#include <functional>

using DebugTraceSink = std::function<void(const char* text)>;

// Installs the process-wide sink and answers the previous one.
DebugTraceSink set_debug_trace_sink(DebugTraceSink sink);

// Writes text as it is (callers end their lines themselves).
void debug_trace(const char* text);
