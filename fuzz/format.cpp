// Fuzzes the formatting engine with fuzzer-chosen directives. The input is
// turned into format strings of one directive each, whose conversion is
// mapped onto the supported set, so every argument matches its directive.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/qelformat.h"

// The format strings are built at run time from the input on purpose.
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

namespace {

const char* const kConversions[] = {"d",   "i",   "u",   "o",   "x",  "X",  "c",   "s",   "f",  "e",  "E",  "g",  "G",
                                    "%",   "y",   "pp",  "pA",  "pI", "pl", "pL",  "pr",  "pR", "pe", "px", "pq", "pjS",
                                    "pjs", "pje", "pjl", "pjq", "pZ", "n",  "lld", "llx", "ld", "hd", "zu"};
constexpr size_t kCount = sizeof kConversions / sizeof kConversions[0];

struct Input {
  const uint8_t* p;
  const uint8_t* end;
  bool more() const { return p < end; }
  uint8_t next() { return p < end ? *p++ : 0; }
};

void run(const std::string& format, const char* conversion, const std::string& text, double number, long long value) {
  char small[17];
  char large[4096];
  in_addr address{};
  address.s_addr = static_cast<uint32_t>(value);
  sockaddr_in socket_address{};
  socket_address.sin_family = AF_INET;
  socket_address.sin_port = static_cast<uint16_t>(value);
  int count = 0;
  const char* f = format.c_str();
  for (char* buffer : {small, large}) {
    size_t size = buffer == small ? sizeof small : sizeof large;
    std::string c = conversion;
    int n;
    if (c == "s" || (c[0] == 'p' && c != "pp" && c != "pA" && c != "pI" && c != "pZ"))
      n = QELSnprintf(buffer, size, f, text.c_str());
    else if (c == "pA")
      n = QELSnprintf(buffer, size, f, &address);
    else if (c == "pI")
      n = QELSnprintf(buffer, size, f, &socket_address);
    else if (c == "pp")
      n = QELSnprintf(buffer, size, f, reinterpret_cast<void*>(value));
    else if (c == "pZ" || c == "%" || c == "y")
      n = QELSnprintf(buffer, size, f);
    else if (c == "n")
      n = QELSnprintf(buffer, size, f, &count);
    else if (c == "f" || c == "e" || c == "E" || c == "g" || c == "G")
      n = QELSnprintf(buffer, size, f, number);
    else if (c == "lld" || c == "llx")
      n = QELSnprintf(buffer, size, f, value);
    else if (c == "ld")
      n = QELSnprintf(buffer, size, f, static_cast<long>(value));
    else if (c == "zu")
      n = QELSnprintf(buffer, size, f, static_cast<size_t>(value));
    else
      n = QELSnprintf(buffer, size, f, static_cast<int>(value));
    if (n < 0 || static_cast<size_t>(n) > size || std::strlen(buffer) >= size) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, data + size};
  while (in.more()) {
    std::string format = "<%";
    uint8_t shape = in.next();
    const char* flags = "-+ #0";
    for (int i = 0; i < 5; ++i)
      if (shape & (1 << i)) format += flags[i];
    if (shape & 0x20) format += std::to_string(in.next() % 200);
    if (shape & 0x40) format += "." + std::to_string(in.next() % 100);
    if (shape & 0x80) format.resize(2);  // the no-flags form
    const char* conversion = kConversions[in.next() % kCount];
    format += conversion;
    format += ">";
    size_t text_length = in.next() % 32;
    std::string text;
    while (text.size() < text_length && in.more()) text += static_cast<char>(in.next());
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | in.next();
    double number;
    std::memcpy(&number, &bits, sizeof number);
    run(format, conversion, text, number, static_cast<long long>(bits));
  }
  return 0;
}
