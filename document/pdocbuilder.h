// The state of one build: what the tokenizer handlers, attribute readers,
// table normalisation and picture steps share while a document is built.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "document/pdoc.h"
#include "document/pdocopen.h"
#include "document/pdocstrings.h"

struct qelhtmlparser;

// One entry of the style stack: the style in force and the tag that pushed
// it, `count` times over (a run of identical pushes is held once).
struct pdoc_style_entry {
  int32_t tag;
  uint32_t count;
  pdoc_style style;
};

struct pdoc_builder {
  pdoc_element* root;
  pdoc_element* current;  // the open element new content goes into
  qelhtmlparser* parser;  // for positions in reports
  char* ignore_tag;       // SCRIPT/STYLE as written while its content is skipped
  int pre;
  int nobr;
  int list_depth;                       // emulated lists open
  int forced_end;                       // a text run is being ended because a start tag follows
  std::deque<pdoc_style_entry> styles;  // the style stack, top at the back
  const char* base_url;
  const char* temp_dir;
  const char* extra_headers;  // complete header lines for picture downloads
  pdoc_fetch_settings fetch;  // certificate check and time-out for picture downloads
  // The element linked most recently (kept valid by pdoc_unlink_element), so
  // that appending a child rarely has to walk a long sibling list.
  pdoc_element* last_linked;
  // current and the elements open above it.
  pdoc_open_elements open;
  // Faces and name attributes of the elements made; the document takes it.
  std::unique_ptr<pdoc_strings> strings;
  // The text run whose data ends in a collapsed blank stored as a no-break
  // space (under NOBR), and the run whose spaces all became no-break spaces
  // because it holds a TAB under PRE: both must be known when its text goes
  // on in a later piece.
  const pdoc_element* blank_run;
  const pdoc_element* tab_run;
  int nesting_reported;  // the nesting limit was reported once
  // Whitespace held back until the next piece of text shows whether text
  // follows it (pdocbuild.cpp).
  std::string held_space;
};

// The pool of the build's shared strings, made on first use; null when
// memory runs out.
pdoc_strings* pdoc_builder_strings(pdoc_builder* builder);
