// Printing from the control: the dialog it shows, what reaches the printer
// (sheets, orientation, copies), the printers it remembers in both registry
// roots, the first sheet against the page view, and a real CUPS queue.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/cups_scheduler.h"
#include "common/pdf_tools.h"
#include "control/tessel_ctrl.h"
#include "document/pdocbuild.h"
#include "image/imgfilter.h"
#include "platform/dc_cairo.h"
#include "platform/message_box.h"
#include "platform/print_dialog.h"
#include "platform/print_spooler.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;
using tessel_testing::pdf_page_count;
using tessel_testing::pdf_page_size;
using tessel_testing::run_command;
using tessel_testing::shell_quote;

constexpr const char kPrintersKey[] = "SOFTWARE\\ORV\\Tessel\\Printers";

std::string sample(const std::string& name) {
  return std::string(TESSEL_SOURCE_DIR) + "/samples/" + name;
}

// Keeps every job; pdf: jobs go on to their file as usual.
class RecordingSpooler final : public PrintSpooler {
 public:
  bool media_default(const std::string&, PrintMedia*) override { return false; }
  int submit(const PrintSubmission& job, std::string* error) override {
    jobs.push_back(job);
    if (print_is_pdf_destination(job.destination)) return system_print_spooler().submit(job, error);
    return 1;
  }
  std::vector<PrintSubmission> jobs;
};

// What the user does in the dialog.
struct DialogAnswer {
  bool confirm = true;
  std::string printer;
  int copies = 1;
  bool driver_copies = false;
};

// One control with a recording dialog, message boxes and spooler, and the
// two registry roots in a scratch folder.
class PrintTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tessel-print-" + std::to_string(getpid()) + "-" +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    setenv("TESSEL_REGISTRY_USER", (dir_ / "user").c_str(), 1);
    setenv("TESSEL_REGISTRY_SYSTEM", (dir_ / "machine").c_str(), 1);
    previous_dialog_ = set_print_dialog_handler([this](const PrintDialogRequest& request, PrintDialogChoice* choice) {
      requests.push_back(request);
      choice->printer = answer.printer;
      choice->dev_mode.copies = static_cast<int16_t>(answer.copies);
      choice->driver_copies = answer.driver_copies;
      return answer.confirm;
    });
    previous_box_ = set_message_box_handler([this](const char* text, const char* title, int) {
      boxes.push_back(std::string(title) + ": " + text);
      return IDOK;
    });
    previous_spooler_ = set_print_spooler(&spooler);
    answer.printer = "pdf:" + pdf();
  }
  void TearDown() override {
    set_print_spooler(previous_spooler_);
    set_message_box_handler(previous_box_);
    set_print_dialog_handler(previous_dialog_);
    unsetenv("TESSEL_REGISTRY_USER");
    unsetenv("TESSEL_REGISTRY_SYSTEM");
    fs::remove_all(dir_);
  }

  std::string pdf(const std::string& name = "out.pdf") const { return (dir_ / name).string(); }

  void load_html(const std::string& html) {
    control.m_pDocument.reset(pdocbuild_string(html.c_str(), nullptr, nullptr));
    ASSERT_TRUE(control.m_pDocument);
  }
  void load_sample(const std::string& name) {
    std::ifstream in(sample(name));
    std::stringstream text;
    text << in.rdbuf();
    load_html(text.str());
  }

  // The stored printer under a value name, or nothing.
  static std::optional<std::string> remembered(RegRoot root, const char* name = "") {
    RegKey* key = nullptr;
    if (RegOpenKey(root, kPrintersKey, REG_ACCESS_READ, &key) != REG_OK) return std::nullopt;
    char data[2048] = {};
    uint32_t size = sizeof data - 1;
    const long result = RegQueryValue(key, name, nullptr, data, &size);
    RegCloseKey(key);
    if (result != REG_OK) return std::nullopt;
    return std::string(data);
  }

  CTesselCtrl control;
  DialogAnswer answer;
  RecordingSpooler spooler;
  std::vector<PrintDialogRequest> requests;
  std::vector<std::string> boxes;

 private:
  fs::path dir_;
  PrintDialogHandler previous_dialog_;
  MessageBoxHandler previous_box_;
  PrintSpooler* previous_spooler_ = nullptr;
};

