// The builder proper: entry points and the three tokenizer handlers that
// repair the markup into the tree's constrained shape as events arrive.
#include "document/pdocbuild.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "document/pdocbuilder.h"
#include "document/pdocimage.h"
#include "document/pdoclist.h"
#include "document/pdocreport.h"
#include "document/pdocstyle.h"
#include "document/pdoctable.h"
#include "document/pdoctags.h"
#include "document/pdoctext.h"
#include "document/qelhtmlparser.h"

namespace {

bool is_c_space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool has_non_space(const char* bytes, int length) {
  for (int i = 0; i < length; ++i)
    if (!is_c_space(static_cast<unsigned char>(bytes[i]))) return true;
  return false;
}

bool same(const char* a, const char* b) {
  return pdoc_same_name(a, b);
}

const char* alias(const char* tag) {
  if (same(tag, "TH")) return "TD";
  if (same(tag, "STRONG")) return "B";
  if (same(tag, "EM")) return "I";
  return tag;
}

const char* current_name(const pdoc_builder* b) {
  return b->current ? b->current->name : "";
}

bool is_silent_start(const char* tag) {
  static const char* const kSilent[] = {"SPAN", "DIV", "A", "TBODY", "FORM", "INPUT", "META", "LINK"};
  for (const char* s : kSilent)
    if (same(tag, s)) return true;
  return false;
}

bool is_silent_end(const char* tag) {
  static const char* const kSilent[] = {"SPAN", "DIV", "A", "TBODY", "FORM", "INPUT", "LI"};
  for (const char* s : kSilent)
    if (same(tag, s)) return true;
  return false;
}

// Tags that may appear inside an emulated list item without closing the list.
bool stays_in_list(int tag) {
  return tag == PDOC_TAG_TEXT || tag == PDOC_TAG_B || tag == PDOC_TAG_U || tag == PDOC_TAG_I || tag == PDOC_TAG_BR ||
         tag == PDOC_TAG_FONT || tag == PDOC_TAG_IMG;
}

bool is_structural(int tag) {
  return tag == PDOC_TAG_HTML || tag == PDOC_TAG_BODY || tag == PDOC_TAG_TABLE || tag == PDOC_TAG_TR ||
         tag == PDOC_TAG_TD || tag == PDOC_TAG_THEAD;
}

// Tags whose elements can hold elements of their own kind, directly or
// through a table: the ones that make deep nesting. A BODY directly under an
// HTML, rows and cells are bounded by what holds them.
bool nests(int tag, const pdoc_element* parent) {
  switch (tag) {
    case PDOC_TAG_HTML:
    case PDOC_TAG_HEAD:
    case PDOC_TAG_IMG:
    case PDOC_TAG_TABLE:
    case PDOC_TAG_DOCTYPE: return true;
    case PDOC_TAG_BODY: return !parent || parent->type != ELE_HTML;
    default: return false;
  }
}

// Beyond the limit, tags that would nest deeper are ignored and what they
// hold goes into the element that is open: the tree stays within reach of
// the layout, the dump and every walk up it. Reported once per build.
bool too_deep(pdoc_builder* b, int index, const char* tag) {
  if (!nests(index, b->current) || b->open.depth() < PDOC_MAX_NESTING) return false;
  if (!b->nesting_reported) {
    b->nesting_reported = 1;
    pdoc_report(b,
                "WARNING Nesting deeper than %d levels. Ignoring %s here and every later tag that "
                "would nest deeper.",
                static_cast<int>(PDOC_MAX_NESTING), tag);
  }
  return true;
}

// The text run no longer takes text: what was known about its last piece goes.
void forget_run(pdoc_builder* b, const pdoc_element* run) {
  if (b->blank_run == run) b->blank_run = nullptr;
  if (b->tab_run == run) b->tab_run = nullptr;
}

void close_current(pdoc_builder* b) {
  pdoc_element* e = b->current;
  pdoc_element* parent = e->parent;
  b->open.closed(e);
  switch (e->type) {
    case ELE_TEXT:
      forget_run(b, e);
      if (b->forced_end)
        b->forced_end = 0;  // the run's style stays in force for what follows
      else
        pdoc_pop_style(b, e->tag);
      if (e->data_len == 0) {
        pdoc_unlink_element(b, e);
        pdoc_free_element(e);
      }
      break;
    case ELE_CELL: pdoc_pop_style(b, PDOC_TAG_TD); break;
    case ELE_TABLE: pdoc_normalize_table(b, e); break;
    case ELE_IMAGE: pdoc_image_finish(b, e); break;
    case ELE_BODY:
      if (!e->child) {
        pdoc_unlink_element(b, e);
        pdoc_free_element(e);
      }
      break;
    default: break;
  }
  b->current = parent;
}

void start_tag(pdoc_builder* b, const char* tag, const char** attributes);
void end_tag(pdoc_builder* b, const char* tag);
void text(pdoc_builder* b, const char* bytes, int length);

void create(pdoc_builder* b, int index, const char* tag, const char** attributes) {
  pdoc_trace("startElement:%s, current is: %s\n", tag, current_name(b));
  pdoc_element* e = pdoc_create_element(b, b->current, index, attributes);
  b->current = e;
  if (e)
    b->open.opened(e);
  else
    b->open.clear();
  if (e && e->type == ELE_HRULE) end_tag(b, e->name);
}

// The handlers of a start tag by the class of the current element. Each
// answers whether it dealt with the tag; otherwise the tag's element is made
// inside the current one.

// Ends the current element and starts the tag again in what holds it.
bool restart_outside(pdoc_builder* b, const char* tag, const char** attributes) {
  end_tag(b, b->current->name);
  start_tag(b, tag, attributes);
  return true;
}

// Inside a table or a header group only rows belong: one is added.
bool start_row_first(pdoc_builder* b, const char* tag, const char** attributes) {
  pdoc_element* cur = b->current;
  pdoc_report(b, "WARNING, should be a row when in a table. Fixing by adding a row.");
  start_tag(b, "tr", nullptr);
  if (b->current != cur) start_tag(b, tag, attributes);
  return true;
}

bool start_in_html(pdoc_builder* b, int index, const char* tag, const char** attributes) {
  if (index == PDOC_TAG_BODY) return false;
  static const char* kAutoBody[] = {"name", "autobody", nullptr};
  start_tag(b, "BODY", kAutoBody);
  if (b->current && b->current->type == ELE_BODY) start_tag(b, tag, attributes);
  return true;
}

bool start_in_body(pdoc_builder* b, int index) {
  if (index != PDOC_TAG_TR && index != PDOC_TAG_TD) return false;
  pdoc_element* cur = b->current;
  start_tag(b, index == PDOC_TAG_TR ? "TABLE" : "TR", nullptr);
  return b->current == cur;  // nested too deep for the table it needs
}

bool start_in_text(pdoc_builder* b, const char* tag, const char** attributes) {
  pdoc_element* cur = b->current;
  pdoc_trace("  startElement:%s, current is: %s, but endElement(ELE_TEXT) first.\n", tag, cur->name);
  b->forced_end = 1;
  end_tag(b, cur->name);
  b->forced_end = 0;
  start_tag(b, tag, attributes);
  return true;
}

bool start_in_table(pdoc_builder* b, int index, const char* tag, const char** attributes) {
  if (index == PDOC_TAG_TABLE) {
    pdoc_trace("Do not nest table tags.  Ending current before making new.\n");
    return restart_outside(b, tag, attributes);
  }
  if (index != PDOC_TAG_TR && index != PDOC_TAG_THEAD) return start_row_first(b, tag, attributes);
  return false;
}

bool start_in_row(pdoc_builder* b, int index, const char* tag, const char** attributes) {
  if (index == PDOC_TAG_TR) {
    pdoc_trace("Do not nest row tags.  Ending current before making new.\n");
    return restart_outside(b, tag, attributes);
  }
  if (index != PDOC_TAG_TD) {
    pdoc_report(b, "WARNING, should be a cell when in a row. Ignoring tag.");
    return true;
  }
  return false;
}

bool start_in_cell(pdoc_builder* b, int index, const char* tag, const char** attributes) {
  if (index == PDOC_TAG_TD) {
    pdoc_trace("Do not nest cell tags.  Ending current before making new.\n");
    return restart_outside(b, tag, attributes);
  }
  if (index == PDOC_TAG_TR) end_tag(b, tag);  // closes the cell and its row
  return false;
}

bool start_in_hrule(pdoc_builder* b, const char* tag, const char** attributes) {
  pdoc_trace("  startElement:%s, current is: %s, but endElement(ELE_HRULE) first.\n", tag, b->current->name);
  return restart_outside(b, tag, attributes);
}

bool start_in_thead(pdoc_builder* b, int index, const char* tag, const char** attributes) {
  if (index == PDOC_TAG_THEAD) {
    pdoc_trace("Do not nest thead tags.  Ending current before making new.\n");
    return restart_outside(b, tag, attributes);
  }
  if (index != PDOC_TAG_TR) return start_row_first(b, tag, attributes);
  return false;
}

bool start_in_current(pdoc_builder* b, int index, const char* tag, const char** attributes) {
  switch (b->current->type) {
    case ELE_HTML: return start_in_html(b, index, tag, attributes);
    case ELE_BODY: return start_in_body(b, index);
    case ELE_TEXT: return start_in_text(b, tag, attributes);
    case ELE_TABLE: return start_in_table(b, index, tag, attributes);
    case ELE_ROW: return start_in_row(b, index, tag, attributes);
    case ELE_CELL: return start_in_cell(b, index, tag, attributes);
    case ELE_HRULE: return start_in_hrule(b, tag, attributes);
    case ELE_THEAD: return start_in_thead(b, index, tag, attributes);
    default: return false;
  }
}

// Inside an emulated list: content between items gets a row of its own, and
// a tag that cannot stay in an item closes the list.
void start_in_list(pdoc_builder* b, int index) {
  if (b->current && b->current->type == ELE_TABLE) {
    // Content between items goes into the second cell of a fresh row.
    const int saved = b->list_depth;
    b->list_depth = 0;
    start_tag(b, "TR", nullptr);
    start_tag(b, "TD", nullptr);
    text(b, " ", 1);
    start_tag(b, "TD", nullptr);
    b->list_depth = saved;
  }
  if (!stays_in_list(index)) {
    b->list_depth = 0;
    end_tag(b, "TD");
    end_tag(b, "TR");
    end_tag(b, "TABLE");
  }
}

// A tag the tree has no element for: a few switch a mode, others are silent.
void start_unknown(pdoc_builder* b, const char* tag) {
  if (is_silent_start(tag)) return;
  if (same(tag, "NOBR")) {
    b->nobr = 1;
  } else if (same(tag, "SCRIPT") || same(tag, "STYLE")) {
    free(b->ignore_tag);
    b->ignore_tag = strdup(tag);
  } else {
    pdoc_report(b, "Unknown TAG %s.", tag);
  }
}

// Nothing is open yet: everything starts inside an HTML element.
void start_document(pdoc_builder* b, int index, const char* tag, const char** attributes) {
  // A doctype before anything else is no content: an HTML and BODY made
  // for it would hold the document's own html as a second page.
  if (index == PDOC_TAG_DOCTYPE) return;
  if (index != PDOC_TAG_HTML) {
    start_tag(b, "HTML", nullptr);
    if (b->current) start_tag(b, tag, attributes);  // else out of memory: drop it
    return;
  }
  create(b, index, tag, attributes);
}

void start_tag(pdoc_builder* b, const char* tag, const char** attributes) {
  if (b->ignore_tag) {
    pdoc_trace("  IGNORING startElement:%s, current is: %s\n", tag, current_name(b));
    return;
  }
  tag = alias(tag);
  if (same(tag, "PRE")) {
    static const char* kPreFont[] = {"face", "courier new", nullptr};
    b->pre = 1;
    start_tag(b, "FONT", kPreFont);
    return;
  }
  const int index = pdoc_tag_index(tag);
  if (same(tag, "LI") || same(tag, "UL") || same(tag, "OL")) {
    pdoc_list_start(b, tag);
    return;
  }
  if (b->list_depth > 0) start_in_list(b, index);
  if (index == PDOC_TAG_UNKNOWN) {
    start_unknown(b, tag);
    return;
  }
  if (!b->current) {
    start_document(b, index, tag, attributes);
    return;
  }
  if (start_in_current(b, index, tag, attributes)) return;
  if (too_deep(b, index, tag)) return;
  create(b, index, tag, attributes);
}

// The end of a structural element that is not the current one: what is open
// inside it is closed first.
void end_structural(pdoc_builder* b, int index, const char* tag) {
  pdoc_element* cur = b->current;
  assert(b->open.innermost() == cur);
  pdoc_element* found = b->open.find(index);
  if (!found) {
    pdoc_report(b, "Unmatched ending. name: %s, curr: %s. Parent not found, Ignoring.", tag, cur->name);
    return;
  }
  if (cur->tag != PDOC_TAG_TEXT)
    pdoc_report(b, "Unmatched ending. name: %s, curr: %s. Found it. Closing em..", tag, cur->name);
  while (b->current && b->current != found) {
    pdoc_element* inner = b->current;
    if (inner->tag != PDOC_TAG_TEXT && inner->tag != PDOC_TAG_HR) pdoc_report(b, "-Forced ending %s.", inner->name);
    end_tag(b, inner->name);
    if (b->current == inner) return;  // could not be closed: give up rather than loop
  }
  if (b->current == found) end_tag(b, found->name);
}

void end_tag(pdoc_builder* b, const char* tag) {
  if (b->ignore_tag) {
    pdoc_trace("  IGNORING in (%s) endElement:%s, current is: %s\n", b->ignore_tag, tag, current_name(b));
    if (same(tag, b->ignore_tag)) {
      free(b->ignore_tag);
      b->ignore_tag = nullptr;
      return;
    }
  }
  tag = alias(tag);
  if (same(tag, "NOBR")) {
    b->nobr = 0;
    return;
  }
  const int index = pdoc_tag_index(tag);
  if (b->list_depth > 0 && (same(tag, "UL") || same(tag, "OL"))) {
    const int saved = b->list_depth;
    b->list_depth = 0;
    end_tag(b, "TABLE");
    b->list_depth = saved - 1;
  }
  if (index == PDOC_TAG_UNKNOWN) {
    if (!is_silent_end(tag)) pdoc_report(b, "Unknown ending TAG %s. Ignoring.", tag);
    return;
  }
  if (index == PDOC_TAG_TD || index == PDOC_TAG_TABLE || index == PDOC_TAG_BODY) b->nobr = 0;
  if (index == PDOC_TAG_PRE) {
    b->pre = 0;
    end_tag(b, "FONT");
    return;
  }
  pdoc_element* cur = b->current;
  if (!cur) return;

  if (same(cur->name, tag)) {
    if (cur->parent)
      pdoc_trace("endElement:%s (curr->name: %s)(curr->parent->name: %s)\n", tag, cur->name, cur->parent->name);
    else
      pdoc_trace("endElement:%s (curr->name: %s)\n", tag, cur->name);
    close_current(b);
    return;
  }

  if (is_structural(index)) {
    end_structural(b, index, tag);
    return;
  }

  if (cur->type != ELE_TEXT) {
    pdoc_pop_style(b, index);
    if (index != PDOC_TAG_FONT) pdoc_report(b, "Unmatched ending. name: %s, curr: %s. Ignoring.", tag, cur->name);
    return;
  }
  if (cur->tag == PDOC_TAG_TEXT) {
    pdoc_trace(
        "   endElement: Terminating TEXT element because </%s> tag. (current->name: %s) "
        "(current->parent->name: %s)\n",
        tag, cur->name, cur->parent ? cur->parent->name : "");
    end_tag(b, cur->name);
    if (b->current != cur) end_tag(b, tag);
    return;
  }
  pdoc_report(b,
              "endElement: Ignoring </%s> unmatched text ending. (current->name: %s) "
              "(current->parent->name: %s)\n",
              tag, cur->name, cur->parent ? cur->parent->name : "");
}

// Whitespace that opens nothing where it arrives (nothing is open, or an
// emulated list is between items) is held back: text that follows it with
// no tag in between takes it along, as if both had come in one piece, and a
// tag drops it. So where the input was cut does not matter.
bool holds_back_space(const pdoc_builder* b) {
  return !b->current || (b->list_depth > 0 && b->current->type == ELE_TABLE);
}

// More held back than this is dropped; it could only be leading blanks of a
// text run, or markup that is anything but a document.
constexpr size_t kMaxHeldSpace = size_t{1} << 20;

void text_now(pdoc_builder* b, const char* bytes, int length);

void text(pdoc_builder* b, const char* bytes, int length) {
  if (b->ignore_tag) return;
  if (holds_back_space(b)) {
    if (!has_non_space(bytes, length)) {
      const size_t room = kMaxHeldSpace - b->held_space.size();
      b->held_space.append(bytes, std::min(room, static_cast<size_t>(length)));
      return;
    }
    if (!b->held_space.empty()) {
      std::string joined = std::move(b->held_space);
      b->held_space.clear();
      joined.append(bytes, static_cast<size_t>(length));
      text_now(b, joined.data(), static_cast<int>(joined.size()));
      return;
    }
  }
  text_now(b, bytes, length);
}

void text_now(pdoc_builder* b, const char* bytes, int length) {
  if (!b->current) {
    if (!has_non_space(bytes, length)) return;
    start_tag(b, "HTML", nullptr);
    start_tag(b, "BODY", nullptr);
    if (b->current) text(b, bytes, length);
    return;
  }
  if (b->list_depth > 0 && b->current->type == ELE_TABLE && has_non_space(bytes, length)) {
    b->list_depth = 0;
    start_tag(b, "TR", nullptr);
    start_tag(b, "TD", nullptr);
    text(b, " ", 1);
    start_tag(b, "TD", nullptr);
    b->list_depth = 1;
  }
  pdoc_element* cur = b->current;
  if (!cur) return;
  switch (cur->type) {
    case ELE_HTML:
    case ELE_BODY:
    case ELE_CELL:
      start_tag(b, "TEXT", nullptr);
      if (b->current && b->current->type == ELE_TEXT) text(b, bytes, length);
      return;
    case ELE_TEXT:
      if (cur->child) pdoc_report(b, "THIS SHOULD NEVER HAPPEN, REPORT THIS LINE pdocbuild: %d.", 2202);
      if (cur->data_len == 0 && length > 0 && pdoc_is_blank(static_cast<unsigned char>(bytes[0])) && cur->prev) {
        pdoc_element* prev = cur->prev;
        if (prev->data_len == 0 || !pdoc_is_blank(static_cast<unsigned char>(prev->data[prev->data_len - 1])))
          pdoc_append_text(b, prev, " ", 1);
      }
      pdoc_append_text(b, cur, bytes, length);
      return;
    case ELE_IMAGE:
      if (cur->image.src && cur->image.embedded && length > 0) pdoc_image_append_inline(b, cur, bytes, length);
      return;
    default: return;  // text directly in tables, rows, groups and rules is dropped
  }
}

}  // namespace

