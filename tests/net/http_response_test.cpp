// Responses as the client reads them from a scripted loopback peer: plain
// and chunked bodies, interim and error statuses, redirects, broken and
// silent peers, cancels, output files and the convenience downloads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/http_fixture.h"
#include "common/loopback_http_server.h"
#include "net/qelhttp_internal.h"

namespace {

using tessel_testing::HttpRecorder;
using tessel_testing::LoopbackHttpServer;
using tessel_testing::ScriptedReply;
using tessel_testing::TempDir;

class HttpResponseTest : public ::testing::Test {
 protected:
  // A GET of the peer's /doc into out.bin with every callback recorded.
  QELHTTPPtr get(const LoopbackHttpServer& server, int timeout = 2) {
    QELHTTPPtr http(QELHTTPCreate());
    QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, server.url("/doc").c_str());
    QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
    QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_READ_TIMEOUT, timeout);
    QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, out().c_str());
    recorder_.attach(http.get());
    return http;
  }
  std::string out() const { return dir_.file("out.bin"); }
  std::string written() const { return tessel_testing::read_file(out()); }

  tessel_testing::NoSystemProxy no_proxy_;
  TempDir dir_;
  HttpRecorder recorder_;
};

TEST_F(HttpResponseTest, PlainBodyUntilCloseGoesToFileCallbackAndMemory) {
  std::string body(10000, 'x');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
  LoopbackHttpServer server({{LoopbackHttpServer::plain(body), true, 0}});
  QELHTTPPtr http = get(server);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_KEEP_BODY, 1);
  EXPECT_EQ(QELHTTPExecute(http.get()), 10000);
  EXPECT_EQ(QELHTTPBytesReceived(http.get()), 10000);
  EXPECT_EQ(QELHTTPStatusCode(http.get()), 200);
  EXPECT_EQ(written(), body);
  EXPECT_EQ(recorder_.body, body);
  ASSERT_NE(QELHTTPBody(http.get()), nullptr);
  EXPECT_EQ(std::string(QELHTTPBody(http.get())), body);
  ASSERT_EQ(recorder_.header_lines.size(), 3u);
  EXPECT_EQ(recorder_.header_lines[0], "HTTP/1.0 200 OK\r\n");
  EXPECT_EQ(recorder_.header_lines[2], "\r\n");
  ASSERT_EQ(recorder_.headers.size(), 1u);
  EXPECT_EQ(recorder_.headers[0], std::make_pair(std::string("Content-Type"), std::string("text/plain")));
  EXPECT_TRUE(recorder_.saw_status(8, "Receiving Response Headers"));
  EXPECT_TRUE(recorder_.saw_status(7, "Receiving Response Body"));

  // A second transfer on the same object holds only its own body.
  LoopbackHttpServer empty({{LoopbackHttpServer::plain(""), true, 0}});
  QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, empty.url().c_str());
  EXPECT_EQ(QELHTTPExecute(http.get()), 0);
  EXPECT_STREQ(QELHTTPBody(http.get()), "");
}

TEST_F(HttpResponseTest, IncludeHeadersCountsTheHead) {
  LoopbackHttpServer server({{"HTTP/1.0 201 Created\r\nX: 1\r\n\r\nab", true, 0}});
  QELHTTPPtr http = get(server);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_INCLUDE_HEADERS, 1);
  EXPECT_EQ(QELHTTPExecute(http.get()), static_cast<int>(std::strlen("HTTP/1.0 201 Created\r\nX: 1\r\n\r\nab")));
  EXPECT_EQ(recorder_.body, "HTTP/1.0 201 Created\r\nab");  // status line, then the body
  EXPECT_EQ(written(), "ab");
}

TEST_F(HttpResponseTest, ChunkedBodyWithTraces) {
  LoopbackHttpServer server({{LoopbackHttpServer::chunked({"hello", std::string(5000, 'z')}), true, 0}});
  QELHTTPPtr http = get(server);
  EXPECT_EQ(QELHTTPExecute(http.get()), 5005);
  EXPECT_EQ(written(), "hello" + std::string(5000, 'z'));
  EXPECT_TRUE(recorder_.saw_status(7, "Read Chunk Header: 5\r\n"));
  EXPECT_TRUE(recorder_.saw_status(7, "Read Chunk 5: Len: 5 0x5\n"));
  EXPECT_TRUE(recorder_.saw_status(7, "Read partial chunk 5 MAX:4096\n"));
  EXPECT_TRUE(recorder_.saw_status(7, "Read Chunk Header: \r\n"));  // line end after a chunk
  EXPECT_TRUE(recorder_.saw_status(7, "Read partial chunk 5000 MAX:4096\n"));
  EXPECT_TRUE(recorder_.saw_status(7, "Read Chunk 0: Len: 0 0x0\n"));
}

