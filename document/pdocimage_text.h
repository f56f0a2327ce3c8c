// Inline picture text: base64 decoded as one text, whatever its line
// lengths or indentation, as encoders write it (one line, or lines of any
// length).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class pdoc_inline_decoder {
 public:
  // Appends the bytes the next piece of text completes to out. Space, TAB,
  // CR and LF are skipped anywhere; "=" may only pad the last group.
  // Answers false, now and for every later piece, once the text cannot be
  // base64.
  bool feed(const char* text, size_t length, std::string& out);

  // The end of the text: an unpadded last group of two or three characters
  // gives its bytes. Answers false when the text did not decode whole.
  bool finish(std::string& out);

 private:
  bool fail() {
    failed_ = true;
    return false;
  }
  void emit(std::string& out, int bytes);

  uint32_t bits_ = 0;
  int in_group_ = 0;    // characters of the group being read
  int padding_ = 0;     // "=" seen in it
  bool ended_ = false;  // a padded group ended the data
  bool failed_ = false;
};
