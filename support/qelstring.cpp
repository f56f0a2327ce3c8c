// Bounded string copy and concatenation.
#include "support/qelstring.h"

#include <cstring>

size_t qel_strlcpy(char* destination, const char* source, size_t size) {
  const size_t length = std::strlen(source);
  if (size > 0) {
    const size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(destination, source, n);
    destination[n] = '\0';
  }
  return length;
}

size_t qel_strlcat(char* destination, const char* source, size_t size) {
  const size_t source_length = std::strlen(source);
  const void* end = std::memchr(destination, '\0', size);
  if (end == nullptr) return size + source_length;
  const size_t used = static_cast<const char*>(end) - destination;
  const size_t room = size - used - 1;
  const size_t n = source_length < room ? source_length : room;
  std::memcpy(destination + used, source, n);
  destination[used + n] = '\0';
  return used + source_length;
}
