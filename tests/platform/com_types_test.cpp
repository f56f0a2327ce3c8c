// The object model's value types: ids in their registry form, strings
// between UTF-16 and 8-bit text, variant conversions, and memory streams.
#include <gtest/gtest.h>

#include "platform/com_dispatch.h"
#include "platform/com_storage.h"

namespace {

TEST(ComGuid, TextFormRoundTripsAndRejectsMalformedText) {
  const GUID g = {0x5E1A7C31, 0x8D2B, 0x4F6A, {0x9C, 0x3E, 0x2B, 0x7D, 0x41, 0xA6, 0xF0, 0xC8}};
  EXPECT_EQ(guid_to_string(g), "{5E1A7C31-8D2B-4F6A-9C3E-2B7D41A6F0C8}");
  GUID back{};
  ASSERT_TRUE(guid_from_string("{5e1a7c31-8d2b-4f6a-9c3e-2b7d41a6f0c8}", &back));
  EXPECT_EQ(back, g);
  for (const char* bad : {"5E1A7C31-8D2B-4F6A-9C3E-2B7D41A6F0C8", "{5E1A7C31-8D2B-4F6A-9C3E-2B7D41A6F0C}",
                          "{5E1A7C31-8D2B-4F6A-9C3E-2B7D41A6F0CG}", "{5E1A7C31+8D2B-4F6A-9C3E-2B7D41A6F0C8}", "",
                          "{5E1A7C31-8D2B-4F6A-9C3E-2B7D41A6F0C8}x"})
    EXPECT_FALSE(guid_from_string(bad, &back)) << bad;
  EXPECT_FALSE(guid_from_string(nullptr, &back));
}

TEST(ComString, ConvertsBetweenUtf16AndWindows1252) {
  BStr s("caf\xE9 \x80 \x93quoted\x94");
  EXPECT_EQ(SysStringLen(s.get()), 15u);
  EXPECT_EQ(s.get()[3], u'\u00E9');
  EXPECT_EQ(s.get()[5], u'\u20AC');
  EXPECT_EQ(s.get()[7], u'\u201C');
  EXPECT_EQ(s.ansi(), "caf\xE9 \x80 \x93quoted\x94");

  // Characters without an 8-bit form, a surrogate pair among them, become one '?' each.
  const char16_t wide[] = u"a\u0416b\U0001F600c\xD800";
  EXPECT_EQ(bstr_to_ansi(wide), "a?b?c?");
  // Counted strings keep embedded NULs.
  const char16_t with_nul[] = {u'x', 0, u'y'};
  BSTR counted = SysAllocStringLen(with_nul, 3);
  EXPECT_EQ(SysStringLen(counted), 3u);
  EXPECT_EQ(bstr_to_ansi(counted, SysStringLen(counted)), std::string("x\0y", 3));
  SysFreeString(counted);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(bstr_to_ansi(nullptr), "");
}

VARIANT text(const char* s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = bstr_from_ansi(s);
  return v;
}

TEST(ComVariant, ChangesTypeWithinRange) {
  Variant out;
  VARIANT in = text("0x10");
  EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_UI4), S_OK);
  EXPECT_EQ(out.vt, VT_UI4);
  EXPECT_EQ(out.ulVal, 16u);
  VariantClear(&in);

  in = text(" 42 ");
  EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 42);
  VariantClear(&in);
  for (const char* bad : {"", "blue", "12px"}) {
    in = text(bad);
    EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_I4), DISP_E_TYPEMISMATCH) << bad;
    VariantClear(&in);
  }
  in = text("99999999999999999999999");
  EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_I4), DISP_E_OVERFLOW);
  VariantClear(&in);

  VARIANT n;
  VariantInit(&n);
  n.vt = VT_I4;
  n.lVal = -1;
  EXPECT_EQ(VariantChangeType(&out, &n, 0, VT_UI4), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(&out, &n, 0, VT_I2), S_OK);
  EXPECT_EQ(out.iVal, -1);
  n.lVal = 70000;
  EXPECT_EQ(VariantChangeType(&out, &n, 0, VT_I2), DISP_E_OVERFLOW);
  EXPECT_EQ(VariantChangeType(&out, &n, 0, VT_BSTR), S_OK);
  EXPECT_EQ(bstr_to_ansi(out.bstrVal), "70000");

  // In place: the string is replaced, not leaked or freed twice.
  VARIANT self = text("7");
  EXPECT_EQ(VariantChangeType(&self, &self, 0, VT_UI4), S_OK);
  EXPECT_EQ(self.vt, VT_UI4);
  EXPECT_EQ(self.ulVal, 7u);
  VARIANT copy;
  VariantInit(&copy);
  VARIANT original = text("copied");
  EXPECT_EQ(VariantCopy(&copy, &original), S_OK);
  EXPECT_NE(copy.bstrVal, original.bstrVal);
  VariantClear(&original);
  EXPECT_EQ(bstr_to_ansi(copy.bstrVal), "copied");
  VariantClear(&copy);
}

TEST(ComStream, ReadsShortAtTheEndAndSeeksOnlyInsideItsRange) {
  ComPtr<IStream> stream = create_memory_stream({1, 2, 3});
  unsigned char buffer[8] = {};
  ULONG read = 0;
  EXPECT_EQ(stream->Read(buffer, sizeof buffer, &read), S_OK);
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(stream->Read(buffer, sizeof buffer, &read), S_OK);
  EXPECT_EQ(read, 0u);

  uint64_t at = 0;
  EXPECT_EQ(stream->Seek(-4, STREAM_SEEK_END, &at), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream->Seek(INT64_MAX, STREAM_SEEK_END, &at), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream->Seek(5, STREAM_SEEK_SET, &at), S_OK);
  // Writing past the end fills the gap with zeros.
  EXPECT_EQ(stream->Write("\x09", 1, nullptr), S_OK);
  EXPECT_EQ(memory_stream_bytes(stream.get()), (std::vector<unsigned char>{1, 2, 3, 0, 0, 9}));
  EXPECT_EQ(stream->Seek(0, 7, &at), STG_E_INVALIDFUNCTION);
}

TEST(ComStorage, CreatingAStreamAgainEmptiesIt) {
  ComPtr<IStorage> storage = create_memory_storage();
  ComPtr<IStream> stream;
  EXPECT_EQ(storage->OpenStream("Contents", stream.put()), STG_E_FILENOTFOUND);
  EXPECT_FALSE(stream);
  ASSERT_EQ(storage->CreateStream("Contents", stream.put()), S_OK);
  stream->Write("abc", 3, nullptr);
  ASSERT_EQ(storage->OpenStream("Contents", stream.put()), S_OK);
  char buffer[4] = {};
  ULONG read = 0;
  stream->Read(buffer, 3, &read);
  EXPECT_EQ(std::string(buffer, read), "abc");
  ASSERT_EQ(storage->CreateStream("Contents", stream.put()), S_OK);
  ASSERT_EQ(storage->OpenStream("Contents", stream.put()), S_OK);
  EXPECT_TRUE(memory_stream_bytes(stream.get()).empty());
}

}  // namespace
