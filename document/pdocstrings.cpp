// Node-based storage keeps every held string where it was made.
#include "document/pdocstrings.h"

#include "document/pdocbuilder.h"

#include <cstring>
#include <new>

const char* pdoc_strings::hold(const char* text, size_t max) {
  try {
    return held_.emplace(text, strnlen(text, max)).first->c_str();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void pdoc_strings_free(pdoc_strings* strings) { delete strings; }

pdoc_strings* pdoc_builder_strings(pdoc_builder* builder) {
  if (!builder->strings) builder->strings.reset(new (std::nothrow) pdoc_strings);
  return builder->strings.get();
}
