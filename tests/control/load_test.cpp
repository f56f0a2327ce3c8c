// The control's load sequence driven through the host stand-ins: a scripted
// property bag, a recording message box and a loopback web server.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/tessel_ctrl.h"
#include "document/pdoc.h"
#include "common/http_fixture.h"
#include "common/hostile_peer.h"
#include "common/loopback_http_server.h"
#include "control/download.h"
#include "platform/console.h"
#include "platform/message_box.h"
#include "platform/property_bag.h"

namespace {

using tessel_testing::LoopbackHttpServer;
using tessel_testing::ScriptedReply;

struct Box {
  std::string text, title;
  int buttons;
};

// Records every message box for the length of a test and answers OK.
class RecordedBoxes {
 public:
  RecordedBoxes() {
    previous_ = set_message_box_handler([this](const char* text, const char* title, int buttons) {
      boxes.push_back({text, title, buttons});
      return IDOK;
    });
  }
  ~RecordedBoxes() { set_message_box_handler(previous_); }
  std::vector<std::string> titles() const {
    std::vector<std::string> out;
    for (const Box& b : boxes) out.push_back(b.title + ": " + b.text);
    return out;
  }
  std::vector<Box> boxes;

 private:
  MessageBoxHandler previous_;
};

const std::string kDownloadFailed =
    "Error Downloading: Error downloading information.  Click OK, then press the F5 key to try again.";

bool exists(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0;
}

// Text of the first TEXT element in document order, "" when there is none.
std::string first_text(const pdoc_element* e) {
  for (; e; e = e->next) {
    if (e->type == ELE_TEXT && e->data) return std::string(e->data, static_cast<size_t>(e->data_len));
    if (std::string inner = first_text(e->child); !inner.empty()) return inner;
  }
  return "";
}

class ControlLoad : public ::testing::Test {
 protected:
  tessel_testing::NoSystemProxy no_proxy_;
  RecordedBoxes boxes_;
  MemoryPropertyBag bag_;
  CTesselCtrl control_;
};

TEST_F(ControlLoad, NoSourceShowsBothMessagesAndBuildsNothing) {
  EXPECT_EQ(control_.Load(&bag_, nullptr), S_OK);
  EXPECT_EQ(boxes_.titles(), (std::vector<std::string>{"Error: Failure to read Property URL", kDownloadFailed}));
  EXPECT_EQ(control_.m_pDocument, nullptr);
  EXPECT_EQ(control_.m_nOrientation, 1);
  EXPECT_TRUE(control_.m_bLoadFailed);

  // A value of another type reads like no value at all.
  CTesselCtrl again;
  bag_.write("src", PropertyValue::integer(7));
  boxes_.boxes.clear();
  again.Load(&bag_, nullptr);
  EXPECT_EQ(boxes_.boxes.size(), 2u);
}

TEST_F(ControlLoad, DocumentBuildsAndTheTemporaryFileGoes) {
  LoopbackHttpServer server({{LoopbackHttpServer::plain("<p>Hello <b>there</b>")}});
  bag_.set("src", server.url("/docs/order.html"));
  control_.Load(&bag_, nullptr);
  EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.titles()[0];
  EXPECT_FALSE(control_.m_bLoadFailed);
  ASSERT_NE(control_.m_pDocument, nullptr);
  EXPECT_EQ(first_text(control_.m_pDocument->root), "Hello ");
  EXPECT_FALSE(exists(control_.m_szTempFile));
  server.stop();
  ASSERT_EQ(server.requests().size(), 1u);
  // The document request itself carries no cookie.
  EXPECT_EQ(server.requests()[0].find("Cookie"), std::string::npos);
  EXPECT_EQ(server.requests()[0].rfind("GET /docs/order.html HTTP/1.", 0), 0u);
}

TEST_F(ControlLoad, NotFoundAndEmptyAnswersShowTheDownloadMessage) {
  LoopbackHttpServer server({{LoopbackHttpServer::plain("gone", "404 Not Found")}, {LoopbackHttpServer::plain("")}});
  bag_.set("src", server.url("/missing.html"));
  control_.Load(&bag_, nullptr);
  EXPECT_EQ(boxes_.titles(), std::vector<std::string>{kDownloadFailed});
  EXPECT_FALSE(exists(control_.m_szTempFile));

  // An empty body counts as a failed download, yet the empty file is built.
  CTesselCtrl empty;
  boxes_.boxes.clear();
  empty.Load(&bag_, nullptr);
  EXPECT_EQ(boxes_.titles(), std::vector<std::string>{kDownloadFailed});
  EXPECT_NE(empty.m_pDocument, nullptr);
  // That document is not the one asked for: hosts are told the load failed.
  EXPECT_TRUE(empty.m_bLoadFailed);
}

// Pictures are asked for relative to the document's folder, with the
// session cookie line (empty when the host gave no session).
TEST_F(ControlLoad, PictureRequestsUseTheBaseAddressAndTheSessionCookie) {
  for (const char* session : {static_cast<const char*>(nullptr), "abc123"}) {
    LoopbackHttpServer server({{LoopbackHttpServer::plain("<p>Logo <img src=\"pics/logo.png\" width=10>")},
                               {LoopbackHttpServer::plain("nothing here", "404 Not Found")}});
    MemoryPropertyBag bag;
    bag.set("src", server.url("/shop/orders/today.html?id=7"));
    if (session) bag.set("session", session);
    CTesselCtrl control;
    control.Load(&bag, nullptr);
    server.stop();
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].rfind("GET /shop/orders/pics/logo.png HTTP/1.", 0), 0u) << requests[1];
    const std::string cookie = std::string("\r\nCookie: ") + (session ? session : "") + "\r\n";
    EXPECT_NE(requests[1].find(cookie), std::string::npos) << requests[1];
  }
}

