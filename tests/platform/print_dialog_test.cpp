// The print dialog over the host's callback: what the host is shown, what
// comes back, who makes the copies, and the device names blocks.
#include <gtest/gtest.h>

#include "platform/print_dialog.h"

namespace {

// Installs a dialog for one test and restores the previous one.
class ScopedDialog {
 public:
  explicit ScopedDialog(PrintDialogHandler handler) : previous_(set_print_dialog_handler(std::move(handler))) {}
  ~ScopedDialog() { set_print_dialog_handler(std::move(previous_)); }

 private:
  PrintDialogHandler previous_;
};

PrintDlgRecord fresh_record(uint32_t flags = PD_USEDEVMODECOPIESANDCOLLATE) {
  PrintDlgRecord record;
  record.struct_size = PRINTDLG_RECORD_SIZE;
  record.flags = flags;
  record.copies = 1;
  return record;
}

TEST(DeviceNames, BlockRoundTripAndMalformedBlocks) {
  std::vector<unsigned char> block = devnames_make("CUPS", "Office Laser", "");
  EXPECT_EQ(devnames_device(block), "Office Laser");
  EXPECT_EQ(block[0], 8);  // driver name right after the header

  EXPECT_EQ(devnames_device({}), "");
  EXPECT_EQ(devnames_device({8, 0, 8, 0}), "") << "shorter than its header";
  std::vector<unsigned char> outside = block;
  outside[2] = 0xFF;
  EXPECT_EQ(devnames_device(outside), "") << "offset past the end";
  std::vector<unsigned char> unterminated(DEVNAMES_HEADER_SIZE + 3, 'x');
  unterminated[2] = DEVNAMES_HEADER_SIZE;
  unterminated[3] = 0;
  EXPECT_EQ(devnames_device(unterminated), "") << "name without its NUL";
  EXPECT_TRUE(devnames_make("", std::string(70000, 'p'), "").empty()) << "offsets are 16 bits wide";
}

TEST(PrintDialog, CancelledOrUnusableLeavesTheOutputsEmpty) {
  {
    ScopedDialog none(nullptr);
    PrintDlgRecord record = fresh_record(PD_RETURNDC);
    EXPECT_EQ(print_dialog(&record), 0) << "no host dialog: nobody can confirm";
  }
  ScopedDialog dialog([](const PrintDialogRequest&, PrintDialogChoice* choice) {
    choice->printer = "pdf:/nonexistent/x.pdf";
    return true;
  });
  PrintDlgRecord wrong_size = fresh_record(PD_RETURNDC);
  wrong_size.struct_size = 64;
  EXPECT_EQ(print_dialog(&wrong_size), 0);
  EXPECT_EQ(print_dialog(nullptr), 0);

  ScopedDialog cancel([](const PrintDialogRequest&, PrintDialogChoice* choice) {
    choice->printer = "pdf:/tmp/never.pdf";
    return false;
  });
  PrintDlgRecord record = fresh_record(PD_RETURNDC);
  EXPECT_EQ(print_dialog(&record), 0);
  EXPECT_EQ(record.dc, nullptr);
  EXPECT_EQ(record.dev_mode, nullptr);
}

TEST(PrintDialog, HostSeesThePreselectionAndItsChoiceComesBack) {
  PrintDialogRequest seen;
  ScopedDialog dialog([&](const PrintDialogRequest& request, PrintDialogChoice* choice) {
    seen = request;
    choice->printer = "pdf:/tmp/chosen.pdf";
    choice->dev_mode.orientation = DMORIENT_LANDSCAPE;
    choice->dev_mode.paper_size = DMPAPER_A4;
    return true;
  });
  PrintDlgRecord record = fresh_record(PD_RETURNDC | PD_USEDEVMODECOPIESANDCOLLATE);
  record.dev_names = devnames_make("", "Front Desk", "");
  ASSERT_EQ(print_dialog(&record), 1);
  EXPECT_EQ(seen.preselected, "Front Desk");
  EXPECT_EQ(seen.flags, PD_RETURNDC | PD_USEDEVMODECOPIESANDCOLLATE);
  EXPECT_EQ(devnames_device(record.dev_names), "pdf:/tmp/chosen.pdf");
  ASSERT_NE(record.dev_mode, nullptr);
  EXPECT_EQ(record.dev_mode->orientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(record.dev_mode->fields, DM_ORIENTATION | DM_COPIES | DM_PAPERSIZE);
  ASSERT_NE(record.dc, nullptr);
  EXPECT_EQ(record.dc->paper(), DMPAPER_A4);
  EXPECT_EQ(record.dc->orientation(), DMORIENT_LANDSCAPE);
}

struct CopiesCase {
  const char* printer;
  bool driver_copies;
  uint32_t flags;
  int asked;
  int caller_copies;  // what the record's copies field says afterwards
  int device_copies;  // what the device mode asks of the printer
};

class PrintDialogCopies : public testing::TestWithParam<CopiesCase> {};

TEST_P(PrintDialogCopies, SplitBetweenCallerAndPrinter) {
  const CopiesCase& c = GetParam();
  ScopedDialog dialog([&](const PrintDialogRequest&, PrintDialogChoice* choice) {
    choice->printer = c.printer;
    choice->driver_copies = c.driver_copies;
    choice->dev_mode.copies = static_cast<int16_t>(c.asked);
    return true;
  });
  PrintDlgRecord record = fresh_record(c.flags);
  ASSERT_EQ(print_dialog(&record), 1);
  EXPECT_EQ(record.copies, c.caller_copies);
  EXPECT_EQ(record.dev_mode->copies, c.device_copies);
  EXPECT_EQ(record.dc, nullptr) << "no context without PD_RETURNDC";
}

INSTANTIATE_TEST_SUITE_P(Cases, PrintDialogCopies,
                         testing::Values(CopiesCase{"office", true, PD_USEDEVMODECOPIESANDCOLLATE, 2, 1, 2},
                                         CopiesCase{"office", false, PD_USEDEVMODECOPIESANDCOLLATE, 2, 2, 1},
                                         CopiesCase{"office", true, 0, 3, 3, 1},
                                         CopiesCase{"pdf:/tmp/x.pdf", true, PD_USEDEVMODECOPIESANDCOLLATE, 2, 2, 1},
                                         CopiesCase{"office", false, PD_USEDEVMODECOPIESANDCOLLATE, 0, 1, 1},
                                         CopiesCase{"office", true, PD_USEDEVMODECOPIESANDCOLLATE, -5, 1, 1},
                                         CopiesCase{"office", false, PD_USEDEVMODECOPIESANDCOLLATE, 32000, 9999, 1}));

}  // namespace
