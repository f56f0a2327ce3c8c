// Texts of the HTTP client's result codes.
#include "net/qelhttp.h"

namespace {
const char* const kErrorTexts[] = {
    "No error",
    "Problem sending request",
    "Problem sending header",
    "Problem sending body",
    "Couldn't create QELBuf object",
    "Not a valid HTTP response",
    "Didn't return valid status code (200)",
    "Error during socket initiation",
    "Problem with host/port",
    "Error reading HTTP header",
    "Error reading HTTP data",
    "Ended prematurely due to function callback",
    "Cancelled by User",
    "Error initing proxy through SSL",
    "SSL is not supported",
    "QELHTTP object is not valid",
    "QELURL object is not valid",
    "No/Invalid url specified for the download",
    "No/Invalid path specified for the download",
    "Couldn't parse the URL sent to download",
    "No/Invalid filename specified for download",
    "Couldn't create local directory for download",
    "Couldn't open local file to save download",
    "Error writing output file for download",
    "Not a Valid HTTP Method",
    "System Error: malloc failed!",
};
}  // namespace

const char* QELHTTPErrorText(int code) {
  if (code > 0 || code < -25) return kErrorTexts[0];
  return kErrorTexts[-code];
}