TEST_F(HttpResponseTest, ChunkExtensionsAndLongSizeLinesAreIgnored) {
  std::string reply =
      "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\n3;name=" + std::string(200, 'v') + "\r\nabc\r\n0\r\n\r\n";
  LoopbackHttpServer server({{reply, true, 0}});
  QELHTTPPtr http = get(server);
  EXPECT_EQ(QELHTTPExecute(http.get()), 3);
  EXPECT_EQ(written(), "abc");
}

TEST_F(HttpResponseTest, BrokenChunkedBodiesEndWithReadError) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (const std::string& rest : {std::string("5\r\nabcde\r\n"),  // ends where a size line is due
                                  std::string("5\r\nab"),         // ends inside a chunk
                                  std::string("-5\r\nabcde\r\n0\r\n\r\n"), std::string("zz\r\nabcde\r\n0\r\n\r\n"),
                                  std::string("ffffffffff\r\nabc")}) {
    LoopbackHttpServer server({{head + rest, true, 0}});
    QELHTTPPtr http = get(server);
    EXPECT_EQ(QELHTTPExecute(http.get()), -10) << rest;
    EXPECT_STREQ(QELHTTPError(http.get()), "Error reading HTTP data");
  }
}

TEST_F(HttpResponseTest, ContinueThenOk) {
  LoopbackHttpServer server({{"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\nbody", true, 0}});
  QELHTTPPtr http = get(server);
  EXPECT_EQ(QELHTTPExecute(http.get()), 4);
  EXPECT_EQ(QELHTTPStatusCode(http.get()), 200);
  for (const auto& s : recorder_.statuses) EXPECT_NE(s.first, 12) << s.second;
  EXPECT_EQ(recorder_.header_lines.size(), 4u);
}

TEST_F(HttpResponseTest, NotFoundIsReportedAndTheBodyNotRead) {
  LoopbackHttpServer server({{LoopbackHttpServer::plain("missing", "404 Not Found"), true, 0}});
  QELHTTPPtr http = get(server);
  EXPECT_EQ(QELHTTPExecute(http.get()), -6);
  EXPECT_EQ(QELHTTPStatusCode(http.get()), 404);
  EXPECT_TRUE(recorder_.saw_status(12, "Invalid HTTP Response Code Received -- HTTP/1.0 404 Not Found\r\n"));
  EXPECT_TRUE(tessel_testing::read_file(out()).empty());
  EXPECT_EQ(access(out().c_str(), F_OK), 0);
  char description[256];
  EXPECT_STREQ(QELHTTPErrorDescription(http.get(), description, sizeof description),
               "Didn't return valid status code (200), HTTP Status Code(404) ");
}

TEST_F(HttpResponseTest, AnyStatusReadsTheBodyOfAnError) {
  LoopbackHttpServer server({{LoopbackHttpServer::plain("missing", "404 Not Found"), true, 0}});
  QELHTTPPtr http = get(server);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_ANY_STATUS, 1);
  EXPECT_EQ(QELHTTPExecute(http.get()), 7);
  EXPECT_EQ(written(), "missing");
}

TEST_F(HttpResponseTest, RedirectKeepsLocationAndIsNotFollowed) {
  LoopbackHttpServer server({{"HTTP/1.0 302 Found\r\nLocation:  http://127.0.0.1:1/next \r\n\r\n", true, 0}});
  QELHTTPPtr http = get(server);
  EXPECT_EQ(QELHTTPExecute(http.get()), -6);
  EXPECT_STREQ(QELHTTPLocation(http.get()), "http://127.0.0.1:1/next");
  EXPECT_EQ(server.wait_requests(1).size(), 1u);
}

TEST_F(HttpResponseTest, MalformedHeads) {
  struct Case {
    const char* reply;
    int result;
  } cases[] = {
      {"", -9},                             // closed before a status line
      {"HTTP/1.0 200 OK\r\nX: 1\r\n", -9},  // closed inside the head
      {"HTTX/1.0 200 OK\r\n\r\nbody", -5},  // status line not HTTP
      {"garbage\r\n\r\n", -6},              // no status code either (-6 wins)
      {"HTTP/1.0 200 OK\r\nno colon here\r\n\r\n", 0},
  };
  for (const Case& c : cases) {
    LoopbackHttpServer server({{c.reply, true, 0}});
    recorder_.headers.clear();
    QELHTTPPtr http = get(server);
    EXPECT_EQ(QELHTTPExecute(http.get()), c.result) << c.reply;
  }
  // A line without ":" is a name with an empty value.
  ASSERT_EQ(recorder_.headers.size(), 1u);
  EXPECT_EQ(recorder_.headers[0].first, "no colon here");
  EXPECT_EQ(recorder_.headers[0].second, "");
}

