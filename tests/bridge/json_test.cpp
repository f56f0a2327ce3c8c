// The bridge's JSON reader and quoting, and its text conversions.
#include <gtest/gtest.h>

#include <string>

#include "bridge/json.h"

namespace {

JsonValue parsed(const std::string& text) {
  JsonValue value;
  std::string error;
  EXPECT_TRUE(json_parse(text, &value, &error)) << text << ": " << error;
  return value;
}

std::string refusal(const std::string& text) {
  JsonValue value;
  std::string error;
  EXPECT_FALSE(json_parse(text, &value, &error)) << text;
  return error;
}

TEST(BridgeJson, ReadsNestedValuesWithEscapes) {
  const JsonValue v =
      parsed(" {\"member\":\"src\",\"value\":\"caf\\u00e9 \\ud83d\\ude00\\n\\\"/\",\"n\":[-1.5e2,0,true,null,{}]} ");
  ASSERT_TRUE(v.is_object());
  EXPECT_EQ(v.find("member")->as_string(), "src");
  EXPECT_EQ(v.find("value")->as_string(), "caf\xC3\xA9 \xF0\x9F\x98\x80\n\"/");
  const JsonValue::Array& n = v.find("n")->as_array();
  ASSERT_EQ(n.size(), 5u);
  EXPECT_EQ(n[0].as_number(), -150.0);
  EXPECT_TRUE(n[2].as_bool());
  EXPECT_TRUE(n[3].is_null());
  EXPECT_TRUE(n[4].is_object());
  EXPECT_EQ(v.find("absent"), nullptr);
  EXPECT_EQ(n[0].find("member"), nullptr);  // not an object
}

TEST(BridgeJson, RefusesWhatIsNotStrictJson) {
  for (const char* text : {"", "{", "{\"a\":1,}", "[1,]", "{\"a\" 1}", "{a:1}", "01", "-", "1.", "1e", "+1", "'x'",
                           "tru", "nul", "{} {}", "\"tab\there\"", "\"\\x\"", "\"\\u12\"", "\"open"})
    refusal(text);
  // Names are unique, so no member can hide behind another.
  EXPECT_NE(refusal("{\"member\":\"Print\",\"member\":\"Sync\"}").find("duplicate"), std::string::npos);
  // Text must be UTF-8 without surrogates, encoded or escaped.
  for (const char* text : {"\"\xC0\x80\"", "\"\xED\xA0\x80\"", "\"\xF5\x80\x80\x80\"", "\"\xE2\x82\"", "\"\xFF\"",
                           "\"\\ud800\"", "\"\\udc00\"", "\"\\ud800\\u0041\""})
    refusal(text);
  EXPECT_NE(refusal("{\"a\":1,}").find("offset 7"), std::string::npos);
}

TEST(BridgeJson, BoundsNesting) {
  const std::string ok = std::string(kJsonMaxDepth, '[') + std::string(kJsonMaxDepth, ']');
  parsed(ok);
  const std::string deep = std::string(kJsonMaxDepth + 1, '[') + std::string(kJsonMaxDepth + 1, ']');
  EXPECT_NE(refusal(deep).find("too deep"), std::string::npos);
  // Far deeper input is refused without recursing through all of it.
  refusal(std::string(1000000, '['));
}

TEST(BridgeJson, QuotesIntoValidJsonThatReadsBack) {
  EXPECT_EQ(json_quote("a\"b\\c\n\x01</script>"), "\"a\\\"b\\\\c\\n\\u0001\\u003c/script\\u003e\"");
  // Bytes that are no UTF-8 become U+FFFD instead of breaking the answer.
  const std::string quoted = json_quote("x\xFFy\xC3");
  EXPECT_EQ(quoted, "\"x\xEF\xBF\xBDy\xEF\xBF\xBD\"");
  const std::string text = "caf\xC3\xA9 & \xE2\x82\xAC\t";
  EXPECT_EQ(parsed(json_quote(text)).as_string(), text);
}

TEST(BridgeJson, ConvertsBetweenUtf8AndTheEightBitCodePage) {
  EXPECT_EQ(utf8_to_cp1252("caf\xC3\xA9 \xE2\x82\xAC \xE2\x86\x92"), "caf\xE9 \x80 ?");
  EXPECT_EQ(cp1252_to_utf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(utf8_to_cp1252("\xFF"), "?");
}

}  // namespace