TEST_F(ControlLoad, OrientationIsLandscapeOnlyForThatWordInAnyCase) {
  struct Case {
    const char* value;
    int expected;
  } cases[] = {{"LANDSCAPE", 2}, {"landscape", 2}, {"landscape ", 1}, {"portrait", 1}, {nullptr, 1}};
  for (const Case& c : cases) {
    MemoryPropertyBag bag;
    if (c.value) bag.set("orientation", c.value);
    CTesselCtrl control;
    control.Load(&bag, nullptr);
    EXPECT_EQ(control.m_nOrientation, c.expected) << (c.value ? c.value : "(absent)");
  }
}

TEST_F(ControlLoad, PersistedPropertiesComeFromTheSameBag) {
  bag_.write("_cx", PropertyValue::integer(5000));
  bag_.set("_cy", "2500");
  bag_.write("FillColor", PropertyValue::integer(0x00FF00));
  control_.Load(&bag_, nullptr);
  EXPECT_EQ(control_.m_cx, 5000);
  EXPECT_EQ(control_.m_cy, 2500);
  EXPECT_EQ(control_.m_clrFillColor, 0x00FF00u);
}

TEST_F(ControlLoad, TemporaryNameAndSourceProperty) {
  const std::string name = control_.m_szTempFile;
  const std::string pid = std::to_string(::getpid());
  const size_t start = name.find("tessel" + pid);
  ASSERT_NE(start, std::string::npos) << name;
  EXPECT_EQ(name.substr(name.size() - 5), ".html");
  EXPECT_EQ(name.find('/', start), std::string::npos);

  LoopbackHttpServer server({{LoopbackHttpServer::plain("<p>again")}});
  const std::string url = server.url("/again.html");
  control_.put_src(url.c_str());
  EXPECT_STREQ(control_.m_szSrc, url.c_str());
  // Setting src downloads into the temporary file and rebuilds nothing.
  EXPECT_TRUE(exists(control_.m_szTempFile));
  EXPECT_EQ(control_.m_pDocument, nullptr);
  std::string value = "stale";
  control_.get_src(&value);
  EXPECT_EQ(value, "");
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  EXPECT_EQ(boxes_.boxes[0].text, "PUT SRC");
  EXPECT_EQ(boxes_.boxes[0].title, url);
  EXPECT_EQ(boxes_.boxes[1].text, "GET SRC");
  std::remove(control_.m_szTempFile);
}

