// Realised fonts; see dc_font.h.
#include "platform/dc_font.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/cp1252.h"

namespace {

struct FaceAlias {
  const char* name;
  const char* family;
};

// Faces documents name, resolved to metric-compatible families.
constexpr FaceAlias kFaceAliases[] = {
    {"times", "Liberation Serif"},     {"times new roman", "Liberation Serif"},
    {"courier", "Liberation Mono"},    {"courier new", "Liberation Mono"},
    {"arial", "Liberation Sans"},      {"helvetica", "Liberation Sans"},
    {"symbol", "Standard Symbols PS"}, {"system", "Liberation Sans"},
    {"", "Liberation Serif"},
};

const char* resolve_family(const char* face) {
  for (const FaceAlias& alias : kFaceAliases)
    if (strcasecmp(face, alias.name) == 0) return alias.family;
  return face;
}

struct PatternDeleter {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

struct FontFaceDeleter {
  void operator()(cairo_font_face_t* face) const { cairo_font_face_destroy(face); }
};
struct FontOptionsDeleter {
  void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};

cairo_font_options_t* make_font_options() {
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  return options;
}

cairo_scaled_font_t* make_scaled_font(cairo_font_face_t* face, double em, const cairo_font_options_t* options) {
  cairo_matrix_t matrix, identity;
  cairo_matrix_init_scale(&matrix, em, em);
  cairo_matrix_init_identity(&identity);
  cairo_scaled_font_t* font = cairo_scaled_font_create(face, &matrix, &identity, options);
  if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS) {
    cairo_scaled_font_destroy(font);
    return nullptr;
  }
  return font;
}

// Symbol fonts often map their codes by the byte itself (in the Unicode
// map too, as the URW Symbol face does) or at 0xF000 + byte in a symbol
// map, rather than at the Unicode value of the character. Answers 0 when no
// map finds a glyph.
unsigned long symbol_glyph(cairo_scaled_font_t* font, unsigned char byte) {
  FT_Face ft = cairo_ft_scaled_font_lock_face(font);
  if (!ft) return 0;
  unsigned long index = 0;
  FT_CharMap previous = ft->charmap;
  for (int i = -1; i < ft->num_charmaps && index == 0; ++i) {
    if (i >= 0) FT_Set_Charmap(ft, ft->charmaps[i]);
    index = FT_Get_Char_Index(ft, byte);
    if (index == 0) index = FT_Get_Char_Index(ft, 0xF000u + byte);
  }
  if (previous) FT_Set_Charmap(ft, previous);
  cairo_ft_scaled_font_unlock_face(font);
  return index;
}

void set_underline(DcFont* font, double em) {
  FT_Face ft = cairo_ft_scaled_font_lock_face(font->font);
  if (!ft) return;
  if (ft->units_per_EM > 0 && ft->underline_thickness > 0) {
    double unit = em / ft->units_per_EM;
    font->underline_thickness = std::max(1, static_cast<int>(std::lround(ft->underline_thickness * unit)));
    font->underline_offset =
        static_cast<int>(std::lround(-ft->underline_position * unit - font->underline_thickness / 2.0));
  } else {
    font->underline_thickness = std::max(1, static_cast<int>(em / 14));
    font->underline_offset = font->descent / 2;
  }
  cairo_ft_scaled_font_unlock_face(font->font);
}

}  // namespace

DcFont::~DcFont() {
  if (font) cairo_scaled_font_destroy(font);
}

int DcFont::width(const char* text, int length) const {
  int total = 0;
  for (int i = 0; i < length; ++i) total += advance(static_cast<unsigned char>(text[i]));
  return total;
}

char32_t DcFont::code_point(unsigned char byte) const {
  if (byte < 0x20) return U' ';
  return symbol ? symbol_to_unicode(byte) : cp1252_to_unicode(byte);
}

void DcFont::look_up(unsigned char b) const {
  known_[b] = true;
  if (!font) return;
  std::string utf8;
  append_utf8(utf8, code_point(b));
  cairo_glyph_t* glyphs = nullptr;
  int count = 0;
  if (cairo_scaled_font_text_to_glyphs(font, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &glyphs, &count, nullptr,
                                       nullptr, nullptr) == CAIRO_STATUS_SUCCESS &&
      count > 0) {
    glyph_[b] = glyphs[0].index;
    if (glyphs[0].index == 0 && symbol) glyphs[0].index = glyph_[b] = symbol_glyph(font, b);
    cairo_text_extents_t glyph_extents;
    cairo_scaled_font_glyph_extents(font, glyphs, 1, &glyph_extents);
    advance_[b] = static_cast<int>(std::lround(glyph_extents.x_advance));
  }
  cairo_glyph_free(glyphs);
}

