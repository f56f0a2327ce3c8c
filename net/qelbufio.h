// A fixed-size read buffer in front of any byte source: line reads up to a
// delimiter, block reads and skipping to a byte sequence, each making at most
// one call of the source's read function.
#pragma once

#include <cstdint>
#include <memory>

// Bytes read into destination (at most size), 0 at end of data, negative on
// failure.
using QELBufReadFunction = int (*)(void* source, char* destination, int size);

struct QELBuf {
  std::unique_ptr<char[]> buffer;
  int32_t capacity = 0;
  void* source = nullptr;  // a QELTCPSocket, or a file descriptor
  char delimiter = '\n';
  int32_t count = 0;  // bytes held at the front; negative: failed reader
  QELBufReadFunction read = nullptr;
};

// Null when capacity < 1, read is null, or allocation fails.
QELBuf* QELBufCreate(int capacity, void* source, QELBufReadFunction read);
// Reads the file descriptor with read(2).
QELBuf* QELBufCreateForFile(int capacity, int descriptor);
void QELBufDestroy(QELBuf* reader);

struct QELBufDeleter {
  void operator()(QELBuf* reader) const { QELBufDestroy(reader); }
};
using QELBufPtr = std::unique_ptr<QELBuf, QELBufDeleter>;

// Read function over a QELTCPSocket, for QELBufCreate(capacity, socket, ...).
int QELBufSocketRead(void* socket, char* destination, int size);

// option 0 sets the delimiter byte; other options are ignored.
void QELBufSetDelimiter(QELBuf* reader, int option, int value);

// Places up to max - 1 bytes, ending with the delimiter when a whole line is
// held, into destination and terminates it. Length placed, 0 when nothing is
// available, -1 for a failed reader.
int QELBufReadLine(QELBuf* reader, char* destination, int max);

// Held bytes first, then one read for the rest of n. Bytes delivered or -1.
int QELBufRead(QELBuf* reader, char* destination, int n);

// Discards bytes up to the first occurrence of sequence, which stays held.
// Number discarded, or -1 when the source ends or fails first.
int QELBufSkipTo(QELBuf* reader, const char* sequence, int length);
