// Base64 encoding and decoding of memory blocks and whole streams.
#include "support/qelbase64.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kLineBytes = 57;

struct DecodeTable {
  signed char value[256];
  constexpr DecodeTable() : value() {
    for (int i = 0; i < 256; ++i) value[i] = -1;
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  }
};
constexpr DecodeTable kDecode;

inline int value_of(char c) {
  return kDecode.value[static_cast<unsigned char>(c)];
}

// Writes the four characters of one group of 1-3 bytes.
char* encode_group(const unsigned char* in, size_t n, char* out) {
  unsigned v = static_cast<unsigned>(in[0]) << 16;
  if (n > 1) v |= static_cast<unsigned>(in[1]) << 8;
  if (n > 2) v |= in[2];
  *out++ = kAlphabet[(v >> 18) & 63];
  *out++ = kAlphabet[(v >> 12) & 63];
  *out++ = n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
  *out++ = n > 2 ? kAlphabet[v & 63] : '=';
  return out;
}

int encode(const void* data, size_t length, char** text, bool lines) {
  *text = nullptr;
  // Sizes beyond an int answer cannot be reported; refuse them before the
  // allocation size can overflow.
  if (length > (static_cast<size_t>(INT_MAX) / 4) * 3 - 64) return -1;
  size_t size = length * 4 / 3 + (lines ? (length / kLineBytes) * 2 + 6 : 4);
  char* out = static_cast<char*>(std::malloc(size));
  if (!out) return -1;
  const auto* in = static_cast<const unsigned char*>(data);
  char* p = out;
  size_t done = 0;
  while (done < length) {
    size_t n = length - done < 3 ? length - done : 3;
    p = encode_group(in + done, n, p);
    done += n;
    if (lines && (done % kLineBytes == 0 || done == length)) {
      *p++ = '\r';
      *p++ = '\n';
    }
  }
  *p = '\0';
  *text = out;
  return static_cast<int>(p - out);
}

}  // namespace

int QELBase64Encode(const void* data, size_t length, char** text) {
  return encode(data, length, text, false);
}

int QELBase64EncodeLines(const void* data, size_t length, char** text) {
  return encode(data, length, text, true);
}

int QELBase64Value(int character) {
  if (character < 0 || character > 255) return -1;
  return kDecode.value[character];
}

int QELBase64Decode(const char* text, void* output) {
  auto* out = static_cast<unsigned char*>(output);
  int written = 0;
  // Each character is looked at only after the one before it was part of
  // the alphabet or padding, so the terminator is never passed.
  while (*text) {
    int a = value_of(text[0]);
    if (a < 0) break;
    int b = value_of(text[1]);
    if (b < 0) return -1;
    bool pad3 = text[2] == '=';
    int c = pad3 ? 0 : value_of(text[2]);
    if (c < 0) return -1;
    bool pad4 = text[3] == '=';
    if (pad3 && !pad4) return -1;
    int d = pad4 ? 0 : value_of(text[3]);
    if (d < 0) return -1;
    unsigned v = (static_cast<unsigned>(a) << 18) | (static_cast<unsigned>(b) << 12) | (static_cast<unsigned>(c) << 6) |
                 static_cast<unsigned>(d);
    out[written++] = static_cast<unsigned char>(v >> 16);
    if (!pad3) out[written++] = static_cast<unsigned char>(v >> 8);
    if (!pad4) out[written++] = static_cast<unsigned char>(v);
    if (pad3 || pad4) break;
    text += 4;
  }
  return written;
}

long QELBase64EncodeStream(FILE* input, FILE* output) {
  unsigned char block[kLineBytes];
  char line[kLineBytes / 3 * 4 + 2];
  long total = 0;
  for (;;) {
    size_t n = std::fread(block, 1, sizeof block, input);
    if (n == 0) break;
    char* p = line;
    for (size_t i = 0; i < n; i += 3) p = encode_group(block + i, n - i < 3 ? n - i : 3, p);
    *p++ = '\n';
    size_t len = static_cast<size_t>(p - line);
    if (std::fwrite(line, 1, len, output) != len) return -1;
    total += static_cast<long>(n);
  }
  return total;
}

long QELBase64DecodeStream(FILE* input, FILE* output) {
  char line[84];  // 83 characters and the terminator
  unsigned char bytes[sizeof line / 4 * 3];
  long total = 0;
  while (std::fgets(line, sizeof line, input)) {
    total += static_cast<long>(std::strlen(line));
    int n = QELBase64Decode(line, bytes);
    // A line that does not decode ends the stream: writing what follows
    // would shift every later byte of the output.
    if (n < 0) return -1;
    if (n > 0 && std::fwrite(bytes, 1, static_cast<size_t>(n), output) != static_cast<size_t>(n)) return -1;
  }
  return total;
}
