// The decoder keeps one group of four characters between pieces, so the
// text may arrive cut anywhere.
#include "document/pdocimage_text.h"

#include "support/qelbase64.h"

namespace {

bool is_skipped(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

// Writes the first `bytes` bytes of the 24 bits of a full group.
void pdoc_inline_decoder::emit(std::string& out, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((bits_ >> (16 - 8 * i)) & 0xFF);
  bits_ = 0;
  in_group_ = 0;
}

bool pdoc_inline_decoder::feed(const char* text, size_t length, std::string& out) {
  if (failed_) return false;
  for (size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (is_skipped(c)) continue;
    if (ended_) return fail();  // anything after the padding
    if (c == '=') {
      if (in_group_ < 2) return fail();
      ++padding_;
      bits_ <<= 6;
      if (++in_group_ == 4) {
        emit(out, 3 - padding_);
        ended_ = true;
      }
      continue;
    }
    const int value = QELBase64Value(static_cast<unsigned char>(c));
    if (value < 0 || padding_ > 0) return fail();
    bits_ = (bits_ << 6) | static_cast<uint32_t>(value);
    if (++in_group_ == 4) emit(out, 3);
  }
  return true;
}

bool pdoc_inline_decoder::finish(std::string& out) {
  if (failed_ || (padding_ > 0 && !ended_)) return fail();
  switch (in_group_) {
    case 0: return true;
    case 2:
      bits_ <<= 12;
      emit(out, 1);
      return true;
    case 3:
      bits_ <<= 6;
      emit(out, 2);
      return true;
    default: return fail();
  }
}
