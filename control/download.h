// The control's downloads: one GET over http (and https when TLS is on)
// into a file, with no extra header lines, every wait bounded.
#pragma once

#include <cstddef>

enum class DownloadTls {
  Off,        // https addresses fail
  Unchecked,  // TLS without checking the server certificate
  Verified,   // TLS, certificate checked against the system trust store and the host name
};

// Seconds any one wait of a download may take (connect with handshake,
// response head, a stalled body) when the host names no `timeout`.
inline constexpr int kDefaultDownloadTimeout = 30;

// Answers the number of body bytes, 0 for an empty body, or a negative code
// of the HTTP client (an answer other than 200 or 201 is one, and so is a
// body cut short).
int control_download(const char* url, const char* file, DownloadTls tls, int timeout_seconds);

// The host parameter `timeout`: a whole number of seconds from 1 up (at
// most a day); anything else gives the default.
int control_timeout_seconds(const char* text);

// Makes name (size bytes) a new, empty file of our own for a download to
// write into: the old file of that name is removed, and when the name is
// still taken (by a link planted there, say) a fresh name replaces it.
// False when no file could be made.
bool control_claim_file(char* name, size_t size);