TEST_F(PrintTest, CancelPrintsNothingAndStoresNothing) {
  load_html("<p>hello</p>");
  answer.confirm = false;
  EXPECT_EQ(control.Print(), S_OK);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].preselected, "") << "an empty key preselects nothing";
  EXPECT_EQ(requests[0].flags, 0xC010Cu);
  EXPECT_EQ(requests[0].copies, 1);
  EXPECT_TRUE(spooler.jobs.empty());
  EXPECT_FALSE(fs::exists(pdf()));
  EXPECT_FALSE(remembered(RegRoot::CurrentUser));
  EXPECT_FALSE(remembered(RegRoot::LocalMachine));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(control.m_lastPrint.status, PrintResult::Status::Cancelled);
}

// The script member answers success whatever happened; what became of the
// job is kept for the host.
TEST_F(PrintTest, TheOutcomeOfTheLastPrintIsKept) {
  load_sample("letter.html");
  control.Print();
  EXPECT_EQ(control.m_lastPrint.status, PrintResult::Status::Printed);
  EXPECT_EQ(control.m_lastPrint.destination, "pdf:" + pdf());
  EXPECT_EQ(control.m_lastPrint.sheets, pdf_page_count(pdf()));

  // A file that cannot be made: the job is not taken.
  answer.printer = "pdf:" + pdf("no/such/folder/out.pdf");
  EXPECT_EQ(control.Print(), S_OK);
  EXPECT_EQ(control.m_lastPrint.status, PrintResult::Status::Failed);
  EXPECT_NE(control.m_lastPrint.failure.find("cannot create"), std::string::npos) << control.m_lastPrint.failure;
  EXPECT_EQ(control.m_lastPrint.sheets, 0);
}

TEST_F(PrintTest, WithoutADocumentAJobWithoutSheetsIsStartedAndEnded) {
  EXPECT_EQ(control.Print(), S_OK);
  ASSERT_EQ(spooler.jobs.size(), 1u);
  EXPECT_EQ(spooler.jobs[0].job_name, "ORV Printer");
  EXPECT_EQ(spooler.jobs[0].pages, 0);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PrintTest, TheFileCarriesTheDocumentsTitleAndItsText) {
  load_html(
      "<html><head><title>Quarterly &amp; \x80 figures</title></head><body>"
      "<p>Revenue rose.</p><p><font face=symbol>\xB7</font> Costs fell.</p></body></html>");
  control.Print();
  const std::string info = run_command("pdfinfo " + shell_quote(pdf()));
  EXPECT_NE(info.find("Title:           Quarterly & \xE2\x82\xAC figures"), std::string::npos) << info;
  const std::string text = run_command("pdftotext " + shell_quote(pdf()) + " -");
  EXPECT_NE(text.find("Revenue rose."), std::string::npos) << text;
  EXPECT_NE(text.find("\xE2\x80\xA2 Costs fell."), std::string::npos) << text;

  load_html("<html><body>untitled</body></html>");
  control.Print();
  EXPECT_EQ(run_command("pdfinfo " + shell_quote(pdf())).find("Title:"), std::string::npos);
}

TEST_F(PrintTest, OrientationTurnsTheSheetBeforeItIsMeasured) {
  load_sample("letter.html");
  control.m_nOrientation = 2;
  control.Print();
  double width = 0, height = 0;
  ASSERT_TRUE(pdf_page_size(pdf(), 1, &width, &height));
  EXPECT_GT(width, height) << "landscape lays the long side horizontally";

  control.m_nOrientation = 1;
  answer.printer = "pdf:" + pdf("portrait.pdf");
  control.Print();
  ASSERT_TRUE(pdf_page_size(pdf("portrait.pdf"), 1, &width, &height));
  EXPECT_LT(width, height);
  EXPECT_GT(pdf_page_count(pdf()), pdf_page_count(pdf("portrait.pdf")))
      << "the shorter landscape sheet holds fewer lines";
}

TEST_F(PrintTest, CopiesAreMadeByThePrinterOrSentOncePerCopy) {
  load_sample("letter.html");
  control.Print();
  const int pages = pdf_page_count(pdf());
  ASSERT_GT(pages, 1);

  answer.printer = "office";
  answer.driver_copies = true;
  answer.copies = 2;
  control.Print();
  ASSERT_EQ(spooler.jobs.size(), 2u);
  EXPECT_EQ(spooler.jobs[1].pages, pages) << "the document is sent once";
  EXPECT_EQ(spooler.jobs[1].copies, 2) << "and the printer asked for two copies";

  answer.printer = "pdf:" + pdf("twice.pdf");
  control.Print();
  ASSERT_EQ(spooler.jobs.size(), 3u);
  EXPECT_EQ(spooler.jobs[2].copies, 1);
  EXPECT_EQ(pdf_page_count(pdf("twice.pdf")), 2 * pages) << "each copy starts again at the root";
}

