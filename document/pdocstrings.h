// Strings that many elements of one document carry (font faces, name
// attributes), each held once for the life of the document.
#pragma once

#include <string>
#include <unordered_set>

#include "document/pdoc.h"

struct pdoc_strings {
  // The held copy of text cut to at most `max` characters; null when memory
  // runs out. Held copies never move, so their pointers stay valid until
  // the pool is destroyed.
  const char* hold(const char* text, size_t max);

 private:
  std::unordered_set<std::string> held_;
};

// Frees a pool (null allowed).
void pdoc_strings_free(pdoc_strings* strings);
