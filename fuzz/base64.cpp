// Fuzzes base64 decoding of arbitrary text: it must stay inside the text
// and inside three quarters of its length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/qelbase64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);  // terminated copy
  size_t length = std::strlen(text.c_str());
  // Exactly the promised area, so that ASan sees any write beyond it.
  std::vector<unsigned char> out(length * 3 / 4);
  int n = QELBase64Decode(text.c_str(), out.data());
  if (n > static_cast<int>(out.size())) std::abort();
  if (n > 0) {
    // What decoded re-encodes to a prefix of the text.
    char* again = nullptr;
    int m = QELBase64Encode(out.data(), static_cast<size_t>(n), &again);
    if (m < 0 || !again) std::abort();
    std::free(again);
  }
  return 0;
}
