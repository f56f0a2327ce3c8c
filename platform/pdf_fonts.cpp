// The fonts of a PDF file; see pdf_fonts.h.
#include "platform/pdf_fonts.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/cp1252.h"
#include "platform/pdf_file.h"
#include "platform/pdf_syntax.h"

struct PdfFonts::Face {
  std::string file;
  int index = 0;
  bool symbol = false;
  std::bitset<256> codes;  // shown with any size of the face
  unsigned glyph[256] = {};
  char32_t code_point[256] = {};
};

struct PdfFonts::Sized {
  Face* face = nullptr;
  double em = 0;
  bool bold = false;  // emboldened outlines have advances of their own
  int resource = 0;
  std::bitset<256> used;
  int advance[256] = {};
};

namespace {

struct HbBlobDeleter {
  void operator()(hb_blob_t* b) const { hb_blob_destroy(b); }
};
struct HbFaceDeleter {
  void operator()(hb_face_t* f) const { hb_face_destroy(f); }
};
struct HbInputDeleter {
  void operator()(hb_subset_input_t* i) const { hb_subset_input_destroy(i); }
};
using HbBlob = std::unique_ptr<hb_blob_t, HbBlobDeleter>;
using HbFace = std::unique_ptr<hb_face_t, HbFaceDeleter>;
using HbInput = std::unique_ptr<hb_subset_input_t, HbInputDeleter>;

struct FtLibraryDeleter {
  void operator()(FT_Library l) const { FT_Done_FreeType(l); }
};
struct FtFaceDeleter {
  void operator()(FT_Face f) const { FT_Done_Face(f); }
};
using FtLibrary = std::unique_ptr<std::remove_pointer_t<FT_Library>, FtLibraryDeleter>;
using FtFace = std::unique_ptr<std::remove_pointer_t<FT_Face>, FtFaceDeleter>;

bool has_table(hb_face_t* face, hb_tag_t tag) {
  HbBlob table(hb_face_reference_table(face, tag));
  return hb_blob_get_length(table.get()) > 0;
}

std::string blob_bytes(hb_blob_t* blob) {
  unsigned length = 0;
  const char* data = hb_blob_get_data(blob, &length);
  return std::string(data ? data : "", data ? length : 0);
}

// Six capitals that differ between subsets of one face, as the tag before
// a subset's name must.
std::string subset_tag(const std::string& file, const std::bitset<256>& codes) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&](unsigned char c) { h = (h ^ c) * 1099511628211ull; };
  for (unsigned char c : file) mix(c);
  for (int c = 0; c < 256; ++c) mix(codes[c] ? 1 : 0);
  std::string tag(6, 'A');
  for (char& c : tag) {
    c = static_cast<char>('A' + h % 26);
    h /= 26;
  }
  return tag;
}

std::string postscript_name(FT_Face face) {
  const char* name = face ? FT_Get_Postscript_Name(face) : nullptr;
  std::string out;
  if (name)
    out = name;
  else if (face && face->family_name)
    out = face->family_name;
  out.erase(
      std::remove_if(out.begin(), out.end(), [](char c) { return c <= ' ' || c >= 0x7F || c == '/' || c == '%'; }),
      out.end());
  return out.empty() ? "Font" : out;
}

