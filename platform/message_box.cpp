// The process-wide message-box handler.
#include "platform/message_box.h"

#include <utility>

namespace {

MessageBoxHandler& handler() {
  static MessageBoxHandler installed;
  return installed;
}

}  // namespace

MessageBoxHandler set_message_box_handler(MessageBoxHandler next) {
  return std::exchange(handler(), std::move(next));
}

int message_box(const char* text, const char* title, int buttons) {
  if (handler()) return handler()(text ? text : "", title ? title : "", buttons);
  return buttons == MB_OK ? IDOK : IDCANCEL;
}