pdoc_document* pdocbuild_feed(pdocbuild_feeder feed, void* user, const pdoc_sources* sources,
                              const char* extra_headers) {
  auto* document = static_cast<pdoc_document*>(calloc(1, sizeof(pdoc_document)));
  if (!document) return nullptr;
  pdoc_builder b{};
  if (sources) {
    b.base_url = sources->base_url;
    b.temp_dir = sources->temp_dir;
    b.fetch = sources->fetch;
  }
  b.extra_headers = extra_headers;

  qelhtmlparser_ptr parser(qelhtmlparser_create(4096));
  if (!parser) {
    printf("Error creating qelhtmlparser\n");
    return document;
  }
  b.parser = parser.get();
  qelhtmlparser_set_user_data(b.parser, &b);
  qelhtmlparser_set_characters_handler(b.parser, pdocbuild::characters);
  qelhtmlparser_set_start_element_handler(b.parser, pdocbuild::startElement);
  qelhtmlparser_set_end_element_handler(b.parser, pdocbuild::endElement);

  feed(b.parser, user);

  // Whatever is still open closes as if its end tags had been written.
  while (b.current) {
    pdoc_element* open = b.current;
    end_tag(&b, open->name);
    if (b.current == open) {
      b.open.closed(open);
      b.current = open->parent;
    }
  }
  free(b.ignore_tag);
  pdoc_clear_styles(&b);
  document->root = b.root;
  document->strings = b.strings.release();
  return document;
}