// A ToUnicode map of every byte from the space up to the bytes' characters;
// one serves every face of an encoding.
std::string unicode_map(bool symbol) {
  struct Range {
    int first, last;
    char32_t code_point;
  };
  std::vector<Range> ranges;
  for (int c = 0x20; c < 256; ++c) {
    const auto b = static_cast<unsigned char>(c);
    const char32_t u = symbol ? symbol_to_unicode(b) : cp1252_to_unicode(b);
    if (u == 0xFFFD || u > 0xFFFF) continue;
    if (!ranges.empty() && ranges.back().last == c - 1 && ranges.back().code_point + (c - ranges.back().first) == u &&
        (c & 0xFF) != 0)
      ranges.back().last = c;
    else
      ranges.push_back({c, c, u});
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  auto hex2 = [&](PdfBytes& out, int v) { out.put('<').put(kHex[v >> 4]).put(kHex[v & 0xF]).put('>'); };
  auto hex4 = [&](PdfBytes& out, char32_t v) {
    out.put('<');
    for (int shift = 12; shift >= 0; shift -= 4) out.put(kHex[(v >> shift) & 0xF]);
    out.put('>');
  };
  PdfBytes map;
  map.put(
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n");
  for (size_t at = 0; at < ranges.size(); at += 100) {
    const size_t n = std::min<size_t>(100, ranges.size() - at);
    map.num(static_cast<int64_t>(n)).put(" beginbfrange\n");
    for (size_t i = at; i < at + n; ++i) {
      hex2(map, ranges[i].first);
      map.put(' ');
      hex2(map, ranges[i].last);
      map.put(' ');
      hex4(map, ranges[i].code_point);
      map.put('\n');
    }
    map.put("endbfrange\n");
  }
  map.put("endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
  return std::move(map.str());
}

// A whole-pixel advance in the thousandths of an em of a font's widths.
// It is rounded up in the last place written, so that the sum of a run's
// widths never falls short of a pixel boundary the layout put a glyph on.
double glyph_width(int advance, double em) {
  return std::ceil(advance * 1000.0 * 100000.0 / em) / 100000.0;
}

// Font units to the thousandths of an em that PDF measures glyphs in.
int per_mille(FT_Face face, long units) {
  if (!face || face->units_per_EM == 0) return 0;
  return static_cast<int>(std::lround(units * 1000.0 / face->units_per_EM));
}

void descriptor_metrics(PdfBytes& d, FT_Face face, bool symbol) {
  int flags = symbol ? 4 : 32;
  double italic_angle = 0;
  int cap_height = face ? per_mille(face, face->ascender) : 700;
  if (face) {
    if (FT_IS_FIXED_WIDTH(face)) flags |= 1;
    if (face->style_flags & FT_STYLE_FLAG_ITALIC) flags |= 64;
    if (auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST)))
      italic_angle = post->italicAngle / 65536.0;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version >= 2 && os2->sCapHeight > 0) cap_height = per_mille(face, os2->sCapHeight);
  }
  d.put(" /Flags ").num(flags);
  d.put(" /FontBBox [");
  if (face)
    d.nums(per_mille(face, face->bbox.xMin), per_mille(face, face->bbox.yMin), per_mille(face, face->bbox.xMax),
           per_mille(face, face->bbox.yMax));
  else
    d.put("0 -200 1000 900 ");
  d.put("] /ItalicAngle ").real(italic_angle, 2);
  d.put(" /Ascent ").num(face ? per_mille(face, face->ascender) : 800);
  d.put(" /Descent ").num(face ? per_mille(face, face->descender) : -200);
  d.put(" /CapHeight ").num(cap_height).put(" /StemV 80");
}

}  // namespace