TEST_F(PrintTest, ConfirmedPrintRemembersThePrinterUnderTheUnnamedValue) {
  answer.printer = "office";
  control.Print();
  EXPECT_EQ(remembered(RegRoot::CurrentUser), "office");
  EXPECT_EQ(remembered(RegRoot::LocalMachine), "office");
  control.Print();
  EXPECT_EQ(requests.back().preselected, "") << "the empty key never looks anything up";
}

TEST_F(PrintTest, PrinterRememberedOnlyPerUserIsPreselected) {
  ASSERT_EQ(control.SavePrinterSetting(RegRoot::CurrentUser, "front", "Front Desk"), REG_OK);
  answer.printer = "FRONT DESK";
  control.PrintDocument(nullptr, "front");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].preselected, "Front Desk");
  EXPECT_FALSE(remembered(RegRoot::LocalMachine, "front")) << "the same printer, in another case, stores nothing";
  EXPECT_EQ(remembered(RegRoot::CurrentUser, "front"), "Front Desk");

  answer.printer = "Back Office";
  control.PrintDocument(nullptr, "front");
  EXPECT_EQ(remembered(RegRoot::LocalMachine, "front"), "Back Office");
  EXPECT_EQ(remembered(RegRoot::CurrentUser, "front"), "Back Office");
  EXPECT_FALSE(remembered(RegRoot::CurrentUser)) << "the unnamed value is another printer key";

  control.PrintDocument(nullptr, "Reception");
  EXPECT_EQ(requests.back().preselected, "Reception") << "a key nobody remembers names the printer";
}

TEST_F(PrintTest, ElementThatFitsOnNoSheetIsReportedAndSkipped) {
  load_html("<html><body><font size=7>" + std::string(80, 'W') + "</font></body><body><p>after</p></body></html>");
  control.Print();
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "Error: Cannot fit on a page"), 1);
  ASSERT_EQ(spooler.jobs.size(), 1u);
  EXPECT_GE(spooler.jobs[0].pages, 2) << "the attempt is a sheet and the next body follows";
  EXPECT_EQ(control.m_leftOut.elements, 1);
  EXPECT_EQ(control.m_leftOut.first_page, 2);
}

