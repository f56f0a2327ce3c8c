// The command-line host end to end, and the control's own downloads over
// TLS from a real web server on loopback.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/hostile_peer.h"
#include "common/http_fixture.h"
#include "common/nginx_server.h"
#include "control/tessel_ctrl.h"
#include "platform/message_box.h"
#include "platform/property_bag.h"

namespace {

using tessel_testing::NginxServer;

struct Outcome {
  int status = -1;
  std::string out;
};

// Runs a command line through the shell; standard error goes to err_file
// when one is given, else it is dropped.
Outcome run(const std::string& command, const std::string& err_file = "/dev/null") {
  Outcome r;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>" + err_file).c_str(), "r"), ::pclose);
  if (!pipe) return r;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) r.out.append(buffer, n);
  const int raw = ::pclose(pipe.release());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

const std::string kTessel = std::string(TESSEL_BINARY_DIR) + "/apps/tessel";
const std::string kDump = std::string(TESSEL_BINARY_DIR) + "/apps/tessel-dump";

// Picture sources name the server they came from (or a temporary file once
// fetched); everything else in a dump must not depend on where the document
// was read.
std::string without_sources(const std::string& dump) {
  return std::regex_replace(dump, std::regex(R"( src="[^"]*")"), " src=*");
}

// The first line where two dumps differ, or "" when they agree.
std::string first_difference(const std::string& a, const std::string& b) {
  std::istringstream x(a), y(b);
  std::string lx, ly;
  for (int line = 1;; ++line) {
    const bool more_x = static_cast<bool>(std::getline(x, lx));
    const bool more_y = static_cast<bool>(std::getline(y, ly));
    if (!more_x && !more_y) return "";
    if (lx != ly || more_x != more_y) return "line " + std::to_string(line) + ":\n  " + lx + "\n  " + ly;
  }
}

std::string sample(const std::string& name) {
  return std::string(TESSEL_SOURCE_DIR) + "/samples/" + name;
}

TEST(Host, DumpOfAFileAndOfTheSameDocumentOnAWebServerAgreeOverHttpAndHttps) {
  tessel_testing::NoSystemProxy no_proxy;
  NginxServer nginx;
  ASSERT_EQ(nginx.error(), "");
  std::filesystem::copy_file(sample("letter.html"), nginx.root() + "/letter.html");

  const Outcome local = run(kTessel + " --src " + sample("letter.html") + " dump");
  const Outcome served = run(kTessel + " --src " + nginx.http_url("/letter.html") + " dump");
  // The host does not link the TLS library; it is loaded for this fetch.
  const Outcome secure = run(kTessel + " --src " + nginx.https_url("/letter.html") + " --param tlsverify=false dump");
  const Outcome direct = run(kDump + " " + sample("letter.html"));
  ASSERT_EQ(local.status, 0);
  ASSERT_EQ(served.status, 0);
  ASSERT_EQ(secure.status, 0);
  EXPECT_NE(local.out.find("TABLE name=\"letterhead\""), std::string::npos);
  EXPECT_EQ(first_difference(without_sources(local.out), without_sources(served.out)), "");
  EXPECT_EQ(first_difference(without_sources(local.out), without_sources(secure.out)), "");
  // tessel-dump prints the builder's reports before the tree; the host
  // keeps the component's standard output hidden.
  const std::string tree = without_sources(direct.out);
  const size_t start = tree.find("HTML\n");
  ASSERT_NE(start, std::string::npos);
  EXPECT_EQ(first_difference(without_sources(local.out), tree.substr(start)), "");
}

TEST(Host, ArgumentsAndExitStatus) {
  EXPECT_EQ(run(kTessel + " --help").status, 0);
  const Outcome help = run(kTessel + " --help");
  EXPECT_NE(help.out.find("dump"), std::string::npos);
  EXPECT_EQ(run(kTessel + " --bogus x dump").status, 2);
  EXPECT_EQ(run(kTessel + " --src").status, 2);
  EXPECT_EQ(run(kTessel + " frobnicate").status, 2);
  EXPECT_EQ(run(kTessel + " --param novalue dump").status, 2);
  EXPECT_EQ(run(kTessel + " --src /no/such/file.html dump").status, 2);
  EXPECT_NE(help.out.find("Exit status: 0"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("2 for unusable arguments"), std::string::npos) << help.out;

  const Outcome version = run(kTessel + " --version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("tessel [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;

  // Without a command, and with option values no command can use, nothing
  // is loaded: the usage or the reason, and status 2.
  tessel_testing::TempDir dir;
  const std::pair<const char*, const char*> refused[] = {
      {"", "usage: tessel"},
      {" --src http://127.0.0.1:1/x.html", "usage: tessel"},
      {" view --size 0x5", "tessel: view --size wants WxH"},
      {" print --copies many", "tessel: --copies wants a number"},
  };
  for (const auto& [words, says] : refused) {
    EXPECT_EQ(run(kTessel + words, dir.file("err")).status, 2) << words;
    const std::string err = tessel_testing::read_file(dir.file("err"));
    EXPECT_EQ(err.rfind(says, 0), 0u) << words << ": " << err;
    EXPECT_EQ(err.find("Error"), std::string::npos) << words << ": " << err;
  }

  // A load that fails is a failure, and no command runs on what it left.
  const Outcome failed = run(kTessel + " --src http://127.0.0.1:1/x.html dump", dir.file("err"));
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.out, "");
  EXPECT_EQ(tessel_testing::read_file(dir.file("err")),
            "Error Downloading: Error downloading information.  Click OK, then press the F5 key to try again.\n"
            "tessel: the document did not load; no command was run\n");
}

// The host reaches the control only through the module's exports: it
// carries no copy of the document code (or of anything above it), whose
// state would be apart from the module's.
TEST(Host, CarriesNoCopyOfTheCodeBehindTheModule) {
  const Outcome symbols = run("nm -C " + kTessel);
  ASSERT_EQ(symbols.status, 0);
  ASSERT_NE(symbols.out.find("ControlHost::"), std::string::npos) << "nm read the program";
  for (const char* name : {"pdoc_", "qelhtmlparser_", "layout_page", "CTesselCtrl::", "sync_device"})
    EXPECT_EQ(symbols.out.find(name), std::string::npos) << name;
}

// A view or a print whose pages leave something out says so once, on
// standard error; one that leaves nothing out says nothing about it.
TEST(Host, JobsThatLeaveContentOutSayHowMuchAndWhere) {
  tessel_testing::TempDir dir;
  const std::string doc = dir.file("wide.html");
  tessel_testing::write_file(doc, "fits<br><font size=7>" + std::string(200, 'W') + "</font><br>after");
  const std::string line = "1 elements left out, first on page 2\n";
  // The view lays out the pages up to the one it shows.
  for (const std::string& job : {std::string("next view -o ") + dir.file("page.png"),
                                 std::string("print --printer pdf:") + dir.file("out.pdf")}) {
    ASSERT_EQ(run(kTessel + " --src " + doc + " " + job, dir.file("err")).status, 0) << job;
    const std::string err = tessel_testing::read_file(dir.file("err"));
    const size_t at = err.find(line);
    EXPECT_NE(at, std::string::npos) << job << ": " << err;
    EXPECT_EQ(err.find(line, at + 1), std::string::npos) << job << ": once per job";
  }
  tessel_testing::write_file(doc, "<p>fits");
  ASSERT_EQ(run(kTessel + " --src " + doc + " view -o " + dir.file("page.png"), dir.file("err")).status, 0);
  EXPECT_EQ(tessel_testing::read_file(dir.file("err")).find("left out"), std::string::npos);
}

// Through the host, as a user would meet them: each misbehaving server
// costs at most the time-out (plus the start of the program) and ends in
// the download box. The peers run side by side to keep the test short.
TEST(Host, EveryStallEndsWithinTheTimeOutInTheDownloadBox) {
  using tessel_testing::Hostile;
  tessel_testing::NoSystemProxy no_proxy;
  tessel_testing::TempDir dir;
  const std::vector<Hostile> modes = {Hostile::SilentAfterAccept, Hostile::FullAcceptQueue, Hostile::TrickleHead,
                                      Hostile::EndlessHeaders,    Hostile::ShortBody,       Hostile::StallMidBody,
                                      Hostile::HalfServerHello,   Hostile::WrongName};
  std::vector<std::unique_ptr<tessel_testing::HostilePeer>> peers;
  for (Hostile mode : modes) peers.push_back(std::make_unique<tessel_testing::HostilePeer>(mode, 15000));
  std::vector<double> seconds(modes.size());
  std::vector<std::thread> runs;
  for (size_t i = 0; i < modes.size(); ++i) {
    runs.emplace_back([&, i] {
      const auto start = std::chrono::steady_clock::now();
      run(kTessel + " --src " + peers[i]->url("/doc.html") + " --param timeout=2 dump",
          dir.file("err" + std::to_string(i)));
      seconds[i] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
  }
  for (std::thread& t : runs) t.join();
  for (size_t i = 0; i < modes.size(); ++i) {
    EXPECT_LT(seconds[i], 2 + 3.0) << "peer " << i;
    const std::string err = tessel_testing::read_file(dir.file("err" + std::to_string(i)));
    EXPECT_EQ(err.rfind("Error Downloading: Error downloading information.  Click OK, then press the F5 key to try "
                        "again.\n",
                        0),
              0u)
        << "peer " << i << ": " << err;
  }
}

// The document request checks the server certificate unless the host turns
// that off with tlsverify; nginx here has a self-signed one.
TEST(ControlTls, SelfSignedServerNeedsVerificationTurnedOff) {
  tessel_testing::NoSystemProxy no_proxy;
  NginxServer nginx;
  ASSERT_EQ(nginx.error(), "");
  tessel_testing::write_file(nginx.root() + "/doc.html", "<p>secure");
  int boxes = 0;
  MessageBoxHandler previous = set_message_box_handler([&](const char*, const char*, int) {
    ++boxes;
    return IDOK;
  });

  for (const char* value : {"", "true", "false", "F"}) {
    MemoryPropertyBag bag;
    bag.set("src", nginx.https_url("/doc.html"));
    if (*value) bag.set("tlsverify", value);
    CTesselCtrl control;
    boxes = 0;
    control.Load(&bag, nullptr);
    const bool verified = value[0] != 'f' && value[0] != 'F';
    EXPECT_EQ(boxes, verified ? 1 : 0) << value;
    const bool built = control.m_pDocument && control.m_pDocument->root;
    EXPECT_EQ(built, !verified) << value;
  }
  set_message_box_handler(previous);
}

}  // namespace
