// Building the document tree from HTML bytes: entry points and the tokenizer
// handlers that repair the structure as events arrive.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

#include "document/pdoc.h"
#include "document/pdoctree.h"

// Open elements a build lets nest; a tag that would nest deeper is reported
// and ignored, and what it holds goes into the element that is open.
inline constexpr size_t PDOC_MAX_NESTING = 1000;

// Builds the tree of a whole stream. sources and extra_headers may be null.
// Null only when the handle cannot be allocated; a document without content
// gives a handle whose root is null.
pdoc_document* pdocbuild_file(FILE* stream, const pdoc_sources* sources, const char* extra_headers);

// The same for a NUL-terminated string (null: an empty document).
pdoc_document* pdocbuild_string(const char* text, const pdoc_sources* sources, const char* extra_headers);

struct qelhtmlparser;

// The common build: `feed` hands the whole input to the tokenizer it gets,
// in as many pieces as it likes. The two entry points above are this with
// a stream and with a string.
using pdocbuild_feeder = void (*)(qelhtmlparser* parser, void* user);
pdoc_document* pdocbuild_feed(pdocbuild_feeder feed, void* user, const pdoc_sources* sources,
                              const char* extra_headers);

// Frees the tree and the handle (null allowed). Answers 1.
int pdocbuild_free(pdoc_document* document);

struct pdoc_document_deleter {
  void operator()(pdoc_document* document) const { pdocbuild_free(document); }
};
using pdoc_document_ptr = std::unique_ptr<pdoc_document, pdoc_document_deleter>;

// The tokenizer handlers; `user` is the pdoc_builder.
namespace pdocbuild {
void startElement(void* user, const char* tag, const char** attributes);
void endElement(void* user, const char* tag);
void characters(void* user, const char* bytes, int length);
}  // namespace pdocbuild
