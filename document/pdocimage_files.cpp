// Temporary picture files and the test for web addresses.
#include "document/pdocimage_files.h"

#include <strings.h>

#include "support/qelfile.h"

int pdoc_image_create_temp(char* name, size_t size, const char* directory, const char* prefix, const char* extension) {
  return qel_create_tempfile(name, size, directory, prefix, extension);
}

int pdoc_image_is_web_address(const char* text) {
  return text && (strncasecmp(text, "http://", 7) == 0 || strncasecmp(text, "https://", 8) == 0);
}