TEST(PrinterSetting, StoredValueIsTerminatedInsideTheBuffer) {
  const fs::path dir = fs::temp_directory_path() / ("tessel-printer-setting-" + std::to_string(getpid()));
  setenv("TESSEL_REGISTRY_USER", dir.c_str(), 1);
  CTesselCtrl control;
  char buffer[2048];
  EXPECT_EQ(control.LoadPrinterSetting(RegRoot::CurrentUser, "", buffer, sizeof buffer), -1) << "no key yet";

  RegKey* key = nullptr;
  ASSERT_EQ(RegCreateKey(RegRoot::CurrentUser, kPrintersKey, REG_ACCESS_ALL, &key), REG_OK);
  // The stored type is not checked: binary data without a NUL is read too.
  const std::string full(sizeof buffer, 'A');
  RegSetValue(key, "full", REG_BINARY, full.data(), static_cast<uint32_t>(full.size()));
  const std::string longer(3000, 'B');
  RegSetValue(key, "long", REG_BINARY, longer.data(), static_cast<uint32_t>(longer.size()));
  RegSetValue(key, "short", REG_BINARY, "Lab", 3);
  RegCloseKey(key);

  std::memset(buffer, 'x', sizeof buffer);
  ASSERT_EQ(control.LoadPrinterSetting(RegRoot::CurrentUser, "full", buffer, sizeof buffer), 1);
  EXPECT_EQ(std::strlen(buffer), sizeof buffer - 1);
  std::memset(buffer, 'x', sizeof buffer);
  ASSERT_EQ(control.LoadPrinterSetting(RegRoot::CurrentUser, "short", buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "Lab");
  EXPECT_EQ(control.LoadPrinterSetting(RegRoot::CurrentUser, "long", buffer, sizeof buffer), -1);
  EXPECT_EQ(control.LoadPrinterSetting(RegRoot::CurrentUser, "absent", buffer, sizeof buffer), -1);
  unsetenv("TESSEL_REGISTRY_USER");
  fs::remove_all(dir);
}

struct Rgb {
  int width = 0, height = 0;
  std::vector<unsigned char> data;  // 3 bytes a pixel
  const unsigned char* at(int x, int y) const { return data.data() + (static_cast<size_t>(y) * width + x) * 3; }
};

bool read_png(const std::string& path, Rgb* out) {
  imf_context_ptr ctx(imf_create(IMF_VERSION));
  if (!ctx) return false;
  imf_register(ctx.get(), imf_module_png);
  imf_set_input_format(ctx.get(), IMF_FMT_PNG);
  imf_set_input_file(ctx.get(), path.c_str());
  if (!imf_read(ctx.get()) || !ctx->image || ctx->image->type != IMF_RGB24) return false;
  const imf_image* img = ctx->image;
  out->width = img->width;
  out->height = img->height;
  out->data.resize(static_cast<size_t>(img->width) * img->height * 3);
  for (int y = 0; y < img->height; y++)
    std::copy_n(img->data + static_cast<size_t>(y) * img->stride, img->width * 3,
                out->data.data() + static_cast<size_t>(y) * img->width * 3);
  return true;
}

// Means of factor x factor blocks, so that glyph edges smoothed by two
// different rasterisers compare as equal.
Rgb shrink(const Rgb& in, int factor) {
  Rgb out;
  out.width = in.width / factor;
  out.height = in.height / factor;
  out.data.resize(static_cast<size_t>(out.width) * out.height * 3);
  for (int y = 0; y < out.height; y++)
    for (int x = 0; x < out.width; x++)
      for (int c = 0; c < 3; c++) {
        int sum = 0;
        for (int dy = 0; dy < factor; dy++)
          for (int dx = 0; dx < factor; dx++) sum += in.at(x * factor + dx, y * factor + dy)[c];
        out.data[(static_cast<size_t>(y) * out.width + x) * 3 + c] =
            static_cast<unsigned char>(sum / (factor * factor));
      }
  return out;
}

TEST_F(PrintTest, FirstSheetMatchesThePageViewAtThePrinterResolution) {
  load_sample("letter.html");
  control.Print();
  ASSERT_GT(pdf_page_count(pdf()), 0);

  // The top of the first sheet: 6.7 x 2.5 inches of the printable area,
  // which starts a quarter inch in from the corner of a Letter sheet.
  constexpr int kDpi = 600, kMargin = 150, kWidth = 4000, kHeight = 1500;
  const tessel_testing::PdfCrop crop{kMargin, kMargin, kWidth, kHeight};
  const std::string png = pdf("sheet1.png");
  ASSERT_TRUE(tessel_testing::pdf_page_to_png(pdf(), 1, kDpi, png, &crop));
  Rgb printed;
  ASSERT_TRUE(read_png(png, &printed));
  ASSERT_EQ(printed.width, kWidth);
  ASSERT_EQ(printed.height, kHeight);

  // The page view of the same printable area (8 x 10.5 inches) at 600 per
  // inch; only the part above is kept in memory.
  auto view = CairoDc::create_memory(kWidth, kHeight, kDpi);
  ASSERT_NE(view, nullptr);
  control.m_nCurrentPage = 1;
  control.Draw(view.get(), {0, 0, 4800 - 1, 6300 - 1});
  Rgb drawn;
  drawn.width = kWidth;
  drawn.height = kHeight;
  drawn.data.resize(static_cast<size_t>(kWidth) * kHeight * 3);
  const unsigned char* bits = view->bits();
  for (int y = 0; y < kHeight; y++)
    for (int x = 0; x < kWidth; x++) {
      const unsigned char* p = bits + static_cast<size_t>(y) * view->stride() + x * 4;  // B G R X
      unsigned char* q = drawn.data.data() + (static_cast<size_t>(y) * kWidth + x) * 3;
      q[0] = p[2];
      q[1] = p[1];
      q[2] = p[0];
    }

  // Compared at 75 per inch; the view's frame on the first column and row
  // is not part of the sheet.
  constexpr int kFactor = 8;
  const Rgb a = shrink(printed, kFactor), b = shrink(drawn, kFactor);
  long inked = 0, differing = 0;
  for (int y = 1; y < a.height; y++)
    for (int x = 1; x < a.width; x++) {
      const unsigned char *p = a.at(x, y), *q = b.at(x, y);
      inked += p[0] < 160 || p[1] < 160 || p[2] < 160;
      const int d = std::max({std::abs(p[0] - q[0]), std::abs(p[1] - q[1]), std::abs(p[2] - q[2])});
      differing += d > 64;
    }
  const long total = static_cast<long>(a.width) * a.height;
  EXPECT_GT(inked, total / 100) << "the sheet shows the letterhead";
  EXPECT_LE(differing, total / 200) << differing << " of " << total << " pixels differ";
}

TEST(PrintOnCups, TesselPrintDeliversOneNamedJobWithEverySheet) {
  const std::string tessel = std::string(TESSEL_BINARY_DIR) + "/apps/tessel";
  ASSERT_TRUE(fs::exists(tessel)) << tessel << " is not built";
  tessel_testing::CupsScheduler cups;
  ASSERT_TRUE(cups.running());

  // The sheets to expect: the same document on the queue's paper (A4,
  // margins 1/4 inch at the sides and 1/2 inch above and below).
  class QueuePaper final : public PrintSpooler {
   public:
    bool media_default(const std::string&, PrintMedia* media) override {
      *media = {DMPAPER_A4, true, 18, 36, 18, 36};
      return true;
    }
    int submit(const PrintSubmission& job, std::string*) override {
      pages = job.pages;
      return 1;
    }
    int pages = -1;
  } paper;
  PrintSpooler* previous_spooler = set_print_spooler(&paper);
  PrintDialogHandler previous_dialog = set_print_dialog_handler([](const PrintDialogRequest&, PrintDialogChoice* c) {
    c->printer = "testq";
    return true;
  });
  const fs::path dir = fs::temp_directory_path() / ("tessel-print-cups-" + std::to_string(getpid()));
  fs::create_directories(dir);
  setenv("TESSEL_REGISTRY_USER", (dir / "user").c_str(), 1);
  setenv("TESSEL_REGISTRY_SYSTEM", (dir / "machine").c_str(), 1);
  {
    CTesselCtrl control;
    std::ifstream in(sample("letter.html"));
    std::stringstream text;
    text << in.rdbuf();
    control.m_pDocument.reset(pdocbuild_string(text.str().c_str(), nullptr, nullptr));
    control.Print();
  }
  set_print_dialog_handler(previous_dialog);
  set_print_spooler(previous_spooler);
  ASSERT_GT(paper.pages, 0);

  const std::string err = (dir / "stderr").string();
  int status = -1;
  tessel_testing::run_command(tessel_testing::shell_quote(tessel) + " --src " +
                                  tessel_testing::shell_quote(sample("letter.html")) +
                                  " print --printer testq </dev/null 2>" + tessel_testing::shell_quote(err),
                              &status);
  std::ifstream err_in(err);
  std::stringstream err_text;
  err_text << err_in.rdbuf();
  EXPECT_EQ(status, 0) << err_text.str();
  ASSERT_TRUE(cups.wait_for_completed(1, 3000)) << cups.log_tail();
  const auto jobs = cups.jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].name, "ORV Printer");
  EXPECT_EQ(tessel_testing::pdf_page_count(cups.output_path()), paper.pages);
  double width = 0, height = 0;
  ASSERT_TRUE(pdf_page_size(cups.output_path(), 1, &width, &height));
  EXPECT_NEAR(width, 595.3, 0.5) << "the queue's default paper";

  unsetenv("TESSEL_REGISTRY_USER");
  unsetenv("TESSEL_REGISTRY_SYSTEM");
  fs::remove_all(dir);
}

}  // namespace

