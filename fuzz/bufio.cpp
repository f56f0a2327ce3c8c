// Fuzzes the buffered reader over a scripted source: the input picks the
// capacity, splits the remaining bytes into packets and chooses a sequence
// of line reads, block reads and skips with their sizes. Every result must
// stay inside the caller's buffer and the reader's own.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "net/qelbufio.h"

namespace {

struct Source {
  std::deque<std::string> packets;
  bool fail_at_end = false;

  static int read(void* self, char* destination, int size) {
    auto* source = static_cast<Source*>(self);
    if (source->packets.empty()) return source->fail_at_end ? -1 : 0;
    std::string& front = source->packets.front();
    size_t n = front.size() < static_cast<size_t>(size) ? front.size() : static_cast<size_t>(size);
    std::memcpy(destination, front.data(), n);
    front.erase(0, n);
    if (front.empty()) source->packets.pop_front();
    return static_cast<int>(n);
  }
};

void check_reader(const QELBuf* reader) {
  if (reader->count > reader->capacity) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  Source source;
  int capacity = input.ConsumeIntegralInRange<int>(1, 300);
  source.fail_at_end = input.ConsumeBool();
  int packets = input.ConsumeIntegralInRange<int>(0, 16);
  for (int i = 0; i < packets; ++i) source.packets.push_back(input.ConsumeRandomLengthString(400));
  QELBufPtr reader(QELBufCreate(capacity, &source, Source::read));
  if (!reader) std::abort();
  QELBufSetDelimiter(reader.get(), input.ConsumeIntegralInRange<int>(0, 1), input.ConsumeIntegral<uint8_t>());

  for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
      case 0: {
        int max = input.ConsumeIntegralInRange<int>(0, 400);
        // Exactly max bytes, so that ASan sees any write beyond them.
        std::vector<char> line(static_cast<size_t>(max));
        int n = QELBufReadLine(reader.get(), line.data(), max);
        if (max > 0 && n >= 0 && (n > max - 1 || std::memchr(line.data(), 0, static_cast<size_t>(n) + 1) == nullptr))
          std::abort();
        break;
      }
      case 1: {
        int n = input.ConsumeIntegralInRange<int>(0, 600);
        std::vector<char> block(static_cast<size_t>(n));
        int got = QELBufRead(reader.get(), block.data(), n);
        if (got > n) std::abort();
        break;
      }
      default: {
        std::string sequence = input.ConsumeRandomLengthString(8);
        int skipped = QELBufSkipTo(reader.get(), sequence.data(), static_cast<int>(sequence.size()));
        if (skipped >= 0 && std::memcmp(reader->buffer.get(), sequence.data(), sequence.size()) != 0) std::abort();
        break;
      }
    }
    check_reader(reader.get());
  }
  return 0;
}