TEST_F(HttpResponseTest, SilentPeerTimesOut) {
  LoopbackHttpServer server({{"HTTP/1.0 200 OK\r\n\r\npart", false, 3000}});
  QELHTTPPtr http = get(server, 1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QELHTTPExecute(http.get()), -10);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2800));
  EXPECT_EQ(written(), "part");
}

TEST_F(HttpResponseTest, CancelFromTheBodyCallbackKeepsWhatArrived) {
  LoopbackHttpServer server({{LoopbackHttpServer::plain("first block"), true, 0}});
  QELHTTPPtr http = get(server);
  recorder_.cancel_on_body = http.get();
  EXPECT_EQ(QELHTTPExecute(http.get()), -12);
  EXPECT_STREQ(QELHTTPError(http.get()), "Cancelled by User");
  EXPECT_EQ(written(), "first block");
  // A new transfer starts afresh.
  recorder_.cancel_on_body = nullptr;
  EXPECT_EQ(QELHTTPExecute(http.get()), 11);
}

TEST_F(HttpResponseTest, BodyCallbackStopsTheTransfer) {
  LoopbackHttpServer server({{LoopbackHttpServer::plain("data"), true, 0}});
  QELHTTPPtr http = get(server);
  tessel_testing::set_callback(
      http.get(), QELHTTP_OPT_BODY_CALLBACK, +[](void*, const char*, int) -> int { return -1; });
  EXPECT_EQ(QELHTTPExecute(http.get()), -11);
}

TEST_F(HttpResponseTest, OutputPathRules) {
  LoopbackHttpServer server({{LoopbackHttpServer::plain("x"), true, 0}});
  QELHTTPPtr http = get(server);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, "");
  EXPECT_EQ(QELHTTPExecute(http.get()), -18);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, (dir_.path() + "/folder/").c_str());
  EXPECT_EQ(QELHTTPExecute(http.get()), -20);
  EXPECT_EQ(QELHTTPSocket(http.get()), nullptr);  // before any connection
  tessel_testing::write_file(dir_.file("plain"), "");
  QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, (dir_.path() + "/plain/sub/f").c_str());
  EXPECT_EQ(QELHTTPExecute(http.get()), -21);
  char description[512];
  EXPECT_NE(std::string(QELHTTPErrorDescription(http.get(), description, sizeof description)).find(" Errno: "),
            std::string::npos);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, (dir_.path() + "/a/b/c.bin").c_str());
  EXPECT_EQ(QELHTTPExecute(http.get()), 1);
  EXPECT_EQ(tessel_testing::read_file(dir_.path() + "/a/b/c.bin"), "x");
  EXPECT_EQ(QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, nullptr), -1);

  // A link in place of the output file is not written through.
  tessel_testing::write_file(dir_.file("victim"), "keep");
  ASSERT_EQ(symlink(dir_.file("victim").c_str(), dir_.file("link").c_str()), 0);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, dir_.file("link").c_str());
  EXPECT_EQ(QELHTTPExecute(http.get()), -22);
  EXPECT_EQ(tessel_testing::read_file(dir_.file("victim")), "keep");
}

TEST_F(HttpResponseTest, ConnectionFailuresAndMissingTls) {
  QELHTTPPtr http(QELHTTPCreate());
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
  EXPECT_EQ(QELHTTPExecute(http.get()), -16);
  // A loopback port nobody listens on.
  int port;
  {
    LoopbackHttpServer closed({});
    port = closed.port();
  }
  QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, ("http://127.0.0.1:" + std::to_string(port) + "/").c_str());
  EXPECT_EQ(QELHTTPExecute(http.get()), -7);
  char description[256];
  std::string text = QELHTTPErrorDescription(http.get(), description, sizeof description);
  EXPECT_EQ(text.rfind("Error during socket initiation, HTTP Status Code(0), Socket: Couldn't Connect To Socket", 0),
            0u)
      << text;
  QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, ("https://127.0.0.1:" + std::to_string(port) + "/").c_str());
  EXPECT_EQ(QELHTTPExecute(http.get()), -14);
  EXPECT_EQ(QELHTTPExecute(nullptr), -15);
  EXPECT_STREQ(QELHTTPErrorDescription(nullptr, description, sizeof description), "QELHTTP object is not valid");
}