namespace {

TEST(PrintHost, WithoutAPrinterOrATerminalPrintingIsCancelled) {
  const std::string tessel = std::string(TESSEL_BINARY_DIR) + "/apps/tessel";
  ASSERT_TRUE(fs::exists(tessel)) << tessel << " is not built";
  const fs::path dir = fs::temp_directory_path() / ("tessel-print-host-" + std::to_string(getpid()));
  fs::create_directories(dir);
  // A scheduler address where nothing listens: no default either.
  const std::string env = "CUPS_SERVER=127.0.0.1:9 TESSEL_REGISTRY_USER=" + (dir / "user").string() +
                          " TESSEL_REGISTRY_SYSTEM=" + (dir / "machine").string() + " ";
  int status = -1;
  const std::string out =
      tessel_testing::run_command(env + tessel_testing::shell_quote(tessel) + " --src " +
                                      tessel_testing::shell_quote(sample("letter.html")) + " print </dev/null",
                                  &status);
  EXPECT_EQ(status, 1) << "nothing reached a printer";
  EXPECT_NE(out.find("printing cancelled: no printer given (use --printer NAME or pdf:FILE) and the CUPS "
                     "scheduler at 127.0.0.1:9 cannot be reached"),
            std::string::npos)
      << out;
  EXPECT_FALSE(fs::exists(dir / "user")) << "a cancelled print stores nothing";

  tessel_testing::run_command(env + tessel_testing::shell_quote(tessel) + " print --copies 0", &status);
  EXPECT_EQ(status, 2) << "copies outside 1..9999 are refused";
  fs::remove_all(dir);
}

}  // namespace
