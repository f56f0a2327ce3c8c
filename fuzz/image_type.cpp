// Fuzzes what a picture download takes from untrusted text: the
// Content-Type header handler (any name and value) and the test of whether
// an address belongs to the document's server (any pair of addresses). The
// input is split at its first two line feeds: header name, header value,
// then base address and picture address separated by a space.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "document/pdocimage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* quiet = freopen("/dev/null", "w", stdout);
  (void)quiet;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t first = input.find('\n');
  const std::string name = input.substr(0, first);
  const std::string value = first == std::string::npos ? "" : input.substr(first + 1);
  const std::string header_value = value.substr(0, value.find('\n'));
  const std::string addresses = value.find('\n') == std::string::npos ? "" : value.substr(value.find('\n') + 1);

  int image_class = PDOC_IMAGE_UNSUPPORTED;
  if (pdoc_image_type_header(&image_class, name.c_str(), header_value.c_str()) != 1) std::abort();
  if (image_class < PDOC_IMAGE_UNSUPPORTED || image_class > PDOC_IMAGE_TIFF) std::abort();
  if (image_class != PDOC_IMAGE_UNSUPPORTED && image_class != pdoc_image_class(header_value.c_str())) std::abort();

  const size_t space = addresses.find(' ');
  const std::string base = addresses.substr(0, space);
  const std::string address = space == std::string::npos ? "" : addresses.substr(space + 1);
  const int same = pdoc_image_same_origin(base.c_str(), address.c_str());
  if (same != 0 && same != 1) std::abort();
  // Sharing a server is symmetric.
  if (same != pdoc_image_same_origin(address.c_str(), base.c_str())) std::abort();
  return 0;
}
