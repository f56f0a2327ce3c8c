// The document tree: element records, text styles, table structures and the
// state of the builder that makes them from tokenizer events.
#pragma once

#include <cstdint>

struct qelhtmlparser;

// Element classes.
enum : int {
  ELE_DOCTYPE = 1,
  ELE_HTML = 2,
  ELE_HEAD = 3,
  ELE_BODY = 4,
  ELE_TEXT = 5,
  ELE_IMAGE = 8,
  ELE_TABLE = 9,
  ELE_ROW = 10,
  ELE_CELL = 11,
  ELE_HRULE = 12,
  ELE_THEAD = 13,
};

// Indices into the element table (the `tag` field). PDOC_TAG_UNKNOWN marks a
// name the table does not hold.
enum : int {
  PDOC_TAG_DOCTYPE = 0,
  PDOC_TAG_HTML = 1,
  PDOC_TAG_TITLE = 2,
  PDOC_TAG_HEAD = 3,
  PDOC_TAG_BODY = 4,
  PDOC_TAG_TEXT = 5,
  PDOC_TAG_P = 6,
  PDOC_TAG_B = 7,
  PDOC_TAG_U = 8,
  PDOC_TAG_I = 9,
  PDOC_TAG_BR = 10,
  PDOC_TAG_FONT = 11,
  PDOC_TAG_CENTER = 12,
  PDOC_TAG_PRE = 13,
  PDOC_TAG_IMG = 14,
  PDOC_TAG_TABLE = 15,
  PDOC_TAG_TR = 16,
  PDOC_TAG_TD = 17,
  PDOC_TAG_HR = 18,
  PDOC_TAG_THEAD = 19,
  PDOC_TAG_UNKNOWN = 20,
};

// Horizontal and vertical alignment values (0 means not given).
enum : int {
  ALIGN_LEFT = 1,
  ALIGN_RIGHT = 2,
  ALIGN_CENTER = 3,
  ALIGN_TOP = 4,
  ALIGN_BOTTOM = 5,
};

// Bits of pdoc_style::flags.
enum : int {
  STYLE_BOLD = 1,
  STYLE_ITALIC = 2,
  STYLE_UNDERLINE = 4,
  STYLE_OUTLINE = 8,
};

// Buffer size of an element's canonical name, terminating NUL included: the
// longest name of the element table is "!DOCTYPE".
inline constexpr int PDOC_NAME_SIZE = 12;
// Longest face and name attribute kept, in characters; longer values are cut.
inline constexpr int PDOC_FACE_MAX = 99;
inline constexpr int PDOC_NAME_ATTR_MAX = 159;

// The complete font state a text run is drawn with. Colours are 0x00BBGGRR;
// -1 means not given.
struct pdoc_style {
  // Never null: a static "Times", or a name held once per document (see
  // pdoc_document::strings), so that copies of a style share it.
  const char* face;
  int32_t align;  // 0, ALIGN_LEFT, ALIGN_RIGHT, ALIGN_CENTER
  int32_t size;   // HTML size number 1-7, 3 normal
  int32_t flags;  // STYLE_* bits
  int32_t color;
  int32_t outline_color;
};

struct pdoc_element;

// Fields of an ELE_IMAGE element.
struct pdoc_image_fields {
  int32_t border;
  int32_t width;   // pixels, 0 = not given
  int32_t height;  // pixels, 0 = not given
  int32_t align;
  char* src;          // heap string: source as written, later the local file; may be null
  int32_t embedded;   // content arrives inline as element text
  int32_t temp_file;  // the file named by src belongs to the element and is deleted with it
  char* side_file;    // heap string: temporary file collecting inline base64 text, or null
};

// One column of a normalised table; filled by table layout.
struct pdoc_column {
  double width_frac;
  int32_t width;
  int32_t max_width;
  int32_t min_width;
  int32_t final_width;
};

