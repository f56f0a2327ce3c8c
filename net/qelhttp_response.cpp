// The response: status line and header lines (with interim 100 heads), then
// a body of the announced length, in chunks, or until the server closes.
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "net/qelhttp_internal.h"

namespace qelhttp {

namespace {

constexpr int kLineSize = 4096;     // status and header lines: 4095 characters
constexpr int kChunkLineSize = 80;  // chunk-size lines: 79 characters
constexpr int kBlockSize = 4096;
constexpr int kFileBlockSize = 256 * 1024;

// A line as the peer sent it, even when it arrives over several reads: the
// reader hands out what one read brought, and a line cut by the network
// would otherwise be taken for two. Stops at the delimiter, when max - 1
// bytes are held, or when the source has nothing more. Length, or 0.
int read_line(QELBuf* reader, char* line, int max) {
  int n = QELBufReadLine(reader, line, max);
  if (n <= 0) {
    line[0] = 0;
    return 0;
  }
  while (line[n - 1] != reader->delimiter && n < max - 1) {
    const int more = QELBufReadLine(reader, line + n, max - n);
    if (more <= 0) break;
    n += more;
  }
  return n;
}

// Drops the rest of a line that did not fit its buffer.
void skip_rest_of_line(QELBuf* reader) {
  char scratch[kChunkLineSize];
  int n;
  while ((n = read_line(reader, scratch, sizeof scratch)) > 0)
    if (scratch[n - 1] == reader->delimiter) return;
}

bool blank(const char* text) {
  for (; *text; ++text)
    if (!std::isspace(static_cast<unsigned char>(*text))) return false;
  return true;
}

// Cuts leading and trailing white space in place.
char* trim(char* text) {
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  size_t n = std::strlen(text);
  while (n > 0 && std::isspace(static_cast<unsigned char>(text[n - 1]))) text[--n] = 0;
  return text;
}

int status_code_of(const char* line, int length) {
  if (length <= 9) return 0;
  const long value = std::strtol(line + 9, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// A "Content-Length" value: decimal digits only. A second value that
// differs, or one that is no count, leaves the length unknowable.
void take_content_length(QELHTTP* http, const char* value) {
  int64_t length = 0;
  bool valid = *value != 0;
  for (const char* p = value; *p && valid; ++p) {
    valid = std::isdigit(static_cast<unsigned char>(*p)) && length <= (INT64_MAX - 9) / 10;
    if (valid) length = length * 10 + (*p - '0');
  }
  if (!valid || (http->content_length >= 0 && http->content_length != length)) {
    http->content_length_invalid = true;
    return;
  }
  http->content_length = length;
}

void take_header_field(QELHTTP* http, char* line) {
  char* colon = std::strchr(line, ':');
  const char* value = "";
  if (colon) {
    *colon = 0;
    value = trim(colon + 1);
  }
  const char* name = trim(line);
  if (http->header_callback) http->header_callback(http->header_user, name, value);
  if (strcasecmp(name, "Transfer-Encoding") == 0 && strcasecmp(value, "chunked") == 0) http->chunked = 1;
  if (strcasecmp(name, "Location") == 0) http->location.reset(strdup(value));
  if (strcasecmp(name, "Content-Length") == 0) take_content_length(http, value);
}

// Whether the body is to end at the announced length: not for a chunked
// body (the chunks say where it ends), nor where no body follows at all.
bool body_has_length(const QELHTTP* http) {
  return http->content_length >= 0 && !http->chunked && http->method != QELHTTP_HEAD && http->status_code != 204 &&
         http->status_code != 304;
}

// Asks the reader for at most want bytes, but only for what it holds when
// it holds any: a block read that also has to wait on the socket drops the
// held bytes if that wait fails, and they are part of what arrived.
int read_block(QELBuf* reader, char* block, int want) {
  if (reader->count > 0 && reader->count < want) want = reader->count;
  return QELBufRead(reader, block, want);
}

bool write_all(int descriptor, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(descriptor, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool keep(QELHTTP* http, const char* block, int length) {
  try {
    http->body.resize(http->body_length + static_cast<size_t>(length) + 1);
  } catch (const std::bad_alloc&) {
    std::vector<char>().swap(http->body);
    http->body_length = 0;
    http->body_collected = false;
    return false;
  }
  std::memcpy(http->body.data() + http->body_length, block, static_cast<size_t>(length));
  http->body_length += static_cast<size_t>(length);
  http->body_collected = true;
  return true;
}

// One block of a chunked body into block: its length, 0 after the last
// chunk, -1 when the body is broken (the connection ended where a size line
// or chunk data was due, or a size is not a hexadecimal count that fits).
int chunk_step(QELHTTP* http, QELBuf* reader, char* block, int32_t* remaining) {
  if (*remaining == 0) {
    // Blank lines and long extensions are no progress: the whole size line
    // must come within the time-out.
    WithinTimeout bounded(http);
    char line[kChunkLineSize];
    int n;
    do {
      n = read_line(reader, line, sizeof line);
      if (n <= 0) return -1;
      statusf(http, 7, 200, "Read Chunk Header: %s", line);
    } while (blank(line));
    if (line[n - 1] != reader->delimiter) skip_rest_of_line(reader);
    char* end = nullptr;
    const long size = std::strtol(line, &end, 16);
    if (end == line || size < 0 || size > INT32_MAX) return -1;
    *remaining = static_cast<int32_t>(size);
    statusf(http, 7, 200, "Read Chunk %d: Len: %d 0x%x\n", *remaining, *remaining, static_cast<unsigned>(*remaining));
    if (*remaining == 0) return 0;
  }
  statusf(http, 7, 200, "Read partial chunk %d MAX:%d\n", *remaining, kBlockSize);
  const int n = read_block(reader, block, *remaining < kBlockSize ? *remaining : kBlockSize);
  if (n == 0) return -1;  // cut inside a chunk
  if (n > 0) *remaining -= n;
  return n;
}

}  // namespace

WithinTimeout::WithinTimeout(QELHTTP* http) : socket_(http->socket.get()) {
  if (!socket_) return;
  outer_deadline_ = socket_->deadline_ms;
  const int32_t seconds = http->read_timeout;
  if (seconds > 0) QELTCPSocketSetDeadline(socket_, seconds > 2000000 ? 2000000000 : seconds * 1000);
}

WithinTimeout::~WithinTimeout() {
  if (socket_) socket_->deadline_ms = outer_deadline_;
}

int read_head(QELHTTP* http, QELBuf* reader, time_t response_start, time_t* transfer_start) {
  char line[kLineSize];
  int32_t count = 0;
  int64_t head_bytes = 0;  // of every head, whether counted in the result or not
  bool first = true;
  // Each call reads at most the line buffer; a head past the limit ends
  // with the header error instead of growing for as long as the peer sends.
  auto next_line = [&]() {
    const int n = read_line(reader, line, sizeof line);
    head_bytes += n;
    return head_bytes > http->head_limit ? 0 : n;
  };
  for (;;) {
    int n = next_line();
    if (n <= 0) return -9;
    http->status_code = status_code_of(line, n);
    http->content_length = -1;
    http->content_length_invalid = false;
    if (first) {
      const time_t now = std::time(nullptr);
      http->response_time = static_cast<int32_t>(now - response_start);
      *transfer_start = now;
      first = false;
    }
    int result = 0;
    if (std::strncmp(line, "HTTP", 4) != 0) result = -5;
    const int code = http->status_code;
    if (code != 200 && code != 201 && code != 100) {
      statusf(http, 12, 1024, "Invalid HTTP Response Code Received -- %s", line);
      if (!http->any_status) result = -6;
    }
    if (http->include_headers) {
      if (http->body_callback) http->body_callback(http->user, line, n);
      count += n;
    }
    if (http->header_line_callback) http->header_line_callback(http->header_user, line, n);
    for (;;) {
      n = next_line();
      if (n <= 0) return -9;
      if (http->header_line_callback) http->header_line_callback(http->header_user, line, n);
      count += n;
      if (line[0] == '\n' || (line[0] == '\r' && line[1] == '\n')) break;
      take_header_field(http, line);
    }
    if (code == 100) continue;
    if (result) return result;
    if (http->content_length_invalid && !http->chunked) return -9;
    return count;
  }
}

int read_body(QELHTTP* http, QELBuf* reader, const BodySink& sink, int32_t* total) {
  char small[kBlockSize + 1];
  // A plain body that only goes to a file is read in large pieces: with
  // 4 KB socket reads a fast local server leaves the client spending its
  // time in system calls. Callers that see the blocks get them at 4 KB.
  std::unique_ptr<char[]> large;
  if (!http->chunked && !http->body_callback && http->keep_body != 1)
    large.reset(new (std::nothrow) char[kFileBlockSize + 1]);
  char* block = large ? large.get() : small;
  const int block_size = large ? kFileBlockSize : kBlockSize;
  int32_t remaining = 0;
  // Bytes still due by the announced length; -1 reads until the server closes.
  int64_t due = body_has_length(http) ? http->content_length : -1;
  int result = 0;
  http->body_length = 0;
  while (!cancelled(http) && due != 0) {
    const int want = due > 0 && due < block_size ? static_cast<int>(due) : block_size;
    const int n = http->chunked ? chunk_step(http, reader, block, &remaining) : read_block(reader, block, want);
    if (n <= 0) {
      // A body that ends before its announced length is cut short.
      if (n < 0 || due > 0) result = -10;
      break;
    }
    if (due > 0) due -= n;
    block[n] = 0;
    // The counts are signed 32-bit; a body that would pass them ends here.
    if (n > INT32_MAX - *total) {
      result = -10;
      break;
    }
    if (sink.descriptor >= 0 && !write_all(sink.descriptor, block, static_cast<size_t>(n))) {
      result = -23;
      break;
    }
    if (http->body_callback && http->body_callback(http->user, block, n) < 0) {
      result = -11;
      break;
    }
    if (http->keep_body == 1 && !keep(http, block, n)) {
      result = -25;
      break;
    }
    *total += n;
  }
  if (http->body_collected) http->body[http->body_length] = 0;
  return result;
}

}  // namespace qelhttp
