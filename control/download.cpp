// The control's own downloads over the HTTP client.
#include "control/download.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "net/qelhttp.h"
#include "support/qelfile.h"

namespace {

constexpr long kMaxTimeout = 24 * 60 * 60;

}  // namespace

int control_download(const char* url, const char* file, DownloadTls tls, int timeout_seconds) {
  if (url == nullptr || *url == '\0') return -17;
  QELHTTPPtr http{QELHTTPCreate()};
  if (!http) return 0;
  if (tls != DownloadTls::Off) QELHTTPEnableSSL(http.get());
  // The client keeps a pointer to the settings until the transfer ends.
  // With no CA file or folder given, the TLS layer checks against the
  // system trust store, and the host name against the certificate.
  QELSSLSettings settings;
  if (tls == DownloadTls::Verified) {
    settings.verify = 1;
    QELHTTPSetSSLSettings(http.get(), &settings);
  }
  if (QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, url) != 0) return -19;
  if (file == nullptr) return -1;
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_INCLUDE_HEADERS, 0);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_READ_TIMEOUT, timeout_seconds);
  if (const int result = QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, file); result != 0) return result;
  return QELHTTPExecute(http.get());
}

int control_timeout_seconds(const char* text) {
  if (text == nullptr) return kDefaultDownloadTimeout;
  char* end = nullptr;
  errno = 0;
  const long seconds = std::strtol(text, &end, 10);
  while (end != text && (*end == ' ' || *end == '\t')) ++end;
  if (end == text || *end != '\0' || errno != 0 || seconds < 1) return kDefaultDownloadTimeout;
  return static_cast<int>(seconds > kMaxTimeout ? kMaxTimeout : seconds);
}

bool control_claim_file(char* name, size_t size) {
  std::remove(name);
  int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0 && errno == EEXIST) fd = qel_create_tempfile(name, size, nullptr, "tessel", "html");
  if (fd < 0) return false;
  ::close(fd);
  return true;
}
