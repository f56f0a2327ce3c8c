// The PDF device context; see dc_pdf.h.
#include "platform/dc_pdf.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <new>
#include <utility>

#include "platform/cp1252.h"
#include "platform/pdf_file.h"

namespace {

bool same_rect(const DcRect& a, const DcRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// A colour component of 0..255 as the fraction it is in PDF, to three
// decimals: enough for every viewer to come back to the same byte.
struct ColorLevels {
  char text[256][6];
  unsigned char length[256];
  ColorLevels() {
    for (int v = 0; v < 256; ++v) {
      PdfBytes b;
      b.real(v / 255.0, 3);
      length[v] = static_cast<unsigned char>(b.size());
      std::copy(b.str().begin(), b.str().end(), text[v]);
    }
  }
  char* put(char* p, int v) const {
    for (int i = 0; i < length[v]; ++i) *p++ = text[v][i];
    return p;
  }
};
const ColorLevels kLevels;

// D:YYYYMMDDHHmmSS+HH'mm' of now, in local time.
std::string pdf_date_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  PdfBytes date;
  auto two = [&](long v) { date.put(static_cast<char>('0' + v / 10 % 10)).put(static_cast<char>('0' + v % 10)); };
  date.put("D:").num(local.tm_year + 1900);
  for (long part : {local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec}) two(part);
  const long offset = local.tm_gmtoff / 60;
  date.put(offset < 0 ? '-' : '+');
  two(std::labs(offset) / 60);
  date.put('\'');
  two(std::labs(offset) % 60);
  date.put('\'');
  return std::move(date.str());
}

// A text string in UTF-16BE with its byte order mark.
std::string utf16_text(const std::string& cp1252) {
  std::string out = "\xFE\xFF";
  for (unsigned char c : cp1252) {
    const char32_t u = c < 0x20 ? U' ' : cp1252_to_unicode(c);
    out.push_back(static_cast<char>(u >> 8));
    out.push_back(static_cast<char>(u & 0xFF));
  }
  return out;
}

}  // namespace

std::unique_ptr<PdfDc> PdfDc::create(const std::string& path, double paper_width_points, double paper_height_points,
                                     const DcRect& printable, int dpi, std::string* error) {
  if (path.empty() || !(paper_width_points > 0) || !(paper_height_points > 0) || paper_width_points > 14400 ||
      paper_height_points > 14400 || dpi <= 0 || dpi > 10000) {
    *error = "unusable sheet size or resolution";
    return nullptr;
  }
  const int sheet_width = static_cast<int>(std::lround(paper_width_points * dpi / 72.0));
  const int sheet_height = static_cast<int>(std::lround(paper_height_points * dpi / 72.0));
  if (printable.left < 0 || printable.top < 0 || printable.right <= printable.left ||
      printable.bottom <= printable.top || printable.right > sheet_width || printable.bottom > sheet_height) {
    *error = "the printable area does not lie on the sheet";
    return nullptr;
  }
  std::unique_ptr<PdfFile> file = PdfFile::create(path, error);
  if (!file) return nullptr;
  std::unique_ptr<PdfDc> dc(new PdfDc(printable.right - printable.left, printable.bottom - printable.top, dpi));
  dc->file_ = std::move(file);
  dc->paper_width_ = paper_width_points;
  dc->paper_height_ = paper_height_points;
  dc->printable_ = printable;
  // The catalog, the page tree and the resources every sheet shares; they
  // are written last, when the sheets and fonts are known.
  dc->file_->reserve();
  dc->pages_object_ = dc->file_->reserve();
  dc->resources_object_ = dc->file_->reserve();
  dc->begin_sheet();
  return dc;
}

PdfDc::PdfDc(int width, int height, int dpi) : DcState(width, height, dpi) {}

PdfDc::~PdfDc() = default;

void PdfDc::begin_sheet() {
  // Device pixels of the printable area, y down, to points from the sheet's
  // bottom-left corner; everything after this is in whole pixels.
  const double scale = 72.0 / dpi_;
  content_.clear();
  content_.real(scale, 6).put(" 0 0 ").real(-scale, 6).put(' ');
  content_.real(printable_.left * scale, 4).put(' ');
  content_.real(paper_height_ - printable_.top * scale, 4).put(" cm\n");
  content_.op("re W n\n", 0, 0, width_, height_);
  drawn_ = false;
  clip_open_ = false;
  fill_ = -1;
  font_ = 0;
  font_size_ = 0;
}

