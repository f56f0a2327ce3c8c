// The fonts of a PDF file. Each face is embedded once, as a subset made
// with HarfBuzz of the glyphs the file shows; each size it is shown at gets
// a simple font of its own whose widths are the whole-pixel advances the
// layout measured, so the viewer places every glyph where the layout did
// without a position per glyph. Windows-1252 faces use WinAnsiEncoding, the
// Symbol face its own codes; a ToUnicode map makes the text searchable.
#pragma once

#include <bitset>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/dc_font.h"

class PdfBytes;
class PdfFile;

class PdfFonts {
 public:
  PdfFonts();
  ~PdfFonts();
  PdfFonts(const PdfFonts&) = delete;
  PdfFonts& operator=(const PdfFonts&) = delete;

  // The resource number of the font at its size (shown as /F<number>),
  // noting the codes about to be shown with it. Control bytes must already
  // have been replaced by spaces. 0 for a font without a face file.
  int use(const DcFont& font, std::string_view codes);

  // After the last sheet: every face, its fonts and their maps go to the
  // file, and their entries ("/F1 12 0 R ...") to *resources.
  void write(PdfFile& file, PdfBytes* resources);

  struct Face;
  struct Sized;

 private:
  Sized& sized(const DcFont& font);

  std::map<std::tuple<std::string, int, bool>, std::unique_ptr<Face>> faces_;
  std::map<std::tuple<const Face*, double, bool>, std::unique_ptr<Sized>> sized_;
  std::vector<Sized*> order_;  // by resource number - 1
  // The last font asked for: text comes in runs of one font.
  const DcFont* last_font_ = nullptr;
  Sized* last_sized_ = nullptr;
};

// What one face's subset holds, for tests: the font program (a TrueType
// file, or a bare CFF font for faces with PostScript outlines) of the glyphs
// shown with it. Empty when the face cannot be subset.
struct PdfFaceSubset {
  std::string program;
  bool truetype = false;  // glyf outlines
  bool cff = false;       // PostScript outlines in an OpenType file
};
PdfFaceSubset pdf_subset_face(const std::string& file, int face_index, const std::vector<char32_t>& code_points,
                              const std::vector<unsigned>& glyphs);
