// Cairo device contexts; see dc_cairo.h.
#include "platform/dc_cairo.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <strings.h>
#include <cstdio>
#include <utility>

#include "platform/cp1252.h"
#include "platform/png_encode.h"

// A realised font: the Cairo font, its rounded metrics and, per byte of text,
// the glyph and its whole-pixel advance. Whole-pixel advances keep the width
// of a string equal to the sum of the widths of its pieces. A byte's glyph is
// looked up when the byte is first met: loading all 256 glyphs of every font
// costs more than a short document takes to lay out.
struct CairoFont final : DcFontData {
  cairo_scaled_font_t* font = nullptr;
  bool symbol = false;
  int ascent = 0;
  int descent = 0;
  int underline_offset = 0;  // from the baseline down to the top of the underline
  int underline_thickness = 1;
  bool underline = false;

  ~CairoFont() override {
    if (font) cairo_scaled_font_destroy(font);
  }
  unsigned long glyph(unsigned char byte) const {
    if (!known_[byte]) look_up(byte);
    return glyph_[byte];
  }
  int advance(unsigned char byte) const {
    if (!known_[byte]) look_up(byte);
    return advance_[byte];
  }

 private:
  void look_up(unsigned char byte) const;
  // Filled in as bytes are met; a font belongs to one context, which is used
  // by one thread at a time.
  mutable bool known_[256] = {};
  mutable unsigned long glyph_[256] = {};
  mutable int advance_[256] = {};
};