PdfFaceSubset pdf_subset_face(const std::string& file, int face_index, const std::vector<char32_t>& code_points,
                              const std::vector<unsigned>& glyphs) {
  PdfFaceSubset out;
  HbBlob blob(hb_blob_create_from_file_or_fail(file.c_str()));
  if (!blob) return out;
  HbFace face(hb_face_create(blob.get(), static_cast<unsigned>(face_index)));
  out.cff = has_table(face.get(), HB_TAG('C', 'F', 'F', ' '));
  out.truetype = !out.cff && has_table(face.get(), HB_TAG('g', 'l', 'y', 'f'));
  if (!out.cff && !out.truetype) return out;
  HbInput input(hb_subset_input_create_or_fail());
  if (!input) return out;
  for (char32_t u : code_points) hb_set_add(hb_subset_input_unicode_set(input.get()), u);
  for (unsigned g : glyphs) hb_set_add(hb_subset_input_glyph_set(input.get()), g);
  // What a PDF viewer never reads: shaping, kerning and variation tables.
  hb_set_t* drop = hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
  for (hb_tag_t tag :
       {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'), HB_TAG('G', 'D', 'E', 'F'), HB_TAG('k', 'e', 'r', 'n'),
        HB_TAG('B', 'A', 'S', 'E'), HB_TAG('J', 'S', 'T', 'F'), HB_TAG('M', 'A', 'T', 'H'), HB_TAG('D', 'S', 'I', 'G'),
        HB_TAG('h', 'd', 'm', 'x'), HB_TAG('L', 'T', 'S', 'H'), HB_TAG('V', 'D', 'M', 'X'), HB_TAG('m', 'o', 'r', 'x'),
        HB_TAG('f', 'e', 'a', 't')})
    hb_set_add(drop, tag);
  HbFace subset(hb_subset_or_fail(face.get(), input.get()));
  if (!subset) return out;
  HbBlob bytes(out.cff ? hb_face_reference_table(subset.get(), HB_TAG('C', 'F', 'F', ' '))
                       : hb_face_reference_blob(subset.get()));
  out.program = blob_bytes(bytes.get());
  return out;
}

PdfFonts::PdfFonts() = default;
PdfFonts::~PdfFonts() = default;

PdfFonts::Sized& PdfFonts::sized(const DcFont& font) {
  // A font object may be freed and another made at its address, so the
  // last one is only taken again when it still describes the same face.
  if (last_sized_ && last_font_ == &font && last_sized_->em == font.em && last_sized_->bold == font.synthetic_bold &&
      last_sized_->face->index == font.face_index && last_sized_->face->symbol == font.symbol &&
      last_sized_->face->file == font.file)
    return *last_sized_;
  std::unique_ptr<Face>& face = faces_[{font.file, font.face_index, font.symbol}];
  if (!face) {
    face = std::make_unique<Face>();
    face->file = font.file;
    face->index = font.face_index;
    face->symbol = font.symbol;
  }
  std::unique_ptr<Sized>& sized = sized_[{face.get(), font.em, font.synthetic_bold}];
  if (!sized) {
    sized = std::make_unique<Sized>();
    sized->face = face.get();
    sized->em = font.em;
    sized->bold = font.synthetic_bold;
    order_.push_back(sized.get());
    sized->resource = static_cast<int>(order_.size());
  }
  last_font_ = &font;
  last_sized_ = sized.get();
  return *sized;
}

int PdfFonts::use(const DcFont& font, std::string_view codes) {
  if (font.file.empty() || font.em <= 0) return 0;
  Sized& s = sized(font);
  Face& face = *s.face;
  for (unsigned char c : codes) {
    if (s.used[c]) continue;
    s.used.set(c);
    s.advance[c] = font.advance(c);
    if (!face.codes[c]) {
      face.codes.set(c);
      face.glyph[c] = static_cast<unsigned>(font.glyph(c));
      face.code_point[c] = font.code_point(c);
    }
  }
  return s.resource;
}

