// Helpers shared by the socket object and the TLS layer that fills its hooks.
#pragma once

#include "net/qelsock.h"

// Calls the status callback, if any, with the code and its fixed text.
void qelsock_status(QELTCPSocket* socket, int code);

// Replaces an owned text field with a copy of text (null clears it).
void qelsock_replace_text(QELSocketText& field, const char* text);

// Stores code and the text "<table text> [WSA error <errno>]".
void qelsock_store_system_error(QELTCPSocket* socket, int code);
