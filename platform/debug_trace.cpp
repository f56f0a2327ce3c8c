// The debug-trace sink; see debug_trace.h.
#include "platform/debug_trace.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

DebugTraceSink& sink() {
  static DebugTraceSink installed;
  return installed;
}

}  // namespace

DebugTraceSink set_debug_trace_sink(DebugTraceSink next) {
  return std::exchange(sink(), std::move(next));
}

void debug_trace(const char* text) {
  if (text == nullptr) return;
  if (sink()) {
    sink()(text);
    return;
  }
  if (const char* on = std::getenv("TESSEL_DEBUG_TRACE"); on != nullptr && *on != '\0' && *on != '0') {
    std::fputs(text, stderr);
    std::fflush(stderr);
  }
}