void PdfFonts::write(PdfFile& file, PdfBytes* resources) {
  FT_Library ft_library = nullptr;
  FT_Init_FreeType(&ft_library);
  FtLibrary library(ft_library);
  int unicode_maps[2] = {0, 0};  // Windows-1252, Symbol

  struct Written {
    int descriptor = 0;
    std::string base_font;
    bool truetype = false;
    std::vector<std::string> names;  // by code, for faces whose codes go by name
  };
  std::map<const Face*, Written> written;

  for (auto& [key, face_ptr] : faces_) {
    const Face& face = *face_ptr;
    Written& w = written[&face];
    FT_Face ft_face = nullptr;
    if (library) FT_New_Face(library.get(), face.file.c_str(), face.index, &ft_face);
    FtFace ft(ft_face);

    std::vector<char32_t> code_points;
    std::vector<unsigned> glyphs;
    for (int c = 0; c < 256; ++c) {
      if (!face.codes[c]) continue;
      code_points.push_back(face.code_point[c]);
      if (face.symbol) code_points.push_back(0xF000u + static_cast<unsigned>(c));
      glyphs.push_back(face.glyph[c]);
    }
    const PdfFaceSubset subset = pdf_subset_face(face.file, face.index, code_points, glyphs);
    // A face HarfBuzz cannot subset (a Type 1 file, say) is named but not
    // embedded: viewers put the installed face in its place.
    w.truetype = subset.truetype;
    w.base_font = postscript_name(ft.get());
    if (!subset.program.empty()) w.base_font = subset_tag(face.file, face.codes) + "+" + w.base_font;
    if (!subset.truetype || face.symbol) {
      w.names.assign(256, ".notdef");
      for (int c = 0; c < 256; ++c) {
        char name[64];
        if (face.codes[c] && ft && FT_HAS_GLYPH_NAMES(ft.get()) &&
            FT_Get_Glyph_Name(ft.get(), face.glyph[c], name, sizeof name) == 0 && name[0])
          w.names[c] = name;
      }
    }

    int program = 0;
    if (!subset.program.empty()) {
      program = file.reserve();
      PdfBytes dict;
      if (subset.cff)
        dict.put("/Subtype /Type1C");
      else
        dict.put("/Length1 ").num(static_cast<int64_t>(subset.program.size()));
      file.add_stream(program, std::move(dict.str()), subset.program, PdfDeflate::Small);
    }
    w.descriptor = file.reserve();
    PdfBytes d;
    d.put("<< /Type /FontDescriptor /FontName ").name(w.base_font);
    descriptor_metrics(d, ft.get(), face.symbol);
    if (program) d.put(subset.cff ? " /FontFile3 " : " /FontFile2 ").ref(program);
    d.put(" >>");
    file.add_object(w.descriptor, std::move(d.str()));
  }

  for (Sized* s : order_) {
    const Face& face = *s->face;
    const Written& w = written[&face];
    int& map = unicode_maps[face.symbol ? 1 : 0];
    if (!map) {
      map = file.reserve();
      file.add_stream(map, "", unicode_map(face.symbol), PdfDeflate::Small);
    }
    int first = 0, last = 255;
    while (first < 255 && !s->used[first]) ++first;
    while (last > first && !s->used[last]) --last;
    PdfBytes f;
    f.put("<< /Type /Font /Subtype ").put(w.truetype ? "/TrueType" : "/Type1");
    f.put(" /BaseFont ").name(w.base_font);
    f.put(" /FirstChar ").num(first).put(" /LastChar ").num(last).put(" /Widths [");
    for (int c = first; c <= last; ++c) {
      f.real(s->used[c] ? glyph_width(s->advance[c], s->em) : 0, 5);
      f.put(c == last ? "]" : " ");
    }
    if (!w.names.empty()) {
      // Codes by glyph name: the Symbol face's own codes, and the glyphs of
      // PostScript faces, whose programs are found by name.
      f.put(" /Encoding << /Type /Encoding /Differences [");
      int expected = -1;
      for (int c = first; c <= last; ++c) {
        if (!s->used[c]) continue;
        if (c != expected) f.put(' ').num(c);
        f.put(' ').name(w.names[c]);
        expected = c + 1;
      }
      f.put(" ] >>");
    } else if (!face.symbol) {
      f.put(" /Encoding /WinAnsiEncoding");
    }
    f.put(" /FontDescriptor ").ref(w.descriptor).put(" /ToUnicode ").ref(map).put(" >>");
    const int object = file.reserve();
    file.add_object(object, std::move(f.str()));
    resources->put("/F").num(s->resource).put(' ').ref(object).put(' ');
  }
}
