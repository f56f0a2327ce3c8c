// Fuzzes the HTTP response reader: arbitrary bytes as status line, header
// lines and plain, counted or chunked body, delivered in pieces of a size
// the input picks, through the same reader buffer a socket would fill. A
// flag shrinks the head limit so that inputs of fuzzing size reach it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "net/qelhttp_internal.h"

namespace {

struct ScriptedSource {
  const uint8_t* data;
  size_t left;
  int piece;  // largest read
  static int read(void* self, char* out, int size) {
    auto* s = static_cast<ScriptedSource*>(self);
    size_t n = s->left < static_cast<size_t>(size) ? s->left : static_cast<size_t>(size);
    if (n > static_cast<size_t>(s->piece)) n = static_cast<size_t>(s->piece);
    std::memcpy(out, s->data, n);
    s->data += n;
    s->left -= n;
    return static_cast<int>(n);
  }
};

struct Seen {
  long long bytes = 0;
};

int body_block(void* user, const char* data, int length) {
  // Every block is terminated right after its bytes.
  if (length < 0 || data[length] != 0) std::abort();
  static_cast<Seen*>(user)->bytes += length;
  return 0;
}

void header(void*, const char* name, const char* value) {
  if (!name || !value) std::abort();
  (void)std::strlen(name);
  (void)std::strlen(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  ScriptedSource source{data + 2, size - 2, 1 + data[1] % 64 * 67};
  QELHTTPPtr http(QELHTTPCreate());
  Seen seen;
  QELHTTPSetOption(http.get(), QELHTTP_OPT_USER_DATA, &seen);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_BODY_CALLBACK, reinterpret_cast<intptr_t>(&body_block));
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_HEADER_CALLBACK, reinterpret_cast<intptr_t>(&header));
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_INCLUDE_HEADERS, flags & 1);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_ANY_STATUS, (flags >> 1) & 1);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_KEEP_BODY, (flags >> 2) & 1);

  if (flags & 16) http->head_limit = 64 + data[1] % 64 * 16;

  QELBufPtr reader(QELBufCreate(4096, &source, ScriptedSource::read));
  if (flags & 8) QELBufSetDelimiter(reader.get(), 0, '\r');
  time_t transfer_start = 0;
  const int head = qelhttp::read_head(http.get(), reader.get(), 0, &transfer_start);
  if (head < 0) return 0;
  if (head > http->head_limit) std::abort();
  int32_t total = 0;
  const int body = qelhttp::read_body(http.get(), reader.get(), qelhttp::BodySink{}, &total);
  if (body == 0 && (flags & 1) == 0 && seen.bytes != total) std::abort();
  // A body that succeeds holds exactly what its length announced.
  const int status = http->status_code;
  if (body == 0 && !http->chunked && http->content_length >= 0 && status != 204 && status != 304 &&
      total != http->content_length)
    std::abort();
  if ((flags >> 2) & 1) {
    const char* kept = QELHTTPBody(http.get());
    if (body == 0 && total > 0 && (!kept || std::memchr(kept, 0, static_cast<size_t>(total) + 1) == nullptr))
      std::abort();
  }
  return 0;
}
