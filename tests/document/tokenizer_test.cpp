// Tokenizer events for tags, attributes, entities, comments and raw text,
// whole and fed in pieces.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "document/qelhtmlparser.h"

namespace {

// Records events as short strings; consecutive character runs are merged so
// that feeding in pieces can be compared with feeding at once.
struct Recorder {
  std::vector<std::string> events;
  int errors = 0;

  void text(char kind, const char* bytes, int length) {
    std::string piece(bytes, static_cast<size_t>(length));
    if (!events.empty() && events.back()[0] == kind)
      events.back() += piece;
    else
      events.push_back(std::string(1, kind) + ":" + piece);
  }

  static Recorder& of(void* user) { return *static_cast<Recorder*>(user); }
  static void on_chars(void* u, const char* b, int n) { of(u).text('C', b, n); }
  static void on_comment(void* u, const char* b, int n) { of(u).text('M', b, n); }
  static void on_prolog(void* u, const char* b, int n) { of(u).text('P', b, n); }
  static void on_start(void* u, const char* name, const char** attrs) {
    std::string e = std::string("S:") + name;
    for (const char** a = attrs; *a; a += 2) e += std::string(" ") + a[0] + "=[" + a[1] + "]";
    of(u).events.push_back(e);
  }
  static void on_end(void* u, const char* name) { of(u).events.push_back(std::string("E:") + name); }
  static void on_error(void* u, const char*, int, int) { of(u).errors++; }
};

struct Tokenizer {
  explicit Tokenizer(int capacity = 4096, bool comments = false) : p(qelhtmlparser_create(capacity)) {
    qelhtmlparser_set_user_data(p, &rec);
    qelhtmlparser_set_characters_handler(p, Recorder::on_chars);
    qelhtmlparser_set_start_element_handler(p, Recorder::on_start);
    qelhtmlparser_set_end_element_handler(p, Recorder::on_end);
    qelhtmlparser_set_error_handler(p, Recorder::on_error);
    if (comments) qelhtmlparser_set_comment_handler(p, Recorder::on_comment);
  }
  ~Tokenizer() { qelhtmlparser_destroy(p); }
  Tokenizer(const Tokenizer&) = delete;
  Tokenizer& operator=(const Tokenizer&) = delete;

  std::vector<std::string> whole(const std::string& s) {
    qelhtmlparser_parse(p, s.data(), s.size());
    return rec.events;
  }
  std::vector<std::string> bytewise(const std::string& s) {
    for (char c : s) qelhtmlparser_parse(p, &c, 1);
    return rec.events;
  }

