// Realised fonts shared by the Cairo and the PDF contexts: a face matched by
// fontconfig, its whole-pixel metrics and, per byte of text, its glyph and
// advance. Both contexts measure with the same realisation, so a document
// lays out alike on the screen, on a memory bitmap and on paper.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/dc_objects.h"

typedef struct _cairo_scaled_font cairo_scaled_font_t;

struct DcFont final : DcFontData {
  ~DcFont() override;

  // Null for the empty font of a context where no face could be realised:
  // it measures nothing and draws nothing.
  cairo_scaled_font_t* font = nullptr;
  bool symbol = false;  // the "symbol" face: bytes in the Symbol encoding
  int ascent = 0;
  int descent = 0;
  int underline_offset = 0;  // from the baseline down to the top of the underline
  int underline_thickness = 1;
  bool underline = false;
  double em = 0;  // pixels per em
  // Where the face comes from, for files that embed it, and whether its
  // outlines are emboldened for a bold it has none of its own.
  std::string file;
  int face_index = 0;
  bool synthetic_bold = false;

  // Whole-pixel advances keep the width of a string equal to the sum of the
  // widths of its pieces. A byte's glyph is looked up when the byte is first
  // met: loading all 256 glyphs of every font costs more than a short
  // document takes to lay out.
  unsigned long glyph(unsigned char byte) const {
    if (!known_[byte]) look_up(byte);
    return glyph_[byte];
  }
  int advance(unsigned char byte) const {
    if (!known_[byte]) look_up(byte);
    return advance_[byte];
  }
  int width(const char* text, int length) const;
  // The character a byte shows; control bytes (tab, line ends) stand for a
  // space, which is what they are drawn as.
  char32_t code_point(unsigned char byte) const;

 private:
  void look_up(unsigned char byte) const;
  // Filled in as bytes are met; a font belongs to one context, which is used
  // by one thread at a time.
  mutable bool known_[256] = {};
  mutable unsigned long glyph_[256] = {};
  mutable int advance_[256] = {};
};

// Realises a request at dpi (its height in pixels, see DcFontRequest); null
// when no face can be had.
std::unique_ptr<DcFont> dc_realise_font(const DcFontRequest& wanted, int dpi);

// The stock font at dpi; an empty font where none can be realised, so the
// object table is always complete.
std::unique_ptr<DcFont> dc_stock_font(int dpi);

// The realisations a context made last. Layout creates the same few fonts
// again for every cell it measures; matching and realising one is far
// dearer than the text it measures, and a realised font never changes.
class DcFontCache {
 public:
  explicit DcFontCache(int dpi) : dpi_(dpi) {}
  // The realisation of the request, made now or shared with an earlier one;
  // null when it cannot be realised.
  std::shared_ptr<const DcFont> realise(const DcFontRequest& wanted);

 private:
  struct Kept {
    DcFontRequest request;
    std::shared_ptr<const DcFont> font;
  };
  static constexpr size_t kKept = 32;
  int dpi_;
  std::vector<Kept> kept_;  // oldest first
};

// A font request as the object table keeps it: the face name terminated.
DcFontRequest dc_stored_request(const DcFontRequest& wanted);
