// The PDF context: content streams of small sheets, the fonts and pictures
// a file holds, failed writes, and files made of random drawing.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/dib_header.h"
#include "common/pdf_tools.h"
#include "platform/dc_font.h"
#include "platform/dc_pdf.h"
#include "platform/pdf_fonts.h"
#include "platform/pdf_syntax.h"
#include "platform/print_dc.h"
#include "platform/print_spooler.h"

namespace {

using tessel_testing::pdf_page_count;
using tessel_testing::pdf_stream_data;
using tessel_testing::pdf_text;
using tessel_testing::qpdf_check;

std::string scratch(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("tessel-dcpdf-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

struct ScratchCleaner {
  ~ScratchCleaner() { std::filesystem::remove_all(std::filesystem::path(scratch("x")).parent_path()); }
};

// Letter sheets at 600 per inch with quarter-inch margins.
std::unique_ptr<PdfDc> letter_sheets(const std::string& path) {
  std::string error;
  auto dc = PdfDc::create(path, 612, 792, {150, 150, 4950, 6450}, DC_PRINTER_DPI, &error);
  EXPECT_NE(dc, nullptr) << error;
  return dc;
}

DcFontRequest request(const char* face, int height, bool underline = false) {
  DcFontRequest wanted{};
  snprintf(wanted.face, sizeof wanted.face, "%s", face);
  wanted.height = height;
  wanted.underline = underline;
  return wanted;
}

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Each object of a file this writer made, found through its cross
// references: the text up to its stream data (or its end).
std::map<int, std::string> objects_of(const std::string& pdf) {
  std::map<int, std::string> objects;
  const size_t xref = std::stoul(pdf.substr(pdf.rfind("startxref\n") + 10));
  std::istringstream table(pdf.substr(xref));
  std::string word;
  int first = 0, count = 0;
  table >> word >> first >> count;
  for (int n = first; n < first + count; ++n) {
    unsigned long offset = 0;
    int generation = 0;
    std::string kind;
    table >> offset >> generation >> kind;
    if (kind != "n") continue;
    const size_t end = std::min(pdf.find("stream\n", offset), pdf.find("endobj", offset));
    objects[n] = pdf.substr(offset, end - offset);
  }
  return objects;
}

int referenced(const std::string& object, const std::string& key) {
  const size_t at = object.find(key + " ");
  return at == std::string::npos ? 0 : std::atoi(object.c_str() + at + key.size() + 1);
}

int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(PdfContent, SmallSheetsAreWholePixelOperatorsAfterOneTransform) {
  ScratchCleaner cleaner;
  auto dc = letter_sheets(scratch("small.pdf"));
  ASSERT_NE(dc, nullptr);
  // 600 per inch to points, y turned down, the printable corner at the origin.
  std::string expected = "0.12 0 0 -0.12 18 774 cm\n0 0 4800 6300 re W n\n";
  EXPECT_EQ(dc->sheet_content(), expected);

  DcObject red = dc->create_solid_brush(dc_rgb(255, 0, 0));
  DcObject grey = dc->create_solid_brush(dc_rgb(128, 128, 128));
  dc->fill_rect({10, 20, 40, 60}, red);
  dc->fill_rect({50, 20, 50, 60}, red);   // empty: nothing
  dc->fill_rect({-50, 0, -1, 60}, grey);  // beyond the sheet: nothing
  dc->fill_rect({-5, 0, 5, 2}, red);      // cut to the sheet; the colour is not set again
  dc->fill_rect({0, 0, 1, 1}, grey);      // greys take one operand
  expected += "1 0 0 rg\n10 20 30 40 re f\n0 0 5 2 re f\n0.502 g\n0 0 1 1 re f\n";
  EXPECT_EQ(dc->sheet_content(), expected);

  // Lines are the squares of their pen, the end point left out.
  DcObject pen = dc->create_pen(3, dc_rgb(0, 0, 255));
  DcObject old_pen = dc->select_object(pen);
  dc->move_to(100, 50);
  dc->line_to(90, 50);
  dc->move_to(10, 7000);
  dc->line_to(20, 7000);  // below the sheet: nothing
  dc->select_object(old_pen);
  dc->move_to(-1, -1);
  dc->line_to(2, 2);  // its first square lies off the sheet
  expected += "0 0 1 rg\n90 49 12 3 re f\n0 g\n0 0 1 1 re 1 1 1 1 re f\n";
  EXPECT_EQ(dc->sheet_content(), expected);

  // A narrowed clip is a saved state; leaving it puts the colour back.
  const int level = dc->save_dc();
  dc->intersect_clip_rect({5, 5, 50, 50});
  dc->fill_rect({5, 5, 15, 15}, red);
  dc->restore_dc(level);
  dc->fill_rect({1, 1, 2, 2}, grey);
  expected += "q 5 5 45 45 re W n\n1 0 0 rg\n5 5 10 10 re f\nQ\n0.502 g\n1 1 1 1 re f\n";
  EXPECT_EQ(dc->sheet_content(), expected);

  // Text: the font at its size once, the position of its top-left corner
  // turned into the baseline, control bytes as spaces, delimiters escaped.
  DcObject font = dc->create_font(request("arial", -100));
  DcObject old_font = dc->select_object(font);
  DcTextMetrics metrics{};
  dc->text_metrics(&metrics);
  dc->set_bk_mode(DC_TRANSPARENT);
  dc->set_text_color(dc_rgb(0, 0, 255));
  dc->text_out(10, 20, "a(b)\\\tc", 7);
  dc->text_out(10, 200, "d", 1);
  const std::string baseline = std::to_string(20 + metrics.ascent);
  expected += "0 0 1 rg\nBT /F1 100 Tf 1 0 0 -1 10 " + baseline + " Tm (a\\(b\\)\\\\ c) Tj ET\n";
  expected += "BT 1 0 0 -1 10 " + std::to_string(200 + metrics.ascent) + " Tm (d) Tj ET\n";
  EXPECT_EQ(dc->sheet_content(), expected);

  // An opaque background is a fill under the text's extent.
  DcSize extent{};
  dc->text_extent("e", 1, &extent);
  dc->set_bk_mode(DC_OPAQUE);
  dc->set_bk_color(dc_rgb(255, 255, 255));
  dc->text_out(0, 0, "e", 1);
  expected += "1 g\n0 0 " + std::to_string(extent.cx) + " " + std::to_string(extent.cy) +
              " re f\n0 0 1 rg\nBT 1 0 0 -1 0 " + std::to_string(metrics.ascent) + " Tm (e) Tj ET\n";
  EXPECT_EQ(dc->sheet_content(), expected);

  // A picture is placed by one transform of its own.
  const DcBitmapInfoHeader info = tessel_testing::dib_header(2, 1, 24);
  const unsigned char bits[8] = {0, 0, 255, 255, 0, 0};
  EXPECT_EQ(dc->stretch_dib(100, 100, 600, 300, 0, 0, 2, 1, bits, sizeof bits, &info), 1);
  expected += "q 600 0 0 -300 100 400 cm /I1 Do Q\n";
  EXPECT_EQ(dc->sheet_content(), expected);

  dc->select_object(old_font);
  EXPECT_TRUE(dc->end_page());
  EXPECT_EQ(dc->sheet_content(), "0.12 0 0 -0.12 18 774 cm\n0 0 4800 6300 re W n\n") << "the next sheet starts afresh";
  EXPECT_TRUE(dc->finish()) << dc->error();
  std::string report;
  EXPECT_TRUE(qpdf_check(scratch("small.pdf"), &report)) << report;
}

TEST(PdfContent, NumbersNamesAndStringsAreWrittenWithoutPrintf) {
  PdfBytes b;
  b.real(0.12, 6).put(' ').real(-0.5).put(' ').real(612).put(' ').real(841.8897637795, 4);
  b.put(' ').real(1e30).put(' ').real(-0.00001, 4).put(' ').num(-9876543210).put(' ').nums(0, 9999, 10000);
  EXPECT_EQ(b.str(), "0.12 -0.5 612 841.8898 0 0 -9876543210 0 9999 10000 ");
  b.clear();
  b.name("Times New#Roman/(x)").put(' ').literal("a(b)\\c\rd").put(' ').hex("\xFE\x01");
  EXPECT_EQ(b.str(), "/Times#20New#23Roman#2F#28x#29 (a\\(b\\)\\\\c\\rd) <FE01>");
}

TEST(PdfFiles, TheFileSaysItsTitleProducerAndDate) {
  ScratchCleaner cleaner;
  const std::string path = scratch("title.pdf");
  auto dc = letter_sheets(path);
  ASSERT_NE(dc, nullptr);
  dc->set_title("Caf\xE9 \x80 (draft)");
  dc->end_page();
  ASSERT_TRUE(dc->finish()) << dc->error();
  const std::string info = tessel_testing::run_command("pdfinfo " + tessel_testing::shell_quote(path));
  EXPECT_NE(info.find("Title:           Caf\xC3\xA9 \xE2\x82\xAC (draft)"), std::string::npos) << info;
  EXPECT_NE(info.find("Producer:        Tessel"), std::string::npos) << info;
  EXPECT_NE(info.find("CreationDate:"), std::string::npos) << info;
  EXPECT_NE(info.find("Pages:           1"), std::string::npos) << info;
}

// A glyph's outline: its points, which a subset must keep as they are.
std::vector<FT_Vector> outline(FT_Face face, FT_UInt glyph) {
  if (glyph == 0 || FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return {};
  const FT_Outline& o = face->glyph->outline;
  return std::vector<FT_Vector>(o.points, o.points + o.n_points);
}

TEST(PdfFonts, EachFaceIsEmbeddedOnceAsASubsetHoldingEveryGlyphItsSheetsShow) {
  ScratchCleaner cleaner;
  const std::string path = scratch("fonts.pdf");
  auto dc = letter_sheets(path);
  ASSERT_NE(dc, nullptr);
  dc->set_bk_mode(DC_TRANSPARENT);
  struct Shown {
    const char* face;
    int height;
    const char* text;
  };
  // Arial at two sizes (one face), Times, and the Symbol face's bullet and
  // alpha; the second sheet adds letters to Arial's subset.
  const Shown shown[] = {{"arial", -100, "Ledger"},
                         {"arial", -60, "posting"},
                         {"times", -80, "Caf\xE9 \x80"},
                         {"symbol", -80,
                          "\xB7"
                          "a"},
                         {"arial", -100, "XYZ"}};
  int sheet_of[5] = {0, 0, 0, 0, 1};
  for (int i = 0; i < 5; ++i) {
    if (i > 0 && sheet_of[i] != sheet_of[i - 1]) dc->end_page();
    DcObject font = dc->create_font(request(shown[i].face, shown[i].height));
    DcObject old = dc->select_object(font);
    dc->text_out(100, 200 * (i + 1), shown[i].text, static_cast<int>(strlen(shown[i].text)));
    dc->select_object(old);
    dc->delete_object(font);
  }
  ASSERT_TRUE(dc->finish()) << dc->error();

  const std::string pdf = file_bytes(path);
  const std::map<int, std::string> objects = objects_of(pdf);
  int truetype = 0, cff = 0, fonts = 0;
  FT_Library library;
  ASSERT_EQ(FT_Init_FreeType(&library), 0);
  for (const auto& [number, object] : objects) {
    if (object.find("/Type /Font ") != std::string::npos) ++fonts;
    if (object.find("/Type /FontDescriptor") == std::string::npos) continue;
    const bool is_cff = object.find("/FontFile3") != std::string::npos;
    (is_cff ? cff : truetype)++;
    EXPECT_NE(object.find("/FontName /"), std::string::npos);
    EXPECT_EQ(object[object.find("/FontName /") + 17], '+') << "a subset's name has a tag";
    const std::string program = pdf_stream_data(path, referenced(object, is_cff ? "/FontFile3" : "/FontFile2"));
    ASSERT_FALSE(program.empty());
    FT_Face subset;
    ASSERT_EQ(FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(program.data()),
                                 static_cast<FT_Long>(program.size()), 0, &subset),
              0);
    // The face it was made from, and what was shown with it.
    const std::string name =
        object.substr(object.find('+') + 1, object.find(' ', object.find('+')) - object.find('+') - 1);
    for (const Shown& s : shown) {
      std::shared_ptr<const DcFont> font = dc_realise_font(request(s.face, s.height), 600);
      ASSERT_NE(font, nullptr);
      FT_Face original;
      ASSERT_EQ(FT_New_Face(library, font->file.c_str(), font->face_index, &original), 0);
      const bool same_face = name == FT_Get_Postscript_Name(original);
      for (const char* c = s.text; same_face && *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte == ' ') continue;
        const FT_UInt glyph = static_cast<FT_UInt>(font->glyph(byte));
        FT_UInt in_subset;
        if (is_cff) {
          char glyph_name[64];
          ASSERT_EQ(FT_Get_Glyph_Name(original, glyph, glyph_name, sizeof glyph_name), 0);
          in_subset = FT_Get_Name_Index(subset, glyph_name);
        } else {
          in_subset = FT_Get_Char_Index(subset, font->code_point(byte));
        }
        SCOPED_TRACE(name + " " + std::string(1, *c));
        EXPECT_NE(in_subset, 0u);
        EXPECT_EQ(outline(subset, in_subset).size(), outline(original, glyph).size());
      }
      FT_Done_Face(original);
    }
    EXPECT_LT(subset->num_glyphs, 40) << name << " is a subset";
    FT_Done_Face(subset);
  }
  FT_Done_FreeType(library);
  EXPECT_EQ(truetype, 2) << "Arial and Times, each once";
  EXPECT_EQ(cff, 1) << "the Symbol face";
  EXPECT_EQ(fonts, 4) << "a font per face and size";

  // A Type 1 file cannot be subset: it is named, not embedded.
  const PdfFaceSubset type1 = pdf_subset_face("/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1", 0, {U'A'}, {});
  EXPECT_TRUE(type1.program.empty());
  EXPECT_FALSE(type1.truetype || type1.cff);

  // The text comes back through the ToUnicode maps, the Symbol face's
  // bullet as the bullet it shows.
  const std::string text = pdf_text(path);
  for (const char* word : {"Ledger", "posting", "Caf\xC3\xA9 \xE2\x82\xAC", "\xE2\x80\xA2\xCE\xB1", "XYZ"})
    EXPECT_NE(text.find(word), std::string::npos) << word << " in\n" << text;
}

TEST(PdfFonts, ABoldTheFaceLacksIsMadeFromItsOutlines) {
  ScratchCleaner cleaner;
  const std::string path = scratch("styles.pdf");
  auto dc = letter_sheets(path);
  ASSERT_NE(dc, nullptr);
  // The Symbol face has no bold of its own.
  DcFontRequest regular = request("symbol", -100), bold = regular;
  bold.weight = DC_WEIGHT_BOLD;
  std::vector<std::string> drawn;
  for (const DcFontRequest& wanted : {regular, bold}) {
    DcObject font = dc->create_font(wanted);
    DcObject old = dc->select_object(font);
    const size_t before = dc->sheet_content().size();
    dc->text_out(100, 100, "abc", 3);
    drawn.push_back(dc->sheet_content().substr(before));
    dc->select_object(old);
    dc->delete_object(font);
  }
  EXPECT_NE(drawn[1].find("/F2 "), std::string::npos) << "emboldened glyphs advance otherwise";
  EXPECT_NE(drawn[1].find(" RG 2 Tr 4.1667 w "), std::string::npos) << drawn[1];
  EXPECT_NE(drawn[1].find(" Tj 0 Tr ET"), std::string::npos) << drawn[1];
  EXPECT_EQ(drawn[0].find(" Tr "), std::string::npos) << drawn[0];
  ASSERT_TRUE(dc->finish()) << dc->error();
  std::string report;
  EXPECT_TRUE(qpdf_check(path, &report)) << report;
}

TEST(PdfImages, APictureDrawnOnManySheetsIsStoredOnce) {
  ScratchCleaner cleaner;
  const std::string path = scratch("logo.pdf");
  auto dc = letter_sheets(path);
  ASSERT_NE(dc, nullptr);
  const DcBitmapInfoHeader logo_info = tessel_testing::dib_header(2, 2, 24);
  const unsigned char logo[16] = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 0, 255, 255, 255, 0};
  const DcBitmapInfoHeader grey_info = tessel_testing::dib_header(1, 1, 24);
  const unsigned char grey[4] = {90, 90, 90, 0};
  for (int sheet = 0; sheet < 6; ++sheet) {
    // The same pixels at another place and size on every sheet, twice on
    // the third, from a copy of them on the fourth.
    unsigned char copy[16];
    std::memcpy(copy, logo, sizeof copy);
    const unsigned char* bits = sheet == 3 ? copy : logo;
    EXPECT_EQ(dc->stretch_dib(10 * sheet, 20, 600 + sheet, 600, 0, 0, 2, 2, bits, 16, &logo_info), 2);
    if (sheet == 2) {
      dc->stretch_dib(1000, 1000, 60, 60, 0, 0, 2, 2, logo, 16, &logo_info);
      dc->stretch_dib(2000, 1000, 60, 60, 0, 0, 1, 1, grey, 4, &grey_info);
      dc->stretch_dib(2000, 2000, 60, 60, 1, 0, 1, 2, logo, 16, &logo_info);  // a part of it
    }
    dc->end_page();
  }
  ASSERT_TRUE(dc->finish()) << dc->error();
  const std::string pdf = file_bytes(path);
  EXPECT_EQ(count_of(pdf, "/Subtype /Image"), 3) << "the logo, the grey picture, the logo's right column";
  EXPECT_EQ(count_of(pdf, "/ColorSpace /DeviceGray"), 1);
  EXPECT_EQ(pdf_page_count(path), 6);
  std::string report;
  EXPECT_TRUE(qpdf_check(path, &report)) << report;
}

// Takes the jobs it is given, without writing them anywhere.
class KeepingSpooler final : public PrintSpooler {
 public:
  KeepingSpooler() : previous_(set_print_spooler(this)) {}
  ~KeepingSpooler() override { set_print_spooler(previous_); }
  bool media_default(const std::string&, PrintMedia*) override { return false; }
  int submit(const PrintSubmission& job, std::string*) override {
    jobs.push_back(job);
    return 1;
  }
  std::vector<PrintSubmission> jobs;

