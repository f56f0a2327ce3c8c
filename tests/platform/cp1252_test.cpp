// Code page tables.
#include <gtest/gtest.h>

#include "platform/cp1252.h"

TEST(CodePages, WindowsAndSymbolBytes) {
  EXPECT_EQ(cp1252_to_unicode('A'), U'A');
  EXPECT_EQ(cp1252_to_unicode(0x80), U'\u20AC');
  EXPECT_EQ(cp1252_to_unicode(0x95), U'\u2022');
  EXPECT_EQ(cp1252_to_unicode(0x81), char32_t{0x81});
  EXPECT_EQ(cp1252_to_unicode(0xE9), U'\u00E9');
  EXPECT_EQ(symbol_to_unicode(0xB7), U'\u2022');
  EXPECT_EQ(symbol_to_unicode('a'), U'\u03B1');
  EXPECT_EQ(symbol_to_unicode('W'), U'\u03A9');
  std::string utf8;
  append_utf8(utf8, U'\u20AC');
  EXPECT_EQ(utf8, "\xE2\x82\xAC");
}