namespace pdocbuild {

void startElement(void* user, const char* tag, const char** attributes) {
  auto* b = static_cast<pdoc_builder*>(user);
  b->held_space.clear();
  start_tag(b, tag, attributes);
}

void endElement(void* user, const char* tag) {
  auto* b = static_cast<pdoc_builder*>(user);
  b->held_space.clear();
  end_tag(b, tag);
}

void characters(void* user, const char* bytes, int length) {
  text(static_cast<pdoc_builder*>(user), bytes, length);
}

}  // namespace pdocbuild

pdoc_document* pdocbuild_file(FILE* stream, const pdoc_sources* sources, const char* extra_headers) {
  auto feed = [](qelhtmlparser* p, void* user) {
    if (user) qelhtmlparser_parse_file(p, static_cast<FILE*>(user));
  };
  return pdocbuild_feed(feed, stream, sources, extra_headers);
}

pdoc_document* pdocbuild_string(const char* text, const pdoc_sources* sources, const char* extra_headers) {
  auto feed = [](qelhtmlparser* p, void* user) { qelhtmlparser_parse_string(p, static_cast<const char*>(user)); };
  return pdocbuild_feed(feed, const_cast<char*>(text), sources, extra_headers);
}

int pdocbuild_free(pdoc_document* document) {
  if (!document) return 1;
  pdoc_free_elements(document->root);
  pdoc_strings_free(document->strings);
  free(document);
  return 1;
}
