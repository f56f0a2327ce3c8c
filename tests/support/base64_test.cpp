// Base64: encoding with and without line breaks, decoding of good and
// malformed text, and the whole-stream helpers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/qelbase64.h"

namespace {

std::string encode(const std::string& data, bool lines) {
  char* text = nullptr;
  int n =
      lines ? QELBase64EncodeLines(data.data(), data.size(), &text) : QELBase64Encode(data.data(), data.size(), &text);
  EXPECT_GE(n, 0);
  std::string result = text ? std::string(text) : std::string();
  EXPECT_EQ(result.size(), static_cast<size_t>(n));
  std::free(text);
  return result;
}

// Decodes into an area of exactly three quarters of the text length inside
// a guarded buffer, so that writing one byte too many shows.
int decode(const std::string& text, std::string* out) {
  size_t bound = text.size() * 3 / 4;
  std::vector<unsigned char> area(bound + 16, 0xA5);
  int n = QELBase64Decode(text.c_str(), area.data());
  for (size_t i = bound; i < area.size(); ++i) EXPECT_EQ(area[i], 0xA5) << "wrote past the bound at " << i;
  if (out && n >= 0) out->assign(reinterpret_cast<char*>(area.data()), static_cast<size_t>(n));
  return n;
}

TEST(Base64, EncodesGroupsAndPadding) {
  EXPECT_EQ(encode("", false), "");
  EXPECT_EQ(encode("abc", false), "YWJj");
  EXPECT_EQ(encode("a", false), "YQ==");
  EXPECT_EQ(encode("ab", false), "YWI=");
  EXPECT_EQ(encode("user:pass", false), "dXNlcjpwYXNz");
  EXPECT_EQ(encode(std::string("\xff\xfe\x00", 3), false), "//4A");

  EXPECT_EQ(encode("", true), "");
  EXPECT_EQ(encode("a", true), "YQ==\r\n");
  std::string line57 = encode(std::string(57, 'x'), true);
  EXPECT_EQ(line57.size(), 78u);
  EXPECT_EQ(line57.substr(76), "\r\n");
  std::string line58 = encode(std::string(58, 'x'), true);
  EXPECT_EQ(line58.size(), 76u + 2 + 4 + 2);
  EXPECT_EQ(line58.substr(76, 2), "\r\n");
  EXPECT_EQ(line58.substr(78), "eA==\r\n");
  EXPECT_EQ(encode(std::string(114, 'x'), true).size(), 2u * 78);
}

TEST(Base64, RoundTripsEveryLength) {
  std::mt19937 random(3);
  for (size_t length = 0; length <= 300; ++length) {
    std::string data(length, '\0');
    for (char& c : data) c = static_cast<char>(random());
    std::string plain = encode(data, false);
    EXPECT_EQ(plain.size(), (length + 2) / 3 * 4);
    std::string back;
    EXPECT_EQ(decode(plain, &back), static_cast<int>(length));
    EXPECT_EQ(back, data) << length;

    // With line breaks, each line decodes on its own up to its line end.
    std::string lined = encode(data, true);
    std::string joined;
    for (size_t at = 0; at < lined.size();) {
      size_t end = lined.find("\r\n", at);
      ASSERT_NE(end, std::string::npos);
      EXPECT_LE(end - at, 76u);
      std::string part;
      ASSERT_GE(decode(lined.substr(at), &part), 0);
      joined += part;
      at = end + 2;
    }
    EXPECT_EQ(joined, data) << length;
  }
}

TEST(Base64, DecodingStopsAndFails) {
  std::string out;
  EXPECT_EQ(decode("YWJj\r\nYWJj", &out), 3);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(decode("YWJjYQ==YWJj", &out), 4);  // padding ends the text
  EXPECT_EQ(out, "abca");
  EXPECT_EQ(decode("YWI=", &out), 2);
  EXPECT_EQ(decode("", &out), 0);
  EXPECT_EQ(decode("=abc", &out), 0);
  EXPECT_EQ(decode(" YWJj", &out), 0);

  EXPECT_EQ(decode("YQ=a", nullptr), -1);  // "=" then a non-"="
  EXPECT_EQ(decode("Y!==", nullptr), -1);
  EXPECT_EQ(decode("YW!j", nullptr), -1);
  EXPECT_EQ(decode("YWJ!", nullptr), -1);
  // Groups cut by the terminator.
  EXPECT_EQ(decode("Y", nullptr), -1);
  EXPECT_EQ(decode("YW", nullptr), -1);
  EXPECT_EQ(decode("YWJ", nullptr), -1);
  EXPECT_EQ(decode("YQ=", nullptr), -1);
  EXPECT_EQ(decode("YWJjYW", nullptr), -1);

  EXPECT_EQ(QELBase64Value('A'), 0);
  EXPECT_EQ(QELBase64Value('/'), 63);
  EXPECT_EQ(QELBase64Value('='), -1);
  EXPECT_EQ(QELBase64Value(0xC1), -1);
  EXPECT_EQ(QELBase64Value(-1), -1);
}

TEST(Base64, MalformedTextStaysInBounds) {
  // Random text drawn mostly from the alphabet, padding and line ends;
  // the guard in decode() catches any write past three quarters.
  const char pool[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/==\r\n!";
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 40, ' ');
    for (char& c : text) c = pool[random() % (sizeof pool - 1)];
    int n = decode(text, nullptr);
    EXPECT_GE(n, -1);
    EXPECT_LE(n, static_cast<int>(text.size() * 3 / 4));
  }
}

