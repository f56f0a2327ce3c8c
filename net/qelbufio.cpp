// QELBuf: a fixed buffer in front of a read function. Held bytes always sit
// at the front of the buffer; every operation reads at most once.
#include "net/qelbufio.h"

#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include "net/qelsock.h"

namespace {

// One call of the read function for at most size bytes at destination. A
// source that claims more than it was given room for is held to the room.
int read_once(QELBuf* reader, char* destination, int size) {
  int result = reader->read(reader->source, destination, size);
  return result > size ? size : result;
}

// Index of the first delimiter among the held bytes, or -1.
int find_delimiter(const QELBuf* reader) {
  const void* found = std::memchr(reader->buffer.get(), static_cast<unsigned char>(reader->delimiter),
                                  static_cast<size_t>(reader->count));
  return found == nullptr ? -1 : static_cast<int>(static_cast<const char*>(found) - reader->buffer.get());
}

// Index of the first occurrence of sequence among the held bytes, or -1.
int find_sequence(const QELBuf* reader, const char* sequence, int length) {
  const char* held = reader->buffer.get();
  for (int i = 0; i + length <= reader->count; ++i) {
    if (std::memcmp(held + i, sequence, static_cast<size_t>(length)) == 0) return i;
  }
  return -1;
}

// Drops the first n held bytes and moves the rest to the front.
void consume(QELBuf* reader, int n) {
  char* held = reader->buffer.get();
  std::memmove(held, held + n, static_cast<size_t>(reader->count - n));
  reader->count -= n;
}

int read_file(void* source, char* destination, int size) {
  auto descriptor = static_cast<int>(reinterpret_cast<intptr_t>(source));
  ssize_t result = ::read(descriptor, destination, static_cast<size_t>(size));
  return result < 0 ? -1 : static_cast<int>(result);
}

}  // namespace

QELBuf* QELBufCreate(int capacity, void* source, QELBufReadFunction read) {
  if (capacity < 1 || read == nullptr) return nullptr;
  auto* reader = new (std::nothrow) QELBuf();
  if (reader == nullptr) return nullptr;
  reader->buffer.reset(new (std::nothrow) char[static_cast<size_t>(capacity)]());
  if (!reader->buffer) {
    QELBufDestroy(reader);
    return nullptr;
  }
  reader->capacity = capacity;
  reader->source = source;
  reader->read = read;
  return reader;
}

QELBuf* QELBufCreateForFile(int capacity, int descriptor) {
  return QELBufCreate(capacity, reinterpret_cast<void*>(static_cast<intptr_t>(descriptor)), read_file);
}

void QELBufDestroy(QELBuf* reader) {
  std::unique_ptr<QELBuf> owned(reader);
}

int QELBufSocketRead(void* socket, char* destination, int size) {
  return QELTCPSocketRead(static_cast<QELTCPSocket*>(socket), destination, size);
}

void QELBufSetDelimiter(QELBuf* reader, int option, int value) {
  if (reader != nullptr && option == 0) reader->delimiter = static_cast<char>(value);
}

int QELBufReadLine(QELBuf* reader, char* destination, int max) {
  if (reader == nullptr || reader->count < 0) return -1;
  if (destination == nullptr || max < 1) return 0;

  bool enough = reader->count >= reader->capacity || reader->count >= max - 1;
  int delimiter = -1;
  if (reader->count > 0 && !enough) {
    delimiter = find_delimiter(reader);
    if (delimiter >= 0 && delimiter + 2 <= max) enough = true;
  }
  if (!enough) {
    int got = read_once(reader, reader->buffer.get() + reader->count, reader->capacity - reader->count);
    if (got > 0) reader->count += got;
  }
  if (reader->count == 0) {
    destination[0] = '\0';
    return 0;
  }
  if (delimiter < 0) delimiter = find_delimiter(reader);

  int n = reader->count < max - 1 ? reader->count : max - 1;
  if (delimiter >= 0 && delimiter + 1 < n) n = delimiter + 1;
  std::memcpy(destination, reader->buffer.get(), static_cast<size_t>(n));
  destination[n] = '\0';
  consume(reader, n);
  return n;
}

int QELBufRead(QELBuf* reader, char* destination, int n) {
  if (reader == nullptr || reader->count < 0 || n < 0) return -1;
  if (destination == nullptr) return n == 0 ? 0 : -1;
  if (reader->count >= n) {
    std::memcpy(destination, reader->buffer.get(), static_cast<size_t>(n));
    consume(reader, n);
    return n;
  }
  int held = reader->count;
  std::memcpy(destination, reader->buffer.get(), static_cast<size_t>(held));
  reader->count = 0;
  int got = read_once(reader, destination + held, n - held);
  if (got < 0) return -1;
  return held + got;
}

int QELBufSkipTo(QELBuf* reader, const char* sequence, int length) {
  if (reader == nullptr || reader->count < 0) return -1;
  // An empty sequence never matches; rather than drain the source to its
  // end looking for it, say so at once.
  if (sequence == nullptr || length < 1) return -1;

  if (reader->count == 0) {
    reader->count = read_once(reader, reader->buffer.get(), reader->capacity);
    if (reader->count < 0) return -1;
  }
  long long skipped = 0;
  int match = find_sequence(reader, sequence, length);
  while (match < 0) {
    int keep = length - 1 < reader->count ? length - 1 : reader->count;
    int discarded = reader->count - keep;
    skipped += discarded;
    consume(reader, discarded);
    int got = read_once(reader, reader->buffer.get() + reader->count, reader->capacity - reader->count);
    if (got < 1) return -1;
    reader->count += got;
    match = find_sequence(reader, sequence, length);
  }
  consume(reader, match);
  skipped += match;
  return skipped > INT_MAX ? INT_MAX : static_cast<int>(skipped);
}