// Fields of an ELE_TABLE element. (The kind-specific records are ordered so
// that they need no padding: documents have many elements.)
struct pdoc_table_fields {
  double width_frac;  // a percentage as a fraction (50 % -> 0.5)
  double height_frac;
  pdoc_element*** matrix;  // cols arrays of rows cell pointers, [column][row]
  pdoc_column* columns;    // cols records
  int32_t* row_heights;    // rows values
  int32_t width;
  int32_t height;
  int32_t border;
  int32_t cellpadding;  // default 1
  int32_t cellspacing;  // default 2
  int32_t rows;         // counted as rows are created
  int32_t cols;         // set by normalisation
  int32_t align;
  int32_t bgcolor;    // -1 none
  int32_t max_width;  // natural width, filled by layout
  int32_t min_width;
  int8_t frame;       // 0 not given, 1 void ... 7 vsides
  char forcedisplay;  // 'W', 'H' or 'B' (default)
};

// Fields of an ELE_ROW element.
struct pdoc_row_fields {
  int32_t align;
  int32_t valign;  // ALIGN_TOP, ALIGN_BOTTOM, ALIGN_CENTER
  int32_t height;
  int32_t span_total;  // sum of the colspan of its cells
  int32_t bgcolor;     // -1 none
};

// Fields of an ELE_CELL element.
struct pdoc_cell_fields {
  double width_frac;
  double height_frac;
  int32_t width;
  int32_t height;
  int32_t colspan;  // default 1
  int32_t rowspan;  // default 1
  int32_t align;
  int32_t valign;
  int32_t bgcolor;    // -1 none
  int32_t max_width;  // filled by layout
  int32_t min_width;
  int32_t content_height;
};

// Fields of an ELE_HRULE element.
struct pdoc_rule_fields {
  double width_frac;  // default 1.0
  int32_t align;      // default ALIGN_CENTER
  int32_t noshade;    // 0/1
  int32_t size;       // thickness, default 1, never below 1
  int32_t width;      // pixels, default 0
};

// One element of the tree. Records are heap-allocated zero-filled; text runs
// use `style`, images `image`, tables `table`, rows `row`, cells `cell` and
// rules `rule`.
struct pdoc_element {
  int32_t type;               // ELE_*
  int32_t tag;                // PDOC_TAG_* index
  char name[PDOC_NAME_SIZE];  // canonical name from the element table
  int32_t line, col;          // 1-based tokenizer position just after the start tag
  int32_t data_len;
  pdoc_element* next;
  pdoc_element* prev;
  pdoc_element* child;   // first child
  pdoc_element* parent;  // null at top level
  char* data;            // character data, not NUL-terminated; null when empty

  // The element's name attribute, held once per document like faces; null
  // when not given (and always for DOCTYPE, HTML, HEAD, BODY, HR).
  const char* name_attr;
  // The part that depends on the class; only the member matching `type` may
  // be used (documents have many elements, so they share the space).
  union {
    pdoc_style style;         // ELE_TEXT
    pdoc_image_fields image;  // ELE_IMAGE
    pdoc_table_fields table;  // ELE_TABLE
    pdoc_row_fields row;      // ELE_ROW
    pdoc_cell_fields cell;    // ELE_CELL
    pdoc_rule_fields rule;    // ELE_HRULE
  };
};

// Strings a document's elements share (faces, name attributes); see
// document/pdocstrings.h.
struct pdoc_strings;

// The handle a build returns; the caller owns it and frees it with
// pdocbuild_free.
struct pdoc_document {
  pdoc_element* root;     // first top-level element, null for an empty document
  pdoc_strings* strings;  // what root's elements point into; freed with them
};

// How pictures are downloaded: the same certificate check as the document
// itself, and a bound on every wait of a download.
struct pdoc_fetch_settings {
  int verify_tls = 1;  // check https certificates against the system trust and the host name
  int timeout = 30;    // seconds for a connect with its handshake, a response head, or a stalled body
};

// Where pictures of a document come from and where their files go.
struct pdoc_sources {
  const char* base_url;  // base address for relative image sources, may be null
  const char* temp_dir;  // directory for temporary picture files, null: system default
  pdoc_fetch_settings fetch{};
};

// The state of one build (document/pdocbuilder.h).
struct pdoc_builder;