struct TempFile {
  FILE* file = std::tmpfile();
  ~TempFile() {
    if (file) std::fclose(file);
  }
  std::string contents() {
    std::fflush(file);
    std::rewind(file);
    std::string s;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) s.append(buf, n);
    return s;
  }
  void fill(const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), file);
    std::rewind(file);
  }
};

TEST(Base64, StreamsRoundTrip) {
  std::mt19937 random(9);
  for (size_t length : {0u, 1u, 56u, 57u, 58u, 114u, 1000u}) {
    std::string data(length, '\0');
    for (char& c : data) c = static_cast<char>(random());
    TempFile in, encoded, decoded;
    ASSERT_TRUE(in.file && encoded.file && decoded.file);
    in.fill(data);
    EXPECT_EQ(QELBase64EncodeStream(in.file, encoded.file), static_cast<long>(length));
    std::string text = encoded.contents();
    EXPECT_EQ(text.size(), (length + 2) / 3 * 4 + (length + 56) / 57);
    std::rewind(encoded.file);
    EXPECT_EQ(QELBase64DecodeStream(encoded.file, decoded.file), static_cast<long>(text.size()));
    EXPECT_EQ(decoded.contents(), data);
  }
}

TEST(Base64, StreamDecodingOfLinesOf76) {
  std::string data(57 * 3 + 10, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  std::string crlf = encode(data, true);
  for (const std::string& text : {crlf, crlf.substr(0, crlf.size() - 2)}) {
    TempFile in, out;
    in.fill(text);
    EXPECT_EQ(QELBase64DecodeStream(in.file, out.file), static_cast<long>(text.size()));
    EXPECT_EQ(out.contents(), data);
  }
}

TEST(Base64, StreamDecodingStopsAtABadLine) {
  // The bad line's good first group is not written, nor anything after it.
  TempFile in, out;
  in.fill("YWJj\nZGVmZ!==\nZ2hp\n");
  EXPECT_EQ(QELBase64DecodeStream(in.file, out.file), -1);
  EXPECT_EQ(out.contents(), "abc");

  // A line longer than one read is split off the four-character grid.
  TempFile long_in, long_out;
  long_in.fill(std::string(84, 'Q') + "\n");
  EXPECT_EQ(QELBase64DecodeStream(long_in.file, long_out.file), -1);
  EXPECT_EQ(long_out.contents(), "");
}

}  // namespace
