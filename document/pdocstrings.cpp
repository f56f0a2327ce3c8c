// Node-based storage keeps every held string where it was made.
#include "document/pdocstrings.h"

#include <cstring>
#include <memory>
#include <new>

#include "document/pdocbuilder.h"

const char* pdoc_strings::hold(const char* text, size_t max) {
  try {
    return held_.emplace(text, strnlen(text, max)).first->c_str();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void pdoc_strings_free(pdoc_strings* strings) {
  std::unique_ptr<pdoc_strings> owned(strings);
}

pdoc_strings* pdoc_builder_strings(pdoc_builder* builder) {
  if (!builder->strings) {
    try {
      builder->strings = std::make_unique<pdoc_strings>();
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return builder->strings.get();
}