// Addresses that cannot work, and servers that misbehave: messages, no
// document from the failure, and the control goes on.
TEST_F(ControlLoad, BadAddressesAndServers) {
  const std::string long_src(20000, 'a');
  bag_.set("src", "http://127.0.0.1:1/" + long_src);
  control_.Load(&bag_, nullptr);
  EXPECT_EQ(std::string(control_.m_szSrc).size(), sizeof control_.m_szSrc - 1);
  EXPECT_EQ(boxes_.titles(), std::vector<std::string>{kDownloadFailed});

  for (const char* src : {"not a url", "ftp://127.0.0.1/x", "http://"}) {
    MemoryPropertyBag bag;
    bag.set("src", src);
    CTesselCtrl control;
    boxes_.boxes.clear();
    control.Load(&bag, nullptr);
    EXPECT_EQ(boxes_.titles(), std::vector<std::string>{kDownloadFailed}) << src;
    // The client may have opened its output file before it failed; an empty
    // file builds an empty document.
    EXPECT_TRUE(!control.m_pDocument || !control.m_pDocument->root) << src;
  }

  std::string garbage(100 * 1024 * 1024, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
  LoopbackHttpServer closes({{"", true}});
  LoopbackHttpServer noise({{garbage, true}});
  for (const LoopbackHttpServer* server : {&closes, &noise}) {
    MemoryPropertyBag bag;
    bag.set("src", server->url("/doc.html"));
    CTesselCtrl control;
    boxes_.boxes.clear();
    control.Load(&bag, nullptr);
    EXPECT_EQ(boxes_.titles(), std::vector<std::string>{kDownloadFailed});
    EXPECT_FALSE(exists(control.m_szTempFile));
  }
}

// A transfer that fails part way is a failed download: the box, and no
// document from the part that arrived.
TEST_F(ControlLoad, ABodyCutShortBuildsNothing) {
  tessel_testing::HostilePeer short_body(tessel_testing::Hostile::ShortBody);
  LoopbackHttpServer no_last_chunk({{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\n<p>Partly\r\n", true}});
  for (const std::string& url : {short_body.url("/doc.html"), no_last_chunk.url("/doc.html")}) {
    MemoryPropertyBag bag;
    bag.set("src", url);
    CTesselCtrl control;
    boxes_.boxes.clear();
    control.Load(&bag, nullptr);
    EXPECT_EQ(boxes_.titles(), std::vector<std::string>{kDownloadFailed}) << url;
    EXPECT_EQ(control.m_pDocument, nullptr) << url;
    EXPECT_FALSE(exists(control.m_szTempFile));
  }
}

// The host's time-out bounds the document download (and the src put).
TEST_F(ControlLoad, TheTimeOutParameterBoundsTheDownload) {
  tessel_testing::HostilePeer trickle(tessel_testing::Hostile::TrickleHead);
  bag_.set("src", trickle.url("/doc.html"));
  bag_.set("timeout", "1");
  const auto start = std::chrono::steady_clock::now();
  control_.Load(&bag_, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_EQ(boxes_.titles(), std::vector<std::string>{kDownloadFailed});
  EXPECT_EQ(control_.m_nTimeout, 1);

  tessel_testing::HostilePeer silent(tessel_testing::Hostile::SilentAfterAccept);
  const auto put_start = std::chrono::steady_clock::now();
  control_.put_src(silent.url("/again.html").c_str());
  EXPECT_LT(std::chrono::steady_clock::now() - put_start, std::chrono::milliseconds(2500));
  std::remove(control_.m_szTempFile);

  for (const auto& [text, seconds] : std::vector<std::pair<const char*, int>>{
           {"2", 2}, {" 7 ", 7}, {"0", 30}, {"-3", 30}, {"ten", 30}, {"5s", 30}, {"", 30}, {"99999999", 86400}})
    EXPECT_EQ(control_timeout_seconds(text), seconds) << text;
}

// The temporary name is predictable: a name that cannot be had (here a
// folder with something in it) is replaced by a fresh one, and what was
// planted under it is left alone.
TEST_F(ControlLoad, ATakenTemporaryNameIsReplacedByAFreshOne) {
  LoopbackHttpServer server({{LoopbackHttpServer::plain("<p>fetched")}});
  bag_.set("src", server.url("/doc.html"));
  const std::string planted = control_.m_szTempFile;
  ASSERT_EQ(::mkdir(planted.c_str(), 0700), 0);
  tessel_testing::write_file(planted + "/inside", "x");
  control_.Load(&bag_, nullptr);
  ASSERT_NE(control_.m_pDocument, nullptr);
  EXPECT_EQ(first_text(control_.m_pDocument->root), "fetched");
  EXPECT_NE(std::string(control_.m_szTempFile), planted);
  EXPECT_EQ(tessel_testing::read_file(planted + "/inside"), "x");
  EXPECT_TRUE(boxes_.boxes.empty());
  std::filesystem::remove_all(planted);
}

// The console opens for any value starting with 't' in either case; this
// runs last in the program because an open console stays open.
TEST(ControlLoadConsole, DebugValuesOpenTheConsole) {
  RecordedBoxes boxes;
  for (const char* value : {"false", "", "yes"}) {
    MemoryPropertyBag bag;
    bag.set("debughtml", value);
    CTesselCtrl control;
    control.Load(&bag, nullptr);
    EXPECT_FALSE(console_is_open()) << value;
  }
  MemoryPropertyBag absent;
  CTesselCtrl control;
  control.Load(&absent, nullptr);
  EXPECT_FALSE(console_is_open());
  for (const char* value : {"T", "true", "TRUE"}) {
    MemoryPropertyBag bag;
    bag.set("debughtml", value);
    CTesselCtrl opened;
    opened.Load(&bag, nullptr);
    EXPECT_TRUE(console_is_open()) << value;
  }
}

}  // namespace
