// Fuzzes URL parsing: every field stays terminated within its limit,
// formatting the record into any buffer size stays inside that buffer, and
// the whole-only form agrees with the plain parse whenever it accepts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/qelurl.h"

namespace {

void check_field(const char* field, size_t limit) {
  if (strnlen(field, limit + 1) > limit) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);  // terminated copy
  QELURL url{};
  int result = QELURLParse(&url, text.c_str());
  if (result > 0 || result < -5) std::abort();
  if (result < 0) return 0;
  check_field(url.scheme, 19);
  check_field(url.path, 1023);
  check_field(url.host, 254);
  check_field(url.user, 24);
  check_field(url.password, 24);
  check_field(url.port, 39);

  if (QELURL* whole = QELURLCreateWhole(text.c_str())) {
    const bool same = std::memcmp(whole, &url, sizeof url) == 0;
    QELURLDestroy(whole);
    if (!same) std::abort();
  }

  for (int buffer_size : {1, 7, 64, 2048}) {
    // Exactly the buffer size, so that ASan sees any write beyond it.
    std::vector<char> buffer(static_cast<size_t>(buffer_size));
    if (QELURLFormat(&url, buffer.data(), buffer_size) != buffer.data()) std::abort();
    if (strnlen(buffer.data(), buffer.size()) >= buffer.size()) std::abort();
  }

  // What was formatted parses again.
  std::vector<char> formatted(2048);
  QELURLFormat(&url, formatted.data(), 2048);
  QELURL again{};
  QELURLParse(&again, formatted.data());
  return 0;
}
