// The system spooler against a real CUPS scheduler on 127.0.0.1: the queue's
// default paper and margins, and a job with its name and copies.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include "common/cups_scheduler.h"
#include "common/pdf_tools.h"
#include "platform/print_dc.h"
#include "platform/print_spooler.h"

namespace {

TEST(CupsSpooler, QueuePaperAndJobNameCopiesAndSheets) {
  tessel_testing::CupsScheduler cups;
  ASSERT_TRUE(cups.running());

  PrintMedia media;
  ASSERT_TRUE(system_print_spooler().media_default("testq", &media));
  EXPECT_EQ(media.paper, DMPAPER_A4);
  EXPECT_TRUE(media.margins_known);
  EXPECT_NEAR(media.left, 18, 0.5);
  EXPECT_NEAR(media.top, 36, 0.5);
  EXPECT_FALSE(system_print_spooler().media_default("no-such-queue", &media));

  std::string problem;
  const auto destinations = print_destinations(&problem);
  EXPECT_EQ(problem, "");
  ASSERT_EQ(destinations.size(), 1u);
  EXPECT_EQ(destinations[0].name, "testq");

  DevModeRecord dm;
  dm.fields = DM_ORIENTATION | DM_COPIES;
  dm.copies = 2;
  auto dc = PrinterDc::create("testq", dm);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(dc->paper(), DMPAPER_A4);
  EXPECT_EQ(dc->printable().top, 300);
  PrintDocInfo info;
  info.doc_name = "ORV Printer";
  ASSERT_GT(dc->start_doc(info), 0);
  for (int sheet = 0; sheet < 2; ++sheet) {
    ASSERT_TRUE(dc->start_page());
    ASSERT_TRUE(dc->end_page());
  }
  ASSERT_GT(dc->end_doc(), 0) << dc->last_error();
  ASSERT_TRUE(cups.wait_for_completed(1, 3000)) << cups.log_tail();
  const auto jobs = cups.jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].name, "ORV Printer");
  EXPECT_EQ(jobs[0].copies, 2);
  EXPECT_EQ(tessel_testing::pdf_page_count(cups.output_path()), 2);

  auto missing = PrinterDc::create("no-such-queue", dm);
  ASSERT_GT(missing->start_doc(info), 0);
  missing->start_page();
  EXPECT_EQ(missing->end_doc(), 0);
  EXPECT_NE(missing->last_error().find("no-such-queue"), std::string::npos) << missing->last_error();
}

// libcups itself calls every queue missing when it reaches no scheduler.
TEST(CupsSpooler, ASchedulerThatCannotBeReachedIsReportedAsSuch) {
  cupsSetServer("127.0.0.1:9");  // nothing listens there
  const std::string expected = "the CUPS scheduler at 127.0.0.1:9 cannot be reached";
  std::string problem;
  EXPECT_TRUE(print_destinations(&problem).empty());
  EXPECT_EQ(problem, expected);
  problem.clear();
  EXPECT_EQ(print_default_destination(&problem), "");
  EXPECT_EQ(problem, expected);

  auto dc = PrinterDc::create("office", DevModeRecord{});
  ASSERT_NE(dc, nullptr);
  PrintDocInfo info;
  info.doc_name = "ORV Printer";
  ASSERT_GT(dc->start_doc(info), 0);
  dc->start_page();
  EXPECT_EQ(dc->end_doc(), 0);
  EXPECT_EQ(dc->last_error(), expected);
  cupsSetServer(nullptr);
}

}  // namespace