bool PdfDc::fail(const std::string& why) {
  if (error_.empty()) error_ = why;
  return false;
}

void PdfDc::apply_clip() {
  drawn_ = true;
  const DcRect sheet{0, 0, width_, height_};
  const bool narrowed = !same_rect(clip_, sheet);
  if (clip_open_ && narrowed && same_rect(clip_, stream_clip_)) return;
  if (!clip_open_ && !narrowed) return;
  if (clip_open_) {
    // Leaving the narrowed clip puts back the colour and font of before it.
    content_.put("Q\n");
    clip_open_ = false;
    fill_ = fill_outside_clip_;
    font_ = font_outside_clip_;
    font_size_ = font_size_outside_clip_;
  }
  if (!narrowed) return;
  fill_outside_clip_ = fill_;
  font_outside_clip_ = font_;
  font_size_outside_clip_ = font_size_;
  content_.put("q ").op("re W n\n", clip_.left, clip_.top, clip_.right - clip_.left, clip_.bottom - clip_.top);
  clip_open_ = true;
  stream_clip_ = clip_;
}

void PdfDc::set_fill(DcColor color) {
  if (fill_ == static_cast<int64_t>(color)) return;
  fill_ = color;
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  char op[24];
  char* p = kLevels.put(op, r);
  if (r != g || g != b) {
    *p++ = ' ';
    p = kLevels.put(p, g);
    *p++ = ' ';
    p = kLevels.put(p, b);
    *p++ = ' ';
    *p++ = 'r';
  } else {
    *p++ = ' ';
  }
  *p++ = 'g';
  *p++ = '\n';
  content_.put(std::string_view(op, static_cast<size_t>(p - op)));
}

void PdfDc::set_stroke(DcColor color) {
  const int r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
  char op[24];
  char* p = kLevels.put(op, r);
  *p++ = ' ';
  p = kLevels.put(p, g);
  *p++ = ' ';
  p = kLevels.put(p, b);
  content_.put(std::string_view(op, static_cast<size_t>(p - op))).put(" RG ");
}

void PdfDc::fill_pixels(const DcRect& rect, DcColor color) {
  // Only what lies inside the clip goes into the stream: viewers round a
  // clip path's edge in their own way, and a rectangle just beyond it
  // would otherwise show a row of pixels on the margin.
  const DcRect r = dc_intersect(rect, clip_);
  if (r.right <= r.left || r.bottom <= r.top || finished_) return;
  apply_clip();
  set_fill(color);
  content_.op("re f\n", r.left, r.top, static_cast<int64_t>(r.right) - r.left, static_cast<int64_t>(r.bottom) - r.top);
}

bool PdfDc::text_out(int x, int y, const char* text, int length) {
  if (!text || length < 0) return false;
  const DcFont& font = selected_font();
  DcSize extent;
  text_extent(text, length, &extent);
  if (bk_mode_ == DC_OPAQUE) fill_pixels({x, y, x + extent.cx, y + extent.cy}, bk_color_);
  if (!font.font || length == 0 || finished_) return true;
  // Control bytes are drawn as spaces, which is what they measure as.
  std::string codes(text, static_cast<size_t>(length));
  for (char& c : codes)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  const int resource = fonts_used_.use(font, codes);
  if (resource == 0) return true;
  apply_clip();
  set_fill(text_color_);
  content_.put("BT ");
  if (resource != font_ || font.em != font_size_) {
    content_.put("/F").num(resource).put(' ').real(font.em, 4).put(" Tf ");
    font_ = resource;
    font_size_ = font.em;
  }
  if (font.synthetic_bold) {
    // Outlines emboldened as FreeType does it: grown by an em/24 stroke.
    set_stroke(text_color_);
    content_.put("2 Tr ").real(font.em / 24, 4).put(" w ");
  }
  // The text matrix turns the glyphs upright again in the y-down space.
  content_.put("1 0 0 -1 ").op("Tm ", x, static_cast<int64_t>(y) + font.ascent);
  content_.literal(codes).put(" Tj ");
  if (font.synthetic_bold) content_.put("0 Tr ");
  content_.put("ET\n");
  if (font.underline) {
    const int top = y + font.ascent + font.underline_offset;
    fill_pixels({x, top, x + extent.cx, top + font.underline_thickness}, text_color_);
  }
  return true;
}

