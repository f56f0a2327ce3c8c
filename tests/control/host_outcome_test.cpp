// What the command-line host reports: every command's outcome in its exit
// status, the printer list without a document, the device transfer through
// the simulator (repeated until the addresses wrap) and the simulator's
// flash read back with tessel-flash.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/cups_scheduler.h"
#include "common/http_fixture.h"
#include "common/pdf_tools.h"

namespace {

namespace fs = std::filesystem;
using tessel_testing::shell_quote;

const std::string kBuild = TESSEL_BINARY_DIR;
const std::string kTessel = shell_quote(kBuild + "/apps/tessel");
const std::string kFlash = shell_quote(kBuild + "/apps/tessel-flash");
const std::string kSimulator = shell_quote(kBuild + "/device/AtUsbHidSimulator.so");

std::string sample(const std::string& name) {
  return shell_quote(std::string(TESSEL_SOURCE_DIR) + "/samples/" + name);
}

struct Outcome {
  int status = -1;
  std::string output;  // standard output and standard error
};

// Runs the host with the settings stores, the device's flash and the HID
// library in a scratch folder, and no terminal to answer boxes.
class HostOutcome : public ::testing::Test {
 protected:
  Outcome run(const std::string& program, const std::string& words, const std::string& env = "") const {
    const std::string scratch = "TESSEL_REGISTRY_USER=" + shell_quote(dir_.file("user")) +
                                " TESSEL_REGISTRY_SYSTEM=" + shell_quote(dir_.file("machine")) +
                                " TESSEL_REGISTRY_CLASSES=" + shell_quote(dir_.file("classes")) +
                                " TESSEL_SIM_FLASH=" + shell_quote(flash()) + " ";
    Outcome r;
    r.output = tessel_testing::run_command(
        "env -u TESSEL_HID_LIBRARY -u TESSEL_MODULE " + scratch + env + " " + program + " " + words + " </dev/null",
        &r.status);
    return r;
  }
  Outcome tessel(const std::string& words, const std::string& env = "") const { return run(kTessel, words, env); }
  std::string file(const std::string& name) const { return dir_.file(name); }
  std::string flash() const { return dir_.file("flash.bin"); }

  tessel_testing::TempDir dir_;
};

bool contains(const Outcome& o, const std::string& text) {
  return o.output.find(text) != std::string::npos;
}

TEST_F(HostOutcome, AFailedCommandGivesOneAndTheCommandsAfterItStillRun) {
  const std::string letter = "--src " + sample("letter.html");
  const Outcome fine = tessel(letter + " view -o " + shell_quote(file("ok.png")) + " sync --library " + kSimulator);
  EXPECT_EQ(fine.status, 0) << fine.output;
  EXPECT_TRUE(contains(fine, "pages sent to the device")) << fine.output;

  struct Case {
    const char* what;
    std::string words, env, says;
  } failing[] = {
      {"no HID library", "sync", "TESSEL_HID_LIBRARY=" + shell_quote(file("missing.so")),
       "ORV/Tessel: ERROR: unable to load AtUsbHid.dll."},
      {"device unplugged", "sync --library " + kSimulator, "TESSEL_SIM_UNPLUGGED=1",
       "ORV/Tessel: Unable to find Tessel."},
      {"print file not made", "print --printer pdf:" + shell_quote(file("none/out.pdf")), "",
       "tessel: the job did not reach pdf:"},
      {"view not written", "view -o " + shell_quote(file("none/page.png")), "", "tessel: cannot write"},
  };
  for (const Case& c : failing) {
    fs::remove(file("after.png"));
    const Outcome o = tessel(letter + " " + c.words + " view -o " + shell_quote(file("after.png")), c.env);
    EXPECT_EQ(o.status, 1) << c.what << ":\n" << o.output;
    EXPECT_TRUE(contains(o, c.says)) << c.what << ":\n" << o.output;
    EXPECT_TRUE(fs::exists(file("after.png"))) << c.what << ": the next command ran";
  }

  // Without the option the build tree's own HID library is found (beside
  // the control module); no device is attached here.
  const Outcome found = tessel(letter + " sync");
  EXPECT_EQ(found.status, 1);
  EXPECT_TRUE(contains(found, "Unable to find Tessel.")) << found.output;
  EXPECT_FALSE(contains(found, "unable to load")) << found.output;
  // Also when the module was named from the working directory.
  const Outcome relative =
      run("env -C " + shell_quote(kBuild) + " " + kTessel, letter + " sync", "TESSEL_MODULE=control/Tessel.so");
  EXPECT_TRUE(contains(relative, "Unable to find Tessel.")) << relative.output;
  EXPECT_FALSE(contains(relative, "unable to load")) << relative.output;
}

TEST_F(HostOutcome, ALoadThatFailedSendsNothingToTheDevice) {
  const Outcome o = tessel("--src http://127.0.0.1:1/gone.html sync --library " + kSimulator);
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(contains(o, "no command was run")) << o.output;
  EXPECT_FALSE(fs::exists(flash())) << "the device was not even opened";
}

// The transfer once emptied the device after about 210 pages in one
// process; the sample is 29 device pages, so the eighth transfer passes the
// end of the memory.
TEST_F(HostOutcome, EveryRepeatedTransferLeavesTheWholeDocumentOnTheDevice) {
  std::string words = "--src " + sample("report.html");
  for (int i = 0; i < 8; ++i) words += " sync --library " + kSimulator;
  const Outcome o = tessel(words);
  EXPECT_EQ(o.status, 0) << o.output;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(o.output, m, std::regex("tessel: ([0-9]+) pages sent to the device\n"))) << o.output;
  const std::string pages = m[1];
  EXPECT_GT(std::stoi(pages), 210 / 8);
  size_t reports = 0;
  for (size_t at = 0; (at = o.output.find("tessel: " + pages + " pages sent to the device\n", at)) != std::string::npos;
       ++at)
    ++reports;
  EXPECT_EQ(reports, 8u) << o.output;

