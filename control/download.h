// The control's downloads: one GET over http (and https when TLS is on)
// into a file, with no extra header lines.
#pragma once

enum class DownloadTls {
    Off,        // https addresses fail
    Unchecked,  // TLS without checking the server certificate
    Verified,   // TLS, certificate checked against the system trust store and the host name
};

// Answers the number of body bytes, 0 for an empty body, or a negative code
// of the HTTP client (an answer other than 200 or 201 is one).
int control_download(const char* url, const char* file, DownloadTls tls);