TEST_F(HttpResponseTest, DownloadExFollowsLocationsUpToFive) {
  LoopbackHttpServer target({{LoopbackHttpServer::plain("final"), true, 0}});
  std::string moved = "HTTP/1.1 301 Moved\r\nLocation: " + target.url("/f") + "\r\n\r\n";
  LoopbackHttpServer redirect({{moved, true, 0}});
  EXPECT_EQ(QELHTTPDownloadEx(redirect.url().c_str(), out().c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr),
            5);  // the result of the attempt that filled the file
  EXPECT_EQ(written(), "final");
  EXPECT_EQ(target.wait_requests(1).at(0).rfind("GET /f HTTP/1.1\r\n", 0), 0u);

  // A chain of redirects is followed for five "Location" values and no more.
  std::vector<std::unique_ptr<LoopbackHttpServer>> chain;
  chain.push_back(
      std::make_unique<LoopbackHttpServer>(std::vector<ScriptedReply>{{LoopbackHttpServer::plain("end"), true, 0}}));
  for (int i = 0; i < 6; ++i) {
    std::string reply = "HTTP/1.1 302 Found\r\nLocation: " + chain.back()->url() + "\r\n\r\n";
    chain.push_back(std::make_unique<LoopbackHttpServer>(std::vector<ScriptedReply>{{reply, true, 0}}));
  }
  // chain[6] redirects to chain[5], ... chain[1] to chain[0] (the end);
  // the fifth redirect's answer is another redirect, which fails.
  EXPECT_EQ(QELHTTPDownloadEx(chain[6]->url().c_str(), out().c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr),
            -6);
  EXPECT_EQ(chain[1]->wait_requests(1).size(), 1u);
  EXPECT_TRUE(chain[0]->requests().empty());
}

TEST_F(HttpResponseTest, DownloadArgumentChecks) {
  EXPECT_EQ(QELHTTPDownload(nullptr, "x", nullptr, nullptr, nullptr, nullptr, nullptr), -17);
  EXPECT_EQ(QELHTTPDownload("", "x", nullptr, nullptr, nullptr, nullptr, nullptr), -17);
  EXPECT_EQ(
      QELHTTPDownload("http://u:0123456789012345678901234567@h/", "x", nullptr, nullptr, nullptr, nullptr, nullptr),
      -19);
  EXPECT_EQ(QELHTTPDownload("http://127.0.0.1/", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), -1);
  LoopbackHttpServer server({{LoopbackHttpServer::plain("doc"), true, 0}});
  EXPECT_EQ(QELHTTPDownload(server.url().c_str(), out().c_str(), nullptr, nullptr, nullptr, nullptr, nullptr), 3);
  EXPECT_EQ(written(), "doc");
}

TEST_F(HttpResponseTest, AsyncTransferReportsOnItsThread) {
  LoopbackHttpServer server({{LoopbackHttpServer::plain("async"), true, 0}});
  QELHTTPPtr http = get(server);
  struct Report {
    std::atomic<uintptr_t> thread{0};
    std::atomic<QELHTTP*> http{nullptr};
  } report;
  uintptr_t handle = QELHTTPExecuteAsync(
      http.get(),
      [](void* host, QELHTTP* done, uintptr_t thread) {
        auto* r = static_cast<Report*>(host);
        r->http = done;
        r->thread = thread;
      },
      &report);
  ASSERT_NE(handle, 0u);
  for (int i = 0; i < 300 && report.thread.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(report.thread.load(), handle);
  EXPECT_EQ(report.http.load(), http.get());
  EXPECT_EQ(QELHTTPBytesReceived(http.get()), 5);
}

// The 32-bit counters: a body that would pass them ends the loop cleanly.
TEST(HttpBodyLoop, CountPastSigned32BitsFails) {
  struct Source {
    const char* data;
    int left;
    static int read(void* self, char* out, int size) {
      auto* s = static_cast<Source*>(self);
      int n = s->left < size ? s->left : size;
      std::memcpy(out, s->data, static_cast<size_t>(n));
      s->data += n;
      s->left -= n;
      return n;
    }
  } source{"0123456789", 10};
  QELHTTPPtr http(QELHTTPCreate());
  std::unique_ptr<QELBuf, QELBufDeleter> reader(QELBufCreate(4096, &source, Source::read));
  int32_t total = INT32_MAX - 5;
  EXPECT_EQ(qelhttp::read_body(http.get(), reader.get(), qelhttp::BodySink{}, &total), -10);
  EXPECT_EQ(total, INT32_MAX - 5);
}

}  // namespace