  const Outcome read = run(kFlash, shell_quote(flash()) + " " + shell_quote(file("made/pages")));
  EXPECT_EQ(read.status, 0) << read.output;
  EXPECT_EQ(read.output.rfind("directory: " + pages + " pages\n", 0), 0u) << read.output;
  EXPECT_TRUE(fs::exists(file("made/pages/page-001.png"))) << "tessel-flash makes its folder";

  // A flash no transfer wrote has no directory.
  tessel_testing::write_file(file("erased.bin"), std::string(4096, '\xFF'));
  const Outcome erased = run(kFlash, shell_quote(file("erased.bin")) + " " + shell_quote(file("none")));
  EXPECT_EQ(erased.status, 0);
  EXPECT_EQ(erased.output, "no directory: the flash is erased or was not written by a transfer\n");
  EXPECT_FALSE(fs::exists(file("none")));
}

TEST_F(HostOutcome, PrintersAreListedWithoutLoadingADocument) {
  // A scheduler address where nothing listens says so.
  const Outcome down = tessel("printers", "CUPS_SERVER=127.0.0.1:9");
  EXPECT_EQ(down.status, 1);
  EXPECT_EQ(down.output, "tessel: cannot list the printers: the CUPS scheduler at 127.0.0.1:9 cannot be reached\n");
  const Outcome print = tessel("--src " + sample("letter.html") + " print --printer office", "CUPS_SERVER=127.0.0.1:9");
  EXPECT_EQ(print.status, 1);
  EXPECT_TRUE(contains(print, "the CUPS scheduler at 127.0.0.1:9 cannot be reached")) << print.output;

  tessel_testing::CupsScheduler cups;
  ASSERT_TRUE(cups.running());
  const Outcome listed = tessel("printers", "CUPS_SERVER=" + cups.server());
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.output, cups.queue() + "\n");
}

TEST_F(HostOutcome, RegistrationNamesTheModuleByItsPlainPath) {
  const Outcome o = tessel("register unregister");
  EXPECT_EQ(o.status, 0) << o.output;
  const std::string module = fs::path(kBuild + "/control/Tessel.so").lexically_normal().string();
  EXPECT_EQ(o.output, module + " registered\n" + module + " unregistered\n");
}

}  // namespace
