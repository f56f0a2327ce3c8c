// Buffered reader over a scripted source: line reads that stop at the
// delimiter or the caller's limit, block reads, skipping to a sequence, and
// at most one call of the source per operation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "net/qelbufio.h"

namespace {

// Delivers its packets one per read call (a packet larger than the room
// asked for is split); then end of data, or a failure when fail_at_end.
struct ScriptedSource {
  std::deque<std::string> packets;
  bool fail_at_end = false;
  int calls = 0;

  static int read(void* self, char* destination, int size) {
    auto* source = static_cast<ScriptedSource*>(self);
    ++source->calls;
    if (source->packets.empty()) return source->fail_at_end ? -1 : 0;
    std::string& front = source->packets.front();
    if (front == "<fail>") {
      source->packets.pop_front();
      return -1;
    }
    size_t n = front.size() < static_cast<size_t>(size) ? front.size() : static_cast<size_t>(size);
    front.copy(destination, n);
    front.erase(0, n);
    if (front.empty()) source->packets.pop_front();
    return static_cast<int>(n);
  }
};

class BufioTest : public ::testing::Test {
 protected:
  QELBufPtr make(int capacity) { return QELBufPtr(QELBufCreate(capacity, &source_, ScriptedSource::read)); }
  std::string line(QELBuf* reader, int max, int* result = nullptr) {
    std::string destination(static_cast<size_t>(max) + 8, '#');
    int n = QELBufReadLine(reader, destination.data(), max);
    if (result != nullptr) *result = n;
    return std::string(destination.c_str());
  }
  ScriptedSource source_;
};

TEST_F(BufioTest, LineSplitAcrossPacketsComesInTwoParts) {
  source_.packets = {"GET", " / HTTP/1.0\r\n", "next\n"};
  QELBufPtr reader = make(4096);
  EXPECT_EQ(line(reader.get(), 4096), "GET");
  EXPECT_EQ(line(reader.get(), 4096), " / HTTP/1.0\r\n");
  EXPECT_EQ(line(reader.get(), 4096), "next\n");
  EXPECT_EQ(source_.calls, 3);
}

TEST_F(BufioTest, LongLineComesInPiecesOfMaxMinusOne) {
  source_.packets = {std::string(199, 'a') + "\n" + "tail\n"};
  QELBufPtr reader = make(4096);
  int n = 0;
  EXPECT_EQ(line(reader.get(), 80, &n), std::string(79, 'a'));
  EXPECT_EQ(n, 79);
  EXPECT_EQ(line(reader.get(), 80), std::string(79, 'a'));
  EXPECT_EQ(line(reader.get(), 80, &n), std::string(41, 'a') + "\n");
  EXPECT_EQ(n, 42);
  EXPECT_EQ(line(reader.get(), 80), "tail\n");
  EXPECT_EQ(source_.calls, 1);  // everything came with the first fill
}

TEST_F(BufioTest, LineOfExactlyMaxMinusOneIsWhole) {
  source_.packets = {std::string(8, 'b') + "\n" + "rest\n"};
  QELBufPtr reader = make(64);
  EXPECT_EQ(line(reader.get(), 10), std::string(8, 'b') + "\n");
  EXPECT_EQ(line(reader.get(), 10), "rest\n");
}

TEST_F(BufioTest, HeldLineIsServedWithoutReading) {
  source_.packets = {"one\ntwo\n"};
  QELBufPtr reader = make(64);
  EXPECT_EQ(line(reader.get(), 64), "one\n");
  int calls = source_.calls;
  EXPECT_EQ(line(reader.get(), 64), "two\n");
  EXPECT_EQ(source_.calls, calls);
}

TEST_F(BufioTest, FullBufferWithoutDelimiterIsReturned) {
  source_.packets = {"abcdefghijklmnop\n"};
  QELBufPtr reader = make(8);
  EXPECT_EQ(line(reader.get(), 80), "abcdefgh");
  EXPECT_EQ(line(reader.get(), 80), "ijklmnop");
  EXPECT_EQ(line(reader.get(), 80), "\n");
}

TEST_F(BufioTest, ClosedOrFailingSourceGivesEmptyLines) {
  QELBufPtr reader = make(64);
  for (int i = 0; i < 3; ++i) {
    int n = -5;
    EXPECT_EQ(line(reader.get(), 64, &n), "");
    EXPECT_EQ(n, 0);
  }
  EXPECT_EQ(source_.calls, 3);

  source_.fail_at_end = true;
  int n = -5;
  EXPECT_EQ(line(reader.get(), 64, &n), "");
  EXPECT_EQ(n, 0);
  // A failed line read does not poison the reader.
  source_.packets = {"later\n"};
  EXPECT_EQ(line(reader.get(), 64), "later\n");
}

TEST_F(BufioTest, DelimiterCanBeCarriageReturn) {
  source_.packets = {"a\rb\nc\r"};
  QELBufPtr reader = make(64);
  QELBufSetDelimiter(reader.get(), 0, '\r');
  QELBufSetDelimiter(reader.get(), 1, 'x');  // other options are ignored
  EXPECT_EQ(line(reader.get(), 64), "a\r");
  EXPECT_EQ(line(reader.get(), 64), "b\nc\r");
}

TEST_F(BufioTest, TinyLimitsStayInBounds) {
  source_.packets = {"abc\n"};
  QELBufPtr reader = make(64);
  EXPECT_EQ(line(reader.get(), 1), "");
  EXPECT_EQ(line(reader.get(), 2), "a");
  char untouched = '#';
  EXPECT_EQ(QELBufReadLine(reader.get(), &untouched, 0), 0);
  EXPECT_EQ(untouched, '#');
}

TEST_F(BufioTest, BlockReadTakesHeldBytesThenOneRead) {
  source_.packets = {"HTTP/1.0 200\n0123456789", std::string(5000, 'z')};
  QELBufPtr reader = make(23);
  EXPECT_EQ(line(reader.get(), 64), "HTTP/1.0 200\n");
  ASSERT_EQ(reader->count, 10);
  std::string block(4096, '\0');
  int calls = source_.calls;
  EXPECT_EQ(QELBufRead(reader.get(), block.data(), 4096), 4096);
  EXPECT_EQ(source_.calls, calls + 1);
  EXPECT_EQ(block.substr(0, 10), "0123456789");
  EXPECT_EQ(block.substr(10), std::string(4086, 'z'));
  EXPECT_EQ(reader->count, 0);
}

TEST_F(BufioTest, BlockReadFromHeldBytesAndFailure) {
  source_.packets = {"abcdef", "<fail>"};
  QELBufPtr reader = make(64);
  EXPECT_EQ(line(reader.get(), 64), "abcdef");
  source_.packets = {"xyz", "<fail>"};
  EXPECT_EQ(line(reader.get(), 2), "x");  // leaves "yz" held
  char block[8] = {};
  EXPECT_EQ(QELBufRead(reader.get(), block, 1), 1);
  EXPECT_EQ(block[0], 'y');
  EXPECT_EQ(QELBufRead(reader.get(), block, 4), -1);  // the held "z" is gone all the same
  EXPECT_EQ(reader->count, 0);
  EXPECT_EQ(QELBufRead(reader.get(), block, -1), -1);
}

TEST_F(BufioTest, SkipToFindsSequenceAcrossReads) {
  source_.packets = {"header: 1\r\n\r", "\nbody"};
  QELBufPtr reader = make(12);
  EXPECT_EQ(QELBufSkipTo(reader.get(), "\r\n\r\n", 4), 9);
  EXPECT_EQ(line(reader.get(), 64), "\r\n");  // the sequence stays held
  EXPECT_EQ(line(reader.get(), 64), "\r\n");
  EXPECT_EQ(line(reader.get(), 64), "body");
}

TEST_F(BufioTest, SkipToCountsEveryDiscardedByte) {
  source_.packets = {std::string(50, '.'), std::string(50, '.'), "END!"};
  QELBufPtr reader = make(16);
  EXPECT_EQ(QELBufSkipTo(reader.get(), "END", 3), 100);
  EXPECT_EQ(line(reader.get(), 64), "END!");
}

TEST_F(BufioTest, SkipToFailsAtEndAndAfterFailedFill) {
  source_.packets = {"no match here"};
  QELBufPtr reader = make(64);
  EXPECT_EQ(QELBufSkipTo(reader.get(), "zz", 2), -1);
  EXPECT_EQ(QELBufSkipTo(reader.get(), "", 0), -1);

  ScriptedSource failing;
  failing.fail_at_end = true;
  QELBufPtr broken(QELBufCreate(64, &failing, ScriptedSource::read));
  EXPECT_EQ(QELBufSkipTo(broken.get(), "x", 1), -1);
  failing.packets = {"x\n"};
  char destination[8];
  EXPECT_EQ(QELBufReadLine(broken.get(), destination, 8), -1);
  EXPECT_EQ(QELBufRead(broken.get(), destination, 2), -1);
  EXPECT_EQ(QELBufSkipTo(broken.get(), "x", 1), -1);
}

TEST_F(BufioTest, SequenceLongerThanBufferEnds) {
  source_.packets = {std::string(100, 'a')};
  QELBufPtr reader = make(4);
  EXPECT_EQ(QELBufSkipTo(reader.get(), "aaaaaaaa", 8), -1);
}

TEST(BufioCreate, RejectsBadArgumentsAndReadsFiles) {
  EXPECT_EQ(QELBufCreate(0, nullptr, ScriptedSource::read), nullptr);
  EXPECT_EQ(QELBufCreate(16, nullptr, nullptr), nullptr);
  QELBufDestroy(nullptr);

  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  ASSERT_EQ(write(pipe_ends[1], "line one\nline two\n", 18), 18);
  close(pipe_ends[1]);
  QELBufPtr reader(QELBufCreateForFile(64, pipe_ends[0]));
  char destination[64];
  EXPECT_EQ(QELBufReadLine(reader.get(), destination, 64), 9);
  EXPECT_STREQ(destination, "line one\n");
  EXPECT_EQ(QELBufReadLine(reader.get(), destination, 64), 9);
  EXPECT_EQ(QELBufReadLine(reader.get(), destination, 64), 0);
  close(pipe_ends[0]);
}

}  // namespace