namespace {

struct FaceAlias {
  const char* name;
  const char* family;
};

// Faces documents name, resolved to metric-compatible families.
constexpr FaceAlias kFaceAliases[] = {
    {"times", "Liberation Serif"},       {"times new roman", "Liberation Serif"},
    {"courier", "Liberation Mono"},      {"courier new", "Liberation Mono"},
    {"arial", "Liberation Sans"},        {"helvetica", "Liberation Sans"},
    {"symbol", "Standard Symbols PS"},   {"system", "Liberation Sans"},
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

cairo_scaled_font_t* make_scaled_font(cairo_font_face_t* face, double em,
                                      const cairo_font_options_t* options) {
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

std::unique_ptr<CairoFont> realise_font(const DcFontRequest& wanted, int dpi) {
  char face[DC_FACE_SIZE];
  snprintf(face, sizeof face, "%.*s", DC_FACE_SIZE - 1, wanted.face);
  const bool symbol = strcasecmp(face, "symbol") == 0;
  const int weight = wanted.weight ? wanted.weight : DC_WEIGHT_NORMAL;

  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return nullptr;
  FcPatternAddString(pattern.get(), FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(resolve_family(face)));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, wanted.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result;
  PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
  if (!match) return nullptr;

  std::unique_ptr<cairo_font_face_t, FontFaceDeleter> cairo_face(
      cairo_ft_font_face_create_for_pattern(match.get()));
  if (cairo_font_face_status(cairo_face.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  std::unique_ptr<cairo_font_options_t, FontOptionsDeleter> options(make_font_options());

  double em;
  if (wanted.height < 0)
    em = -static_cast<double>(wanted.height);
  else if (wanted.height == 0)
    em = 12.0 * dpi / 72.0;
  else
    em = wanted.height;

  auto font = std::make_unique<CairoFont>();
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
  font->ascent = static_cast<int>(std::lround(extents.ascent));
  font->descent = static_cast<int>(std::lround(extents.descent));

  font->underline = wanted.underline;
  if (FT_Face ft = cairo_ft_scaled_font_lock_face(font->font)) {
    if (ft->units_per_EM > 0 && ft->underline_thickness > 0) {
      double unit = em / ft->units_per_EM;
      font->underline_thickness =
          std::max(1, static_cast<int>(std::lround(ft->underline_thickness * unit)));
      font->underline_offset = static_cast<int>(
          std::lround(-ft->underline_position * unit - font->underline_thickness / 2.0));
    } else {
      font->underline_thickness = std::max(1, static_cast<int>(em / 14));
      font->underline_offset = font->descent / 2;
    }
    cairo_ft_scaled_font_unlock_face(font->font);
  }
  font->underline_offset = std::max(font->underline_offset, 0);

  font->symbol = symbol;
  return font;
}

}  // namespace

void CairoFont::look_up(unsigned char b) const {
  known_[b] = true;
  if (!font) return;
  // Control bytes (tab, line ends) take the place of a space.
  char32_t code = b < 0x20 ? U' ' : symbol ? symbol_to_unicode(b) : cp1252_to_unicode(b);
  std::string utf8;
  append_utf8(utf8, code);
  cairo_glyph_t* glyphs = nullptr;
  int count = 0;
  if (cairo_scaled_font_text_to_glyphs(font, 0, 0, utf8.data(), static_cast<int>(utf8.size()),
                                       &glyphs, &count, nullptr, nullptr,
                                       nullptr) == CAIRO_STATUS_SUCCESS &&
      count > 0) {
    glyph_[b] = glyphs[0].index;
    if (glyphs[0].index == 0 && symbol) glyphs[0].index = glyph_[b] = symbol_glyph(font, b);
    cairo_text_extents_t glyph_extents;
    cairo_scaled_font_glyph_extents(font, glyphs, 1, &glyph_extents);
    advance_[b] = static_cast<int>(std::lround(glyph_extents.x_advance));
  }
  cairo_glyph_free(glyphs);
}

namespace {

// A stock font even where no font can be realised, so the table is complete;
// text drawn with an empty font draws nothing.
std::unique_ptr<DcFontData> stock_font_data(int dpi) {
  DcFontRequest wanted = dc_stock_font_request();
  wanted.height = wanted.height * dpi / DC_SCREEN_DPI;
  std::unique_ptr<DcFontData> data = realise_font(wanted, dpi);
  if (!data) data = std::make_unique<CairoFont>();
  return data;
}

DcRect intersect(const DcRect& a, const DcRect& b) {
  DcRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

}  // namespace

CairoDc::CairoDc(cairo_surface_t* surface, int width, int height, int dpi, bool paged)
    : surface_(surface),
      cr_(cairo_create(surface)),
      width_(width),
      height_(height),
      dpi_(dpi),
      paged_(paged),
      // The stock font is realised when text first uses it: most drawing
      // selects its own fonts, and matching one costs milliseconds.
      objects_(dc_stock_font_request(), nullptr),
      clip_{0, 0, width, height} {
  if (paged_) cairo_scale(cr_, 72.0 / dpi_, 72.0 / dpi_);
  // Shapes fall on whole pixels; only text is smoothed.
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
  std::unique_ptr<cairo_font_options_t, FontOptionsDeleter> options(make_font_options());
  cairo_set_font_options(cr_, options.get());
}

CairoDc::~CairoDc() {
  cairo_destroy(cr_);
  cairo_surface_finish(surface_);
  cairo_surface_destroy(surface_);
}

std::unique_ptr<CairoDc> CairoDc::create_screen(int width, int height) {
  return create_memory(width, height);
}

std::unique_ptr<CairoDc> CairoDc::create_memory(int width, int height, int dpi) {
  if (width <= 0 || height <= 0 || dpi <= 0 || dpi > 10000) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return std::unique_ptr<CairoDc>(new CairoDc(surface, width, height, dpi, false));
}

std::unique_ptr<CairoDc> CairoDc::create_pdf(const char* path, double width_points,
                                             double height_points, int dpi) {
  if (!path || width_points <= 0 || height_points <= 0 || dpi <= 0 || dpi > 10000) return nullptr;
  cairo_surface_t* surface = cairo_pdf_surface_create(path, width_points, height_points);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  int width = static_cast<int>(std::lround(width_points * dpi / 72.0));
  int height = static_cast<int>(std::lround(height_points * dpi / 72.0));
  std::unique_ptr<CairoDc> dc(new CairoDc(surface, width, height, dpi, true));
  dc->paper_width_points_ = width_points;
  dc->paper_height_points_ = height_points;
  return dc;
}

std::unique_ptr<CairoDc> CairoDc::create_pdf_sheets(const char* path, double paper_width_points,
                                                   double paper_height_points,
                                                   const DcRect& printable, int dpi) {
  std::unique_ptr<CairoDc> dc = create_pdf(path, paper_width_points, paper_height_points, dpi);
  if (!dc) return nullptr;
  if (printable.left < 0 || printable.top < 0 || printable.right <= printable.left ||
      printable.bottom <= printable.top || printable.right > dc->width_ ||
      printable.bottom > dc->height_)
    return nullptr;
  dc->width_ = printable.right - printable.left;
  dc->height_ = printable.bottom - printable.top;
  cairo_translate(dc->cr_, printable.left, printable.top);
  dc->clip_ = {0, 0, dc->width_, dc->height_};
  dc->apply_clip();
  return dc;
}

bool CairoDc::RealisedFont::same_request(const DcFontRequest& other) const {
  return request.height == other.height && request.weight == other.weight &&
         request.italic == other.italic && request.underline == other.underline &&
         strcmp(request.face, other.face) == 0;
}

DcObject CairoDc::create_font(const DcFontRequest& wanted) {
  DcFontRequest stored = wanted;
  stored.face[DC_FACE_SIZE - 1] = '\0';
  // Layout creates the same few fonts again for every cell it measures;
  // matching and realising one is far dearer than the text it measures, and a
  // realised font never changes, so the fonts made last are kept for reuse.
  auto kept = std::find_if(realised_.begin(), realised_.end(),
                           [&](const RealisedFont& f) { return f.same_request(stored); });
  std::shared_ptr<const DcFontData> data = kept != realised_.end() ? kept->data : nullptr;
  if (!data) {
    std::shared_ptr<const DcFontData> font = realise_font(stored, dpi_);
    if (!font) return 0;
    if (realised_.size() >= kRealisedFontsKept) realised_.erase(realised_.begin());
    realised_.push_back({stored, font});
    data = std::move(font);
  }
  ++fonts_created_;
  return objects_.add_font(stored, std::move(data));
}

DcObject CairoDc::create_pen(int width, DcColor color) {
  return objects_.add_pen(std::max(width, 1), color & 0xFFFFFF);
}

DcObject CairoDc::create_solid_brush(DcColor color) {
  return objects_.add_brush(color & 0xFFFFFF);
}

const CairoFont& CairoDc::selected_font() {
  const DcObjectEntry& entry = objects_.selected_entry(DcObjectKind::Font);
  if (!entry.font_data) objects_.set_font_data(objects_.selected(DcObjectKind::Font), stock_font_data(dpi_));
  return static_cast<const CairoFont&>(*entry.font_data);
}

bool CairoDc::text_metrics(DcTextMetrics* metrics) {
  const CairoFont& font = selected_font();
  metrics->ascent = font.ascent;
  metrics->descent = font.descent;
  metrics->height = font.ascent + font.descent;
  return true;
}

bool CairoDc::text_extent(const char* text, int length, DcSize* size) {
  if (!text || length < 0 || !size) return false;
  const CairoFont& font = selected_font();
  int width = 0;
  for (int i = 0; i < length; ++i) width += font.advance(static_cast<unsigned char>(text[i]));
  size->cx = width;
  size->cy = font.ascent + font.descent;
  return true;
}

void CairoDc::set_source(DcColor color) {
  // Each new source is a pattern Cairo allocates and a PDF sheet compares;
  // most fills repeat the colour before them.
  if (source_is_color_ && source_color_ == color) return;
  source_is_color_ = true;
  source_color_ = color;
  cairo_set_source_rgb(cr_, (color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                       ((color >> 16) & 0xFF) / 255.0);
}

void CairoDc::fill_pixels(const DcRect& rect, DcColor color) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  start_sheet();
  set_source(color);
  cairo_rectangle(cr_, rect.left, rect.top, static_cast<double>(rect.right) - rect.left,
                  static_cast<double>(rect.bottom) - rect.top);
  cairo_fill(cr_);
}

bool CairoDc::text_out(int x, int y, const char* text, int length) {
  if (!text || length < 0) return false;
  const CairoFont& font = selected_font();
  DcSize extent;
  text_extent(text, length, &extent);
  if (bk_mode_ == DC_OPAQUE) fill_pixels({x, y, x + extent.cx, y + extent.cy}, bk_color_);
  if (!font.font) return true;
  const int baseline = y + font.ascent;
  std::vector<cairo_glyph_t> glyphs(static_cast<size_t>(length));
  int pen_x = x;
  for (int i = 0; i < length; ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    glyphs[i].index = font.glyph(byte);
    glyphs[i].x = pen_x;
    glyphs[i].y = baseline;
    pen_x += font.advance(byte);
  }
  start_sheet();
  set_source(text_color_);
  if (font.font != scaled_font_) {
    cairo_set_scaled_font(cr_, font.font);
    scaled_font_ = font.font;
  }
  cairo_show_glyphs(cr_, glyphs.data(), length);
  if (font.underline)
    fill_pixels({x, baseline + font.underline_offset, x + extent.cx,
                 baseline + font.underline_offset + font.underline_thickness},
                text_color_);
  return true;
}

DcColor CairoDc::set_text_color(DcColor color) { return std::exchange(text_color_, color & 0xFFFFFF); }
DcColor CairoDc::set_bk_color(DcColor color) { return std::exchange(bk_color_, color & 0xFFFFFF); }

int CairoDc::set_bk_mode(int mode) {
  if (mode != DC_TRANSPARENT && mode != DC_OPAQUE) return 0;
  return std::exchange(bk_mode_, mode);
}

bool CairoDc::move_to(int x, int y) {
  current_x_ = x;
  current_y_ = y;
  return true;
}

bool CairoDc::line_to(int x, int y) {
  const DcObjectEntry& pen = objects_.selected_entry(DcObjectKind::Pen);
  const int width = std::max(pen.pen_width, 1);
  const int before = (width - 1) / 2;
  const int x0 = current_x_, y0 = current_y_;
  current_x_ = x;
  current_y_ = y;
  if (x0 == x && y0 == y) return true;
  start_sheet();
  set_source(pen.color);
  auto square = [&](int px, int py, int w, int h) {
    cairo_rectangle(cr_, px - before, py - before, w + width - 1, h + width - 1);
  };
  if (y0 == y) {
    // The end point is not painted: x0 .. x-1 going right, x+1 .. x0 going left.
    int left = x > x0 ? x0 : x + 1;
    square(left, y, std::abs(x - x0), 1);
  } else if (x0 == x) {
    int top = y > y0 ? y0 : y + 1;
    square(x, top, 1, std::abs(y - y0));
  } else {
    // Bresenham over the major axis, stopping before the end point.
    const long dx = std::abs(static_cast<long>(x) - x0), dy = std::abs(static_cast<long>(y) - y0);
    const int sx = x > x0 ? 1 : -1, sy = y > y0 ? 1 : -1;
    long err = dx - dy;
    int px = x0, py = y0;
    while (px != x || py != y) {
      square(px, py, 1, 1);
      long e2 = 2 * err;
      if (e2 > -dy) {
        err -= dy;
        px += sx;
      }
      if (e2 < dx) {
        err += dx;
        py += sy;
      }
    }
  }
  cairo_fill(cr_);
  return true;
}

bool CairoDc::fill_rect(const DcRect& rect, DcObject brush) {
  const DcObjectEntry* entry = objects_.find(brush);
  if (!entry || entry->kind != DcObjectKind::Brush) return false;
  fill_pixels(rect, entry->color);
  return true;
}

int CairoDc::set_stretch_mode(int mode) {
  if (mode < DC_BLACKONWHITE || mode > DC_COLORONCOLOR) return 0;
  return std::exchange(stretch_mode_, mode);
}

namespace {

// Reads one pixel of a checked packed bitmap as 0x00RRGGBB.
struct DibReader {
  const unsigned char* bits;
  const unsigned char* colors;  // colour table, 4 bytes an entry (blue, green, red, unused)
  int color_count;
  int bit_count;
  int64_t row_bytes;
  int height;
  bool bottom_up;

  uint32_t pixel(int x, int y) const {
    int64_t row = bottom_up ? height - 1 - y : y;
    const unsigned char* p = bits + row * row_bytes;
    auto from_table = [&](unsigned index) -> uint32_t {
      if (static_cast<int>(index) >= color_count) return 0;
      const unsigned char* c = colors + 4 * index;
      return (uint32_t{c[2]} << 16) | (uint32_t{c[1]} << 8) | c[0];
    };
    switch (bit_count) {
      case 1:
        return from_table((p[x >> 3] >> (7 - (x & 7))) & 1);
      case 4:
        return from_table((p[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF);
      case 8:
        return from_table(p[x]);
      case 24:
        p += 3 * static_cast<int64_t>(x);
        return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
      default:
        p += 4 * static_cast<int64_t>(x);
        return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
    }
  }
};

}  // namespace

int CairoDc::stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x,
                         int src_y, int src_width, int src_height, const void* bits,
                         size_t bits_size, const DcBitmapInfoHeader* info) {
  if (!bits || !info || info->size < sizeof(DcBitmapInfoHeader) || info->width <= 0 ||
      info->height == 0 || info->height == INT32_MIN || info->planes != 1 ||
      info->compression != 0)
    return 0;
  const int bit_count = info->bit_count;
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24 && bit_count != 32)
    return 0;
  const int height = std::abs(info->height);
  const int64_t row_bytes = ((static_cast<int64_t>(info->width) * bit_count + 31) / 32) * 4;
  if (static_cast<uint64_t>(row_bytes) * static_cast<uint64_t>(height) > bits_size) return 0;
  if (dest_width <= 0 || dest_height <= 0 || src_width <= 0 || src_height <= 0) return 0;
  if (src_x < 0 || src_y < 0 || src_width > info->width - src_x || src_height > height - src_y)
    return 0;
  int color_count = 0;
  if (bit_count <= 8) {
    color_count = info->clr_used ? static_cast<int>(std::min<uint32_t>(info->clr_used, 256))
                                 : 1 << bit_count;
    color_count = std::min(color_count, 1 << bit_count);
  }
  // Source rows count from the top of the picture.
  const DibReader reader{static_cast<const unsigned char*>(bits),
                         reinterpret_cast<const unsigned char*>(info) + info->size,
                         color_count,
                         bit_count,
                         row_bytes,
                         height,
                         info->height > 0};

  if (paged_) {
    // Vector output: hand over the source rectangle once and let the
    // viewer scale it without smoothing.
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, src_width, src_height);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(image);
      return 0;
    }
    unsigned char* data = cairo_image_surface_get_data(image);
    int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < src_height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
      for (int x = 0; x < src_width; ++x) row[x] = reader.pixel(src_x + x, src_y + y);
    }
    cairo_surface_mark_dirty(image);
    start_sheet();
    cairo_save(cr_);
    cairo_rectangle(cr_, dest_x, dest_y, dest_width, dest_height);
    cairo_clip(cr_);
    cairo_translate(cr_, dest_x, dest_y);
    cairo_scale(cr_, static_cast<double>(dest_width) / src_width,
                static_cast<double>(dest_height) / src_height);
    cairo_set_source_surface(cr_, image, 0, 0);
    source_is_color_ = false;
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
    cairo_paint(cr_);
    cairo_restore(cr_);
    cairo_surface_destroy(image);
    return src_height;
  }

  // Pixel surfaces: sample only the visible part of the box, dropping rows
  // and columns when shrinking and repeating them when growing.
  const DcRect visible = intersect({dest_x, dest_y, dest_x + dest_width, dest_y + dest_height}, clip_);
  if (visible.right <= visible.left || visible.bottom <= visible.top) return src_height;
  const int vw = visible.right - visible.left, vh = visible.bottom - visible.top;
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, vw, vh);
  if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(image);
    return 0;
  }
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  std::vector<int> columns(static_cast<size_t>(vw));
  for (int x = 0; x < vw; ++x)
    columns[x] = src_x + static_cast<int>(static_cast<int64_t>(visible.left - dest_x + x) *
                                          src_width / dest_width);
  for (int y = 0; y < vh; ++y) {
    int sy = src_y + static_cast<int>(static_cast<int64_t>(visible.top - dest_y + y) * src_height /
                                      dest_height);
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < vw; ++x) row[x] = reader.pixel(columns[x], sy);
  }
  cairo_surface_mark_dirty(image);
  cairo_set_source_surface(cr_, image, visible.left, visible.top);
  source_is_color_ = false;
  cairo_paint(cr_);
  cairo_surface_destroy(image);
  return src_height;
}

