// Modal message boxes, supplied by the host: the component asks, the host's
// callback shows the text and answers the button that was pressed.
#pragma once

#include <functional>

// Button sets and answers, with the codes callers and hosts exchange.
inline constexpr int MB_OK = 0;
inline constexpr int MB_RETRYCANCEL = 5;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDRETRY = 4;

// text and title are 8-bit strings; buttons is MB_OK or MB_RETRYCANCEL.
using MessageBoxHandler = std::function<int(const char* text, const char* title, int buttons)>;

// Installs the process-wide handler and answers the previous one. With no
// handler installed a box answers IDOK for MB_OK and IDCANCEL otherwise, so
// nothing waits on a user who is not there.
MessageBoxHandler set_message_box_handler(MessageBoxHandler handler);

// Shows a box through the installed handler and answers its button code.
int message_box(const char* text, const char* title, int buttons);