  Recorder rec;
  qelhtmlparser* p;
};

using Events = std::vector<std::string>;

// Both ways of feeding must give the same events.
void expect_events(const std::string& input, const Events& expected) {
  EXPECT_EQ(Tokenizer().whole(input), expected) << "whole: " << input;
  EXPECT_EQ(Tokenizer().bytewise(input), expected) << "bytewise: " << input;
}

TEST(Tokenizer, TagsAndTextWholeAndInPieces) {
  expect_events("a<b>c</b>", {"C:a", "S:b", "C:c", "E:b"});
  expect_events("<P>x</P >", {"S:P", "C:x", "E:P "});
  expect_events("x > y", {"C:x > y"});
}

TEST(Tokenizer, AttributeLists) {
  expect_events("<p align=center Title=\"x y\">", {"S:p align=[center] Title=[x y]"});
  expect_events("<td nowrap width=5>", {"S:td nowrap=[] width=[5]"});
  expect_events("<a href = 'q r' b>", {"S:a href=[q r] b=[]"});
  expect_events("<x a=\"1\"b=2 c>", {"S:x a=[1] b=[2] c=[]"});
  // A '>' inside single quotes ends the tag; inside double quotes it does not.
  expect_events("<x a='1>2'>", {"S:x a=[1]", "C:2'>"});
  expect_events("<x a=\"1>2\">", {"S:x a=[1>2]"});
  // An unmatched quote runs to the end of the tag text.
  expect_events("<x a='oops>", {"S:x a=[oops]"});
}

TEST(Tokenizer, AttributeValueEntities) {
  expect_events("<x v=\"a&amp;b&LT;c\">", {"S:x v=[a&b<c]"});
  expect_events("<x v=\"&#65;&#x42;&bogus;&#0;&&lt;\" n&amp;=1>", {"S:x v=[AB&bogus&#0&<] n&amp;=[1]"});
  expect_events("<x v=\"open &amp\">", {"S:x v=[open &amp]"});
}

TEST(Tokenizer, AutomaticAndSelfClosingEndTags) {
  expect_events("<br>x", {"S:br", "E:br", "C:x"});
  expect_events("<hr/>", {"S:hr", "E:hr"});
  expect_events("<img src=\"a.png\">text<b>", {"S:img src=[a.png]", "E:img", "C:text", "S:b"});
  expect_events("<img embed-encoding=uu src=a>data</img>", {"S:img embed-encoding=[uu] src=[a]", "C:data", "E:img"});
  expect_events("<img src=a embed-encoding=uu>x<b>", {"S:img src=[a] embed-encoding=[uu]", "E:img", "C:x", "S:b"});
  expect_events("<meta a=b><p>", {"S:meta a=[b]", "E:meta", "S:p"});
  expect_events("<!DOCTYPE html><html>", {"S:!DOCTYPE html=[]", "E:!DOCTYPE", "S:html"});
  // The owed end tag comes before text even when the text is flushed at an
  // entity or at the end of a piece: an image takes no content.
  expect_events("<img src=a>Tom &amp; Jerry", {"S:img src=[a]", "E:img", "C:Tom & Jerry"});
  Tokenizer t;
  t.whole("<img src=a>");
  EXPECT_EQ(t.whole("tail"), (Events{"S:img src=[a]", "E:img", "C:tail"}));
}

TEST(Tokenizer, AutomaticEndTagsCanBeSwitchedOff) {
  Tokenizer t;
  qelhtmlparser_set_auto_end(t.p, 0);
  EXPECT_EQ(t.whole("<br><img src=a>x"), (Events{"S:br", "S:img src=[a]", "C:x"}));
}

TEST(Tokenizer, Comments) {
  expect_events("a<!-- x -->b", {"C:ab"});  // no handler: nothing in between
  Tokenizer with(4096, true);
  EXPECT_EQ(with.whole("a<!-- x -->b<!--y--->"), (Events{"C:a", "M: x ", "C:b", "M:y-"}));
  expect_events("<td <!-- c --> width=3>", {"S:td width=[3]"});
  // Abandoned comment openings are put back into the tag text.
  expect_events("<a <!x>", {"S:a <!x=[]"});
  expect_events("<!x>", {"S:!x"});
  // A comment opening cut short by '>' does not leak into the next tag.
  expect_events("<a <!><b>", {"S:a", "S:b"});
}

TEST(Tokenizer, CommentsSplitAcrossPieces) {
  Tokenizer t(4096, true);
  EXPECT_EQ(t.bytewise("<!--ab-->c"), (Events{"M:ab--", "C:c"}));
}

TEST(Tokenizer, ScriptBodyIsRawText) {
  expect_events("<script>if (a<b) x=\"</p>\";</script>y", {"S:script", "C:if (a<b) x=\"</p>\";", "E:script", "C:y"});
  expect_events("<SCRIPT>a&amp;b</Script>&amp;", {"S:SCRIPT", "C:a&amp;b", "E:Script", "C:&"});
}

TEST(Tokenizer, ProcessingInstructionIsText) {
  expect_events("<?xml version=\"1.0\"?><p>", {"C:<?xml version=\"1.0\"?>", "S:p"});
}

TEST(Tokenizer, TextEntities) {
  expect_events("&lt;&amp;&#65;&#x42;&nbsp;", {"C:<&AB\xA0"});
  expect_events("&LT;", {"C:&LT"});
  expect_events("&foo bar.", {"C:&foo bar."});
  expect_events("a&#10;b", {"C:ab"});
  expect_events("&lt<b>", {"C:<", "S:b"});
  expect_events("&lt&gt;", {"C:<>"});
  expect_events("&ltx &frac12;", {"C:<x \xBD"});
  expect_events("&&x;", {"C:&&x"});
  expect_events("&#1234567890;", {"C:&#1234567890;"});
  expect_events("&abc<i>", {"C:&abc", "S:i"});
}

TEST(Tokenizer, OverlongTagsAreCut) {
  Tokenizer t(4096);
  const std::string name(5000, 'x');
  const Events events = t.whole("<" + name + ">");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], "S:" + std::string(4095, 'x'));
  EXPECT_EQ(t.rec.errors, 5000 - 4096 + 1);  // every byte past capacity, '>' included

  // A full end tag completes on the spot; the rest of it is text.
  Tokenizer small(4);
  EXPECT_EQ(small.whole("</abcdef>"), (Events{"E:abcd", "C:ef>"}));
}

TEST(Tokenizer, PositionsAndProlog) {
  Tokenizer t;
  t.whole("ab\ncd");
  EXPECT_EQ(qelhtmlparser_line(t.p), 2);
  EXPECT_EQ(qelhtmlparser_column(t.p), 3);

  Tokenizer p;
  qelhtmlparser_set_prolog_handler(p.p, Recorder::on_prolog);
  EXPECT_EQ(p.p->state, S_PROLOG);
  EXPECT_EQ(p.whole("junk<x>y"), (Events{"P:junk", "S:x", "C:y"}));
  EXPECT_EQ(qelhtmlparser_create(0), nullptr);
}

TEST(Tokenizer, Readers) {
  char path[] = "/tmp/tokenizerXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string doc;
  for (int i = 0; i < 300; ++i) doc += "<b>word</b> ";
  ASSERT_EQ(write(fd, doc.data(), doc.size()), static_cast<ssize_t>(doc.size()));
  close(fd);

  Tokenizer a;
  FILE* f = fopen(path, "r");
  EXPECT_EQ(qelhtmlparser_parse_file(a.p, f), static_cast<long>(doc.size()));
  fclose(f);
  Tokenizer b;
  const int rfd = open(path, O_RDONLY);
  EXPECT_EQ(qelhtmlparser_parse_fd(b.p, rfd), static_cast<long>(doc.size()));
  close(rfd);
  EXPECT_EQ(a.rec.events, Tokenizer().whole(doc));
  EXPECT_EQ(b.rec.events, a.rec.events);
  unlink(path);

  Tokenizer s;
  EXPECT_EQ(qelhtmlparser_parse_string(s.p, nullptr), 0u);
  EXPECT_EQ(qelhtmlparser_parse_string(s.p, "<i>"), 3u);
}

}  // namespace