std::unique_ptr<DcFont> dc_realise_font(const DcFontRequest& wanted, int dpi) {
  char face[DC_FACE_SIZE];
  snprintf(face, sizeof face, "%.*s", DC_FACE_SIZE - 1, wanted.face);
  const bool symbol = strcasecmp(face, "symbol") == 0;
  const int weight = wanted.weight ? wanted.weight : DC_WEIGHT_NORMAL;

  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return nullptr;
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(resolve_family(face)));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, wanted.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result;
  PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
  if (!match) return nullptr;

  std::unique_ptr<cairo_font_face_t, FontFaceDeleter> cairo_face(cairo_ft_font_face_create_for_pattern(match.get()));
  if (cairo_font_face_status(cairo_face.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  std::unique_ptr<cairo_font_options_t, FontOptionsDeleter> options(make_font_options());

  double em;
  if (wanted.height < 0)
    em = -static_cast<double>(wanted.height);
  else if (wanted.height == 0)
    em = 12.0 * dpi / 72.0;
  else
    em = wanted.height;

  auto font = std::make_unique<DcFont>();
  font->font = make_scaled_font(cairo_face.get(), em, options.get());
  if (!font->font) return nullptr;
  cairo_font_extents_t extents;
  cairo_scaled_font_extents(font->font, &extents);
  if (wanted.height > 0 && extents.ascent + extents.descent > 0) {
    // A positive height is the cell height: scale the em to make it so.
    em = em * wanted.height / (extents.ascent + extents.descent);
    cairo_scaled_font_destroy(font->font);
    font->font = make_scaled_font(cairo_face.get(), em, options.get());
    if (!font->font) return nullptr;
    cairo_scaled_font_extents(font->font, &extents);
  }
  font->em = em;
  font->ascent = static_cast<int>(std::lround(extents.ascent));
  font->descent = static_cast<int>(std::lround(extents.descent));
  font->underline = wanted.underline;
  set_underline(font.get(), em);
  font->underline_offset = std::max(font->underline_offset, 0);
  font->symbol = symbol;

  FcChar8* file = nullptr;
  if (FcPatternGetString(match.get(), FC_FILE, 0, &file) == FcResultMatch && file)
    font->file = reinterpret_cast<const char*>(file);
  int index = 0;
  if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) == FcResultMatch) font->face_index = index;
  // A bold the face lacks is made from its outlines (fontconfig's slant
  // for a missing italic is not applied to the glyphs).
  FcBool embolden = FcFalse;
  if (FcPatternGetBool(match.get(), FC_EMBOLDEN, 0, &embolden) == FcResultMatch)
    font->synthetic_bold = embolden == FcTrue;
  return font;
}

std::unique_ptr<DcFont> dc_stock_font(int dpi) {
  DcFontRequest wanted = dc_stock_font_request();
  wanted.height = wanted.height * dpi / DC_SCREEN_DPI;
  std::unique_ptr<DcFont> font = dc_realise_font(wanted, dpi);
  if (!font) font = std::make_unique<DcFont>();
  return font;
}

DcFontRequest dc_stored_request(const DcFontRequest& wanted) {
  DcFontRequest stored = wanted;
  stored.face[DC_FACE_SIZE - 1] = '\0';
  return stored;
}

std::shared_ptr<const DcFont> DcFontCache::realise(const DcFontRequest& wanted) {
  auto same = [&](const Kept& k) {
    return k.request.height == wanted.height && k.request.weight == wanted.weight &&
           k.request.italic == wanted.italic && k.request.underline == wanted.underline &&
           strcmp(k.request.face, wanted.face) == 0;
  };
  auto found = std::find_if(kept_.begin(), kept_.end(), same);
  if (found != kept_.end()) return found->font;
  std::shared_ptr<const DcFont> font = dc_realise_font(wanted, dpi_);
  if (!font) return nullptr;
  if (kept_.size() >= kKept) kept_.erase(kept_.begin());
  kept_.push_back({wanted, font});
  return font;
}
