// Interface ids: comparison and the text form the registry keeps.
#include "platform/com.h"

#include <cctype>
#include <cstdio>
#include <cstring>

bool operator==(const GUID& a, const GUID& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

std::string guid_to_string(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(g.data1),
                g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6],
                g.data4[7]);
  return text;
}

namespace {

// Reads `digits` hexadecimal digits at text[at...].
bool hex_field(const char* text, size_t at, int digits, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) {
    const int c = static_cast<unsigned char>(text[at + static_cast<size_t>(i)]);
    if (!std::isxdigit(c)) return false;
    v = v * 16 + static_cast<uint32_t>(std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10);
  }
  *value = v;
  return true;
}

}  // namespace

bool guid_from_string(const char* text, GUID* guid) {
  if (text == nullptr || guid == nullptr || std::strlen(text) != 38 || text[0] != '{' || text[37] != '}' ||
      text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-')
    return false;
  GUID g{};
  uint32_t v = 0;
  if (!hex_field(text, 1, 8, &g.data1)) return false;
  if (!hex_field(text, 10, 4, &v)) return false;
  g.data2 = static_cast<uint16_t>(v);
  if (!hex_field(text, 15, 4, &v)) return false;
  g.data3 = static_cast<uint16_t>(v);
  static constexpr size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!hex_field(text, kByteAt[i], 2, &v)) return false;
    g.data4[i] = static_cast<uint8_t>(v);
  }
  *guid = g;
  return true;
}
