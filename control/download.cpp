// The control's own downloads over the HTTP client.
#include "control/download.h"

#include <memory>

#include "net/qelhttp.h"

namespace {

struct HttpDeleter {
    void operator()(QELHTTP* http) const { QELHTTPDestroy(http); }
};

} // namespace

int control_download(const char* url, const char* file, DownloadTls tls)
{
    if (tls == DownloadTls::Off)
        return QELHTTPDownload(url, file, nullptr, nullptr, nullptr, nullptr, nullptr);

    if (url == nullptr || *url == '\0')
        return -17;
    std::unique_ptr<QELHTTP, HttpDeleter> http{QELHTTPCreate()};
    if (!http)
        return 0;
    QELHTTPEnableSSL(http.get());
    // The client keeps a pointer to the settings until the transfer ends.
    // With no CA file or folder given, the TLS layer checks against the
    // system trust store, and the host name against the certificate.
    QELSSLSettings settings;
    if (tls == DownloadTls::Verified) {
        settings.verify = 1;
        QELHTTPSetSSLSettings(http.get(), &settings);
    }
    if (QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, url) != 0)
        return -19;
    QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
    QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_INCLUDE_HEADERS, 0);
    if (const int result = QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, file); result != 0)
        return result;
    return QELHTTPExecute(http.get());
}
