// Downloading a picture into a temporary file and learning its type from
// the server's Content-Type.
#include <strings.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>

#include "document/pdocimage.h"
#include "document/pdocimage_files.h"
#include "net/qelhttp.h"

namespace {

struct TypeName {
  const char* content_type;
  int image_class;
};

constexpr TypeName kTypes[] = {
    {"image/bmp", PDOC_IMAGE_BMP},   {"image/jpeg", PDOC_IMAGE_JPEG}, {"image/pjpeg", PDOC_IMAGE_JPEG},
    {"image/x-png", PDOC_IMAGE_PNG}, {"image/png", PDOC_IMAGE_PNG},   {"image/tiff", PDOC_IMAGE_TIFF},
};

// Counts the body as it streams into the file and stops the transfer once
// it is larger than any picture we accept.
int limit_body(void* user, const char*, int length) {
  auto* received = static_cast<long*>(user);
  *received += length;
  return *received > PDOC_IMAGE_MAX_BYTES ? -1 : 0;
}

void type_header(void* user, const char* name, const char* value) {
  pdoc_image_type_header(user, name, value);
}

template <typename Function>
void set_function(QELHTTP* http, int option, Function function) {
  QELHTTPSetOptionInt(http, option, reinterpret_cast<intptr_t>(function));
}

void report_failure(const QELHTTP* http, int result, const char* address) {
  printf(
      "QELHTTPExecute Returned (%d) for url:\n%s\nQELTCPSocketError - %s\nQELHTTPError = %s\n"
      "Received Status Code: %d\nResponse Time: %d Request Time %d Interim Time: %d\n",
      result, address, QELTCPSocketError(QELHTTPSocket(http)), QELHTTPError(http), QELHTTPStatusCode(http),
      QELHTTPTransferTime(http), QELHTTPRequestTime(http), QELHTTPResponseTime(http));
}

}  // namespace

int pdoc_image_class(const char* content_type) {
  if (!content_type) return PDOC_IMAGE_UNSUPPORTED;
  for (const TypeName& type : kTypes)
    if (strcasecmp(content_type, type.content_type) == 0) return type.image_class;
  return PDOC_IMAGE_UNSUPPORTED;
}

int pdoc_image_type_header(void* user, const char* name, const char* value) {
  if (!name || strcasecmp(name, "Content-Type") != 0) return 1;
  const int image_class = pdoc_image_class(value);
  if (image_class == PDOC_IMAGE_UNSUPPORTED)
    printf("Content-Type: %s\n", value ? value : "");
  else if (user)
    *static_cast<int*>(user) = image_class;
  return 1;
}

int pdoc_fetch_image(const char* address, char* name, int* image_class, const char* directory,
                     const char* extra_headers, const pdoc_fetch_settings* settings) {
  name[0] = '\0';
  *image_class = PDOC_IMAGE_UNSUPPORTED;
  const pdoc_fetch_settings fetch = settings ? *settings : pdoc_fetch_settings{};
  QELHTTPPtr http(QELHTTPCreate());
  if (!http) return 0;
  QELHTTPEnableSSL(http.get());
  // The picture is checked as the document was: the session cookie below
  // must not go to a server whose certificate was not verified. Without a
  // CA file or folder the system trust store is used. The client keeps a
  // pointer to the settings until the transfer ends.
  QELSSLSettings tls;
  tls.verify = fetch.verify_tls ? 1 : 0;
  QELHTTPSetSSLSettings(http.get(), &tls);
  if (QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, address) < 0) return 0;

  // The file exists (empty, ours alone) before the client opens it by name.
  const int fd = pdoc_image_create_temp(name, PDOC_IMAGE_NAME_SIZE, directory, "htmlimg", "tmp");
  if (fd < 0) {
    name[0] = '\0';
    return 0;
  }
  close(fd);

  long received = 0;
  if (extra_headers) QELHTTPSetOption(http.get(), QELHTTP_OPT_EXTRA_HEADERS, extra_headers);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
  set_function(http.get(), QELHTTP_OPT_HEADER_CALLBACK, &type_header);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_HEADER_USER_DATA, image_class);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_INCLUDE_HEADERS, 0);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, name);
  set_function(http.get(), QELHTTP_OPT_BODY_CALLBACK, &limit_body);
  // After the TLS settings, which take the user value for themselves but
  // never read it.
  QELHTTPSetOption(http.get(), QELHTTP_OPT_USER_DATA, &received);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_AUX2, 30);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_READ_TIMEOUT, fetch.timeout);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_AUX1, 30);

  const int result = QELHTTPExecute(http.get());
  if (result < 0) {
    report_failure(http.get(), result, address);
    // A partial download is of no use to anyone; leave nothing behind.
    unlink(name);
    name[0] = '\0';
    return 0;
  }
  return 1;
}
