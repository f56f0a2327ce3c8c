// Reading request heads: what is accepted, and every refusal the server
// turns into a 400, 411 or 431 before a handler sees anything.
#include <gtest/gtest.h>

#include <string>

#include "bridge/http_request.h"

namespace {

constexpr size_t kMax = 1024;

HttpHeadStatus parse(const std::string& data, HttpRequest* request = nullptr) {
  HttpRequest ignored;
  size_t length = 0;
  std::string error;
  return http_parse_head(data, kMax, request != nullptr ? request : &ignored, &length, &error);
}

TEST(BridgeHttpRequest, ParsesTheHeadAndLeavesTheBody) {
  const std::string data =
      "POST /api/sessions/a%2Fb/call?after=3&x=%41+ HTTP/1.1\r\n"
      "Host: 127.0.0.1\r\nOrigin:  http://127.0.0.1:8421 \r\nContent-Length: 4\r\n\r\nbody";
  HttpRequest request;
  size_t length = 0;
  std::string error;
  ASSERT_EQ(http_parse_head(data, kMax, &request, &length, &error), HttpHeadStatus::Complete) << error;
  EXPECT_EQ(data.substr(length), "body");
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, "/api/sessions/a/b/call");
  EXPECT_EQ(request.query_param("after"), "3");
  EXPECT_EQ(request.query_param("x"), "A+");
  EXPECT_EQ(request.query_param("y"), "");
  ASSERT_NE(request.header("origin"), nullptr);
  EXPECT_EQ(*request.header("origin"), "http://127.0.0.1:8421");
  EXPECT_EQ(request.header("Origin"), nullptr);  // names are kept in lower case
  EXPECT_EQ(request.content_length, 4u);
}

TEST(BridgeHttpRequest, WaitsForTheBlankLineWithinTheBound) {
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nHost: x\r\n"), HttpHeadStatus::Incomplete);
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nX: " + std::string(kMax, 'a')), HttpHeadStatus::TooLarge);
  EXPECT_EQ(parse("GET / HTTP/1.1\r\nX: " + std::string(kMax, 'a') + "\r\n\r\n"), HttpHeadStatus::TooLarge);
}

TEST(BridgeHttpRequest, RefusesMalformedHeads) {
  for (const char* head : {
           "GET  / HTTP/1.1\r\n\r\n",            // two spaces
           "GET / HTTP/1.1 x\r\n\r\n",           // extra word
           "GET http://evil/ HTTP/1.1\r\n\r\n",  // absolute form
           "GET / HTTP/2.0\r\n\r\n",             // version
           "G(T / HTTP/1.1\r\n\r\n",             // method token
           "GET /a\x7F HTTP/1.1\r\n\r\n",        // target byte
           "GET /%00 HTTP/1.1\r\n\r\n",          // encoded NUL
           "GET /%4 HTTP/1.1\r\n\r\n",           // short escape
           "GET / HTTP/1.1\r\nNoColon\r\n\r\n",
           "GET / HTTP/1.1\r\n: empty\r\n\r\n",
           "GET / HTTP/1.1\r\nBad Name: x\r\n\r\n",
           "GET / HTTP/1.1\r\nX: a\x01z\r\n\r\n",
           "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
           "POST / HTTP/1.1\r\nContent-Length: 1 2\r\n\r\n",
           "POST / HTTP/1.1\r\nContent-Length: 9999999999999999\r\n\r\n",  // past any bound
           "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
       })
    EXPECT_EQ(parse(head), HttpHeadStatus::Malformed) << head;
  // The same length twice is one length.
  HttpRequest request;
  EXPECT_EQ(parse("POST / HTTP/1.1\r\nContent-Length: 2\r\ncontent-length: 2\r\n\r\n", &request),
            HttpHeadStatus::Complete);
  EXPECT_EQ(request.content_length, 2u);
  EXPECT_EQ(parse("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"), HttpHeadStatus::Unsupported);
}

}  // namespace

TEST(BridgeHttpRequest, KnowsALoopbackHostOnlyByItsOwnNamesAndPort) {
  const auto with_host = [](const char* host) {
    HttpRequest request;
    if (host != nullptr) request.headers.emplace_back("host", host);
    return http_host_is_loopback(request, 8421);
  };
  for (const char* ok : {"127.0.0.1:8421", "localhost:8421", "LocalHost:8421", "[::1]:8421"})
    EXPECT_TRUE(with_host(ok)) << ok;
  for (const char* refused : {"evil.example:8421", "127.0.0.1", "127.0.0.1:8422", "127.0.0.1:8421:8421",
                              "127.0.0.2:8421", "localhost.evil.example:8421", "", static_cast<const char*>(nullptr)})
    EXPECT_FALSE(with_host(refused)) << (refused != nullptr ? refused : "(none)");
}
