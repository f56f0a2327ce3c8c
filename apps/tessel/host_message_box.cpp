// Message boxes of the command-line host.
#include "apps/tessel/host.h"

#include <cstdio>
#include <unistd.h>

#include "platform/message_box.h"

void install_host_message_box() {
  set_message_box_handler([](const char* text, const char* title, int buttons) {
    std::fprintf(stderr, "%s: %s\n", title, text);
    if (buttons != MB_RETRYCANCEL) return IDOK;
    if (!::isatty(STDIN_FILENO)) {
      std::fprintf(stderr, "(no terminal: Cancel)\n");
      return IDCANCEL;
    }
    for (;;) {
      std::fprintf(stderr, "[r]etry or [c]ancel? ");
      std::fflush(stderr);
      char line[64];
      if (std::fgets(line, sizeof line, stdin) == nullptr) return IDCANCEL;
      if (line[0] == 'r' || line[0] == 'R') return IDRETRY;
      if (line[0] == 'c' || line[0] == 'C') return IDCANCEL;
    }
  });
}
