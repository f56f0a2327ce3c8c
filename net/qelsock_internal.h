// Helpers shared by the socket object and the TLS layer that fills its hooks.
#pragma once

#include <cstdint>

#include "net/qelsock.h"

// Calls the status callback, if any, with the code and its fixed text.
void qelsock_status(QELTCPSocket* socket, int code);

// Replaces an owned text field with a copy of text (null clears it).
void qelsock_replace_text(QELSocketText& field, const char* text);

// Stores code and the text "<table text> [WSA error <errno>]".
void qelsock_store_system_error(QELTCPSocket* socket, int code);

// Steady-clock milliseconds, the unit of the socket's deadline.
int64_t qelsock_now_ms();

// The deadline of a wait of seconds (none when below 1), brought forward to
// the socket's own deadline. 0 means no limit at all.
int64_t qelsock_deadline(const QELTCPSocket* socket, int seconds);

// Waits until the descriptor reports one of events or the deadline passes
// (0 waits without limit). True when it reported.
bool qelsock_poll_until(int descriptor, short events, int64_t deadline);
