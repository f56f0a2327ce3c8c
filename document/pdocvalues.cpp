// Attribute value syntaxes. Every reader accepts any bytes: values come
// straight from documents.
#include "document/pdocvalues.h"

#include <strings.h>

#include <cstring>
#include <limits>

#include "document/pdoc.h"

namespace {

constexpr int64_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

int32_t saturate(int64_t v) {
  if (v < kIntMin) return static_cast<int32_t>(kIntMin);
  if (v > kIntMax) return static_cast<int32_t>(kIntMax);
  return static_cast<int32_t>(v);
}

// C-locale whitespace, as atoi skips it.
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int32_t pdoc_read_int(const char* text) {
  if (!text) return 0;
  const char* p = text;
  while (is_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    // Stop growing once past the range; the remaining digits are still read.
    if (value <= kIntMax + 1) value = value * 10 + (*p - '0');
  }
  return saturate(negative ? -value : value);
}

void pdoc_read_length(const char* text, int32_t* pixels, double* fraction) {
  if (!text) return;
  if (std::strchr(text, '%'))
    *fraction = pdoc_read_int(text) / 100.0;
  else
    *pixels = pdoc_read_int(text);
}

bool pdoc_read_align(const char* text, int32_t* field) {
  if (!text) return false;
  if (strcasecmp(text, "left") == 0) {
    *field = ALIGN_LEFT;
  } else if (strcasecmp(text, "right") == 0) {
    *field = ALIGN_RIGHT;
  } else if (strcasecmp(text, "center") == 0) {
    *field = ALIGN_CENTER;
  } else {
    return false;
  }
  return true;
}

bool pdoc_read_valign(const char* text, int32_t* field) {
  if (!text) return false;
  if (strcasecmp(text, "top") == 0) {
    *field = ALIGN_TOP;
  } else if (strcasecmp(text, "bottom") == 0) {
    *field = ALIGN_BOTTOM;
  } else if (strcasecmp(text, "center") == 0) {
    *field = ALIGN_CENTER;
  } else {
    return false;
  }
  return true;
}

int32_t pdoc_read_font_size(int32_t current, const char* text) {
  if (!text) return current;
  if (text[0] == '-') return saturate(static_cast<int64_t>(current) - pdoc_read_int(text + 1));
  if (text[0] == '+') return saturate(static_cast<int64_t>(current) + pdoc_read_int(text + 1));
  return pdoc_read_int(text);
}