void CairoDc::apply_clip() {
  cairo_reset_clip(cr_);
  cairo_rectangle(cr_, clip_.left, clip_.top, static_cast<double>(clip_.right) - clip_.left,
                  static_cast<double>(clip_.bottom) - clip_.top);
  cairo_clip(cr_);
}

int CairoDc::save_dc() {
  saved_clips_.push_back(clip_);
  return static_cast<int>(saved_clips_.size());
}

bool CairoDc::restore_dc(int level) {
  const int depth = static_cast<int>(saved_clips_.size());
  if (level < 0) level = depth + 1 + level;  // -1 is the last save
  if (level < 1 || level > depth) return false;
  clip_ = saved_clips_[level - 1];
  saved_clips_.resize(level - 1);
  apply_clip();
  return true;
}

bool CairoDc::intersect_clip_rect(const DcRect& rect) {
  clip_ = intersect(clip_, rect);
  apply_clip();
  return true;
}

DcColor CairoDc::get_pixel(int x, int y) {
  if (paged_ || x < 0 || y < 0 || x >= width_ || y >= height_) return DC_INVALID_COLOR;
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  uint32_t value;
  memcpy(&value, data + static_cast<size_t>(y) * stride() + 4 * static_cast<size_t>(x), 4);
  return dc_rgb((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

void CairoDc::start_sheet() {
  // Before a sheet goes out, Cairo's PDF surface unites the bounds of every
  // operation on it into one region, to find what would need a picture in
  // its place. Each union walks the whole region, and a table's borders
  // make it thousands of rectangles: a quarter of a long table's print.
  // A first operation whose bounds cover the paper keeps that region one
  // rectangle. Its shape is two specks far outside the paper, so nothing
  // is painted on any sheet, and it is made only once something is drawn,
  // so an untouched sheet stays empty and no page is added at the end.
  if (!paged_ || sheet_started_) return;
  sheet_started_ = true;
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  cairo_reset_clip(cr_);
  cairo_set_source_rgb(cr_, 0, 0, 0);
  const double w = paper_width_points_, h = paper_height_points_;
  cairo_rectangle(cr_, -w - 1, -h - 1, 0.5, 0.5);
  cairo_rectangle(cr_, 2 * w + 1, 2 * h + 1, 0.5, 0.5);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

bool CairoDc::start_page() { return true; }

bool CairoDc::end_page() {
  if (!paged_) return true;
  sheet_started_ = false;
  cairo_show_page(cr_);
  return cairo_status(cr_) == CAIRO_STATUS_SUCCESS;
}

unsigned char* CairoDc::bits() {
  if (paged_) return nullptr;
  cairo_surface_flush(surface_);
  return cairo_image_surface_get_data(surface_);
}

int CairoDc::stride() const { return paged_ ? 0 : cairo_image_surface_get_stride(surface_); }

bool CairoDc::encode_png(std::string* out) {
  if (paged_ || !out || cairo_image_surface_get_format(surface_) != CAIRO_FORMAT_RGB24)
    return false;
  cairo_surface_flush(surface_);
  return png_encode_rgb24(cairo_image_surface_get_data(surface_),
                          cairo_image_surface_get_width(surface_),
                          cairo_image_surface_get_height(surface_),
                          cairo_image_surface_get_stride(surface_), out);
}

bool CairoDc::write_png(const char* path) {
  std::string png;
  if (!path || !encode_png(&png)) return false;
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  return std::fclose(file) == 0 && written;
}

void CairoDc::finish() {
  cairo_surface_flush(surface_);
  cairo_surface_finish(surface_);
}
