// The installed layout: cmake --install into a scratch prefix, then the
// installed programs on the installed sample, finding the module, the HID
// libraries and the web assets from their own folder alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/http_fixture.h"
#include "common/pdf_tools.h"

namespace {

namespace fs = std::filesystem;
using tessel_testing::shell_quote;

TEST(Install, TheInstalledHostViewsAndSyncsTheInstalledSample) {
  tessel_testing::TempDir dir;
  const std::string prefix = dir.file("prefix");
  int status = -1;
  const std::string installed =
      tessel_testing::run_command(shell_quote(TESSEL_CMAKE_COMMAND) + " --install " + shell_quote(TESSEL_BINARY_DIR) +
                                      " --prefix " + shell_quote(prefix),
                                  &status);
  ASSERT_EQ(status, 0) << installed;
  for (const char* file :
       {"bin/tessel", "bin/tessel-flash", "lib/tessel/Tessel.so", "lib/tessel/AtUsbHid.so",
        "lib/tessel/AtUsbHidSimulator.so", "share/tessel/web/tessel.js", "share/tessel/udev/99-tessel.rules",
        "share/tessel/samples/report.html", "share/tessel/samples/images/report-logo.png"})
    EXPECT_TRUE(fs::exists(prefix + "/" + file)) << file;

  // Nothing points the programs at the build tree.
  const std::string env =
      "env -u TESSEL_MODULE -u TESSEL_HID_LIBRARY TESSEL_REGISTRY_USER=" + shell_quote(dir.file("user")) +
      " TESSEL_REGISTRY_SYSTEM=" + shell_quote(dir.file("machine")) +
      " TESSEL_SIM_FLASH=" + shell_quote(dir.file("flash.bin")) + " ";
  const std::string tessel =
      env + shell_quote(prefix + "/bin/tessel") + " --src " + shell_quote(prefix + "/share/tessel/samples/report.html");

  const std::string view =
      tessel_testing::run_command(tessel + " view --all -o " + shell_quote(dir.file("pages")), &status);
  EXPECT_EQ(status, 0) << view;
  EXPECT_NE(view.find(" pages written to "), std::string::npos) << view;
  EXPECT_TRUE(fs::exists(dir.file("pages/page-001.png")));

  const std::string sync = tessel_testing::run_command(
      tessel + " sync --library " + shell_quote(prefix + "/lib/tessel/AtUsbHidSimulator.so") + " </dev/null", &status);
  EXPECT_EQ(status, 0) << sync;
  const std::string flash =
      tessel_testing::run_command(shell_quote(prefix + "/bin/tessel-flash") + " " + shell_quote(dir.file("flash.bin")) +
                                      " " + shell_quote(dir.file("device")),
                                  &status);
  EXPECT_EQ(status, 0) << flash;
  EXPECT_EQ(flash.rfind("directory: ", 0), 0u) << flash;
  EXPECT_TRUE(fs::exists(dir.file("device/page-001.png")));

  const std::string registered =
      tessel_testing::run_command(env + "TESSEL_REGISTRY_CLASSES=" + shell_quote(dir.file("classes")) + " " +
                                      shell_quote(prefix + "/bin/tessel") + " register",
                                  &status);
  EXPECT_EQ(status, 0) << registered;
  EXPECT_EQ(registered, prefix + "/lib/tessel/Tessel.so registered\n");

  // With no option the installed hidapi library is found; no device is
  // attached here.
  const std::string plain = tessel_testing::run_command(tessel + " sync </dev/null", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(plain.find("Unable to find Tessel."), std::string::npos) << plain;
}

}  // namespace
