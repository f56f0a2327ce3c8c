// Whether a picture address belongs to the document's own server: only
// those requests may carry the document's headers (the user's session).
#include <strings.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "document/pdocimage.h"
#include "document/pdocimage_files.h"
#include "net/qelurl.h"

namespace {

bool all_digits(const char* text) {
  if (!*text) return false;
  for (; *text; ++text)
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  return true;
}

// "80" and "080" are one port; anything that is not a number must match
// exactly.
bool same_port(const char* a, const char* b) {
  if (all_digits(a) && all_digits(b)) return std::strtoul(a, nullptr, 10) == std::strtoul(b, nullptr, 10);
  return std::strcmp(a, b) == 0;
}

}  // namespace

int pdoc_image_same_origin(const char* base_url, const char* address) {
  if (!pdoc_image_is_web_address(base_url) || !pdoc_image_is_web_address(address)) return 0;
  // The same parser the request uses, so that the host compared here is
  // the host the request goes to.
  QELURL base{};
  QELURL target{};
  if (QELURLParse(&base, base_url) != QELURL_OK || QELURLParse(&target, address) != QELURL_OK) return 0;
  if (!base.host[0] || strcasecmp(base.host, target.host) != 0) return 0;
  return same_port(base.port, target.port) ? 1 : 0;
}