bool PdfDc::line_to(int x, int y) {
  if (finished_) return move_to(x, y);
  // A line is the squares its pen covers, within the clip (see
  // fill_pixels), filled as one path.
  squares_.clear();
  const DcObjectEntry* pen = line_squares(x, y, [&](int64_t px, int64_t py, int64_t w, int64_t h) {
    const DcRect inside = dc_intersect(dc_box(px, py, w, h), clip_);
    if (inside.right > inside.left && inside.bottom > inside.top) squares_.push_back(inside);
  });
  if (!pen || squares_.empty()) return true;
  apply_clip();
  set_fill(pen->color);
  for (const DcRect& r : squares_)
    content_.op("re ", r.left, r.top, static_cast<int64_t>(r.right) - r.left, static_cast<int64_t>(r.bottom) - r.top);
  content_.put("f\n");
  return true;
}

int PdfDc::stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                       int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info) {
  DibReader reader;
  DcRect visible;
  if (!open_stretch(dest_x, dest_y, dest_width, dest_height, src_x, src_y, src_width, src_height, bits, bits_size, info,
                    &reader, &visible))
    return 0;
  if (finished_ || dc_empty(visible)) return src_height;
  // The source rectangle goes to the file once, whatever size it is shown
  // at; the viewer scales it without smoothing, dropping or repeating
  // pixels as the other contexts do.
  std::string rgb;
  try {
    rgb.resize(static_cast<size_t>(src_width) * static_cast<size_t>(src_height) * 3);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  char* out = rgb.data();
  for (int y = 0; y < src_height; ++y) {
    for (int x = 0; x < src_width; ++x) {
      const uint32_t pixel = reader.pixel(src_x + x, src_y + y);
      *out++ = static_cast<char>(pixel >> 16);
      *out++ = static_cast<char>(pixel >> 8);
      *out++ = static_cast<char>(pixel);
    }
  }
  const int resource = images_.use(*file_, src_width, src_height, std::move(rgb));
  apply_clip();
  content_.put("q ").op("cm /I", dest_width, 0, 0, -static_cast<int64_t>(dest_height), dest_x,
                        static_cast<int64_t>(dest_y) + dest_height);
  content_.num(resource).put(" Do Q\n");
  return src_height;
}

bool PdfDc::end_page() {
  if (finished_) return false;
  if (clip_open_) {
    content_.put("Q\n");
    clip_open_ = false;
  }
  const int contents = file_->reserve();
  const int page = file_->reserve();
  // The buffer keeps its size for the next sheet; the file gets a copy.
  file_->add_stream(contents, "", content_.str(), PdfDeflate::Fast);
  PdfBytes dict;
  dict.put("<< /Type /Page /Parent ").ref(pages_object_).put(" /MediaBox [0 0 ");
  dict.real(paper_width_, 4).put(' ').real(paper_height_, 4).put("] /Resources ");
  dict.ref(resources_object_).put(" /Contents ").ref(contents).put(" >>");
  file_->add_object(page, std::move(dict.str()));
  pages_.push_back(page);
  begin_sheet();
  if (file_->failed()) return fail(file_->error());
  return true;
}

bool PdfDc::finish() {
  if (finished_) return error_.empty();
  if (drawn_) end_page();
  finished_ = true;

  PdfBytes resources;
  resources.put("<< /ProcSet [/PDF /Text /ImageB /ImageC] /Font << ");
  fonts_used_.write(*file_, &resources);
  resources.put(">> /XObject << ");
  images_.write_resources(&resources);
  resources.put(">> >>");
  file_->add_object(resources_object_, std::move(resources.str()));

  PdfBytes pages;
  pages.put("<< /Type /Pages /Count ").num(static_cast<int64_t>(pages_.size())).put(" /Kids [");
  for (int page : pages_) pages.put(' ').ref(page);
  pages.put(" ] >>");
  file_->add_object(pages_object_, std::move(pages.str()));

  PdfBytes catalog;
  catalog.put("<< /Type /Catalog /Pages ").ref(pages_object_).put(" >>");
  file_->add_object(1, std::move(catalog.str()));

  const int info = file_->reserve();
  PdfBytes information;
  information.put("<< /Producer (Tessel) /CreationDate ").literal(pdf_date_now());
  if (!title_.empty()) information.put(" /Title ").hex(utf16_text(title_));
  information.put(" >>");
  file_->add_object(info, std::move(information.str()));

  PdfBytes trailer;
  trailer.put("/Root 1 0 R /Info ").ref(info);
  if (!file_->finish(trailer.str())) return fail(file_->error());
  return error_.empty();
}