 private:
  PrintSpooler* previous_;
};

// A job of `sheets` sheets of a dense table's borders.
int print_sheets(PrinterDc& dc, int sheets, std::string* error) {
  PrintDocInfo info;
  info.doc_name = "ORV Printer";
  if (dc.start_doc(info) <= 0) {
    *error = dc.last_error();
    return 0;
  }
  for (int sheet = 0; sheet < sheets && dc.start_page(); ++sheet) {
    DcObject brush = dc.create_solid_brush(dc_rgb(sheet, 128, 200));
    for (int y = 0; y < 6000; y += 3) dc.fill_rect({y % 97, y, 4000 + y % 89, y + 1}, brush);
    dc.delete_object(brush);
    dc.end_page();
  }
  const int result = dc.end_doc();
  *error = dc.last_error();
  return result;
}

DevModeRecord portrait() {
  DevModeRecord dm;
  dm.fields = DM_ORIENTATION;
  dm.orientation = DMORIENT_PORTRAIT;
  return dm;
}

TEST(PdfFailures, AFullDiskOrAMissingFolderFailsThePrintAndLeavesNoFile) {
  ScratchCleaner cleaner;
  std::string error;
  EXPECT_EQ(PdfDc::create("/nonexistent-dir/x.pdf", 612, 792, {0, 0, 100, 100}, 600, &error), nullptr);
  EXPECT_NE(error.find("/nonexistent-dir/x.pdf"), std::string::npos) << error;

  // Straight into a full disk: the file is not whole and says so.
  auto full = letter_sheets("/dev/full");
  ASSERT_NE(full, nullptr);
  DcObject brush = full->create_solid_brush(0);
  full->fill_rect({0, 0, 10, 10}, brush);
  EXPECT_FALSE(full->finish());
  EXPECT_NE(full->error().find("No space left on device"), std::string::npos) << full->error();

  // Printed to pdf:/dev/full the job fails, and the device stays a device:
  // it is written into, not replaced by a renamed file.
  auto to_full = PrinterDc::create("pdf:/dev/full", portrait());
  EXPECT_EQ(print_sheets(*to_full, 2, &error), 0);
  EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
  struct stat info;
  ASSERT_EQ(stat("/dev/full", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));

  // Through a link: the file it leads to is replaced, the link stays.
  const std::string real = scratch("real.pdf"), link = scratch("link.pdf");
  std::filesystem::create_symlink(real, link);
  auto to_link = PrinterDc::create("pdf:" + link, portrait());
  EXPECT_GT(print_sheets(*to_link, 1, &error), 0) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(pdf_page_count(real), 1);

  // A pipe is refused rather than waited on, and stays a pipe.
  const std::string pipe = scratch("pipe.pdf");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  auto to_pipe = PrinterDc::create("pdf:" + pipe, portrait());
  EXPECT_EQ(print_sheets(*to_pipe, 1, &error), 0);
  EXPECT_NE(error.find("not a file"), std::string::npos) << error;
  ASSERT_EQ(stat(pipe.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));

  // Into a folder that is not there: nothing under the final name.
  const std::string missing = scratch("missing") + "/x.pdf";
  auto to_missing = PrinterDc::create("pdf:" + missing, portrait());
  EXPECT_EQ(print_sheets(*to_missing, 2, &error), 0);
  EXPECT_NE(error.find(missing), std::string::npos) << error;
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_FALSE(std::filesystem::exists(missing + ".partial"));
}

TEST(PdfFailures, AJobFileThatCannotGrowFailsTheJobAndNothingIsSent) {
  // A file size limit stands in for a full disk under the job's file.
  KeepingSpooler spooler;
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit limit{}, saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  auto dc = PrinterDc::create("office", portrait());
  std::string error;
  const int result = print_sheets(*dc, 40, &error);
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_NE(error.find("could not be written"), std::string::npos) << error;
  EXPECT_TRUE(spooler.jobs.empty());
}

TEST(PdfFiles, RandomDrawingMakesFilesThatQpdfAccepts) {
  ScratchCleaner cleaner;
  std::mt19937 random(31);
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  const char* faces[] = {"arial", "times", "courier", "symbol", "no such face"};
  for (int file = 0; file < 3; ++file) {
    SCOPED_TRACE(file);
    const std::string path = scratch("random-" + std::to_string(file) + ".pdf");
    auto dc = letter_sheets(path);
    ASSERT_NE(dc, nullptr);
    std::vector<DcObject> fonts;
    for (const char* face : faces) fonts.push_back(dc->create_font(request(face, -pick(20, 200), pick(0, 1) == 1)));
    std::string title;
    for (int i = 0; i < 12; ++i) title.push_back(static_cast<char>(pick(1, 255)));
    dc->set_title(title);
    int sheets = 0;
    for (int op = 0; op < 300; ++op) {
      switch (pick(0, 7)) {
        case 0: {
          DcObject brush = dc->create_solid_brush(dc_rgb(pick(0, 255), pick(0, 255), pick(0, 255)));
          dc->fill_rect({pick(-100, 5000), pick(-100, 6500), pick(-100, 5000), pick(-100, 6500)}, brush);
          dc->delete_object(brush);
          break;
        }
        case 1: {
          DcObject pen = dc->create_pen(pick(0, 9), dc_rgb(pick(0, 255), 0, pick(0, 255)));
          DcObject old = dc->select_object(pen);
          dc->move_to(pick(-50, 5000), pick(-50, 6400));
          dc->line_to(pick(-50, 5000), pick(-50, 6400));
          dc->select_object(old);
          dc->delete_object(pen);
          break;
        }
        case 2: {
          std::string text;
          for (int i = pick(0, 20); i > 0; --i) text.push_back(static_cast<char>(pick(0, 255)));
          DcObject old = dc->select_object(fonts[pick(0, static_cast<int>(fonts.size()) - 1)]);
          dc->set_bk_mode(pick(0, 1) ? DC_OPAQUE : DC_TRANSPARENT);
          dc->set_text_color(dc_rgb(pick(0, 255), pick(0, 255), 0));
          dc->text_out(pick(-100, 4800), pick(-100, 6300), text.data(), static_cast<int>(text.size()));
          dc->select_object(old);
          break;
        }
        case 3:
          dc->save_dc();
          dc->intersect_clip_rect({pick(0, 4000), pick(0, 6000), pick(0, 4800), pick(0, 6300)});
          break;
        case 4: dc->restore_dc(pick(-2, 3)); break;
        case 5: {
          const int w = pick(1, 5), h = pick(1, 5), bits = pick(0, 1) ? 24 : 8;
          const DcBitmapInfoHeader info = tessel_testing::dib_header(w, pick(0, 1) ? h : -h, bits);
          std::vector<unsigned char> block(sizeof info + 1024 + 4 * 5 * 5);
          for (auto& b : block) b = static_cast<unsigned char>(pick(0, 3) * 85);
          std::memcpy(block.data(), &info, sizeof info);
          dc->stretch_dib(pick(-100, 4000), pick(-100, 6000), pick(0, 900), pick(0, 900), 0, 0, w, h,
                          block.data() + sizeof info + (bits == 8 ? 1024 : 0), 100,
                          reinterpret_cast<const DcBitmapInfoHeader*>(block.data()));
          break;
        }
        case 6:
          if (pick(0, 9) == 0) {
            dc->end_page();
            ++sheets;
          }
          break;
        default: dc->text_out(10, 10, "", 0); break;
      }
    }
    if (sheets == 0) dc->end_page();
    ASSERT_TRUE(dc->finish()) << dc->error();
    std::string report;
    EXPECT_TRUE(qpdf_check(path, &report)) << report;
    EXPECT_EQ(pdf_page_count(path), std::max(sheets, 1) + (sheets > 0 && dc->sheets() > sheets ? 1 : 0));
  }
}

}  // namespace
