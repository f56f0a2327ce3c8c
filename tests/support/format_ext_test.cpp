// The %p extensions of the formatting engine: addresses and escaped text.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <string>

#include "support/format_helpers.h"
#include "support/qelformat.h"

namespace {

using format_testing::fmt;

const char* const kNull = nullptr;

TEST(FormatAddresses, PointersAndIPv4) {
  EXPECT_EQ(fmt("%pp|%p|%p.", reinterpret_cast<void*>(0xbeef12), reinterpret_cast<void*>(0xab), nullptr),
            "beef12|ab|0.");
  in_addr address{};
  inet_pton(AF_INET, "192.168.10.254", &address);
  EXPECT_EQ(fmt("%pA|%.6pA|%16pA|%-16pA|", &address, &address, &address, &address),
            "192.168.10.254|192.16|  192.168.10.254|192.168.10.254  |");
  sockaddr_in socket_address{};
  socket_address.sin_family = AF_INET;
  socket_address.sin_port = htons(8080);
  inet_pton(AF_INET, "127.0.0.1", &socket_address.sin_addr);
  EXPECT_EQ(fmt("%pI|%.9pI", &socket_address, &socket_address), "127.0.0.1:8080|127.0.0.1");
  EXPECT_EQ(fmt("%pA|%pI", kNull, kNull), "(null)|(null)");
}

TEST(FormatEscapes, Html) {
  EXPECT_EQ(fmt("%pl", "a <b> & \"c\" 'd'"), "a &lt;b&gt; &amp; &quot;c&quot; 'd'");
  EXPECT_EQ(fmt("%pl|%pL|%pR|%pL", "", "", "", "x"), "|&nbsp;|&nbsp;|x");
  EXPECT_EQ(fmt("%pr", "a\nb   c  d"), "a<br>b &nbsp; c &nbsp;d");
  // The space run carries over from one %pr to the next within a call and
  // starts afresh with every call.
  EXPECT_EQ(fmt("%pr|%pr", "a ", " b"), "a |&nbsp;b");
  EXPECT_EQ(fmt("%pr", " b"), " b");
  EXPECT_EQ(fmt("%pr", " x"), " x");
  // Width counts source characters; precision limits them.
  EXPECT_EQ(fmt("%8pl|%-8pl|%.2pl|%.0pL", "<>", "<>", "<>&", "abc"), "      &lt;&gt;|&lt;&gt;      |&lt;&gt;|&nbsp;");
  EXPECT_EQ(fmt("%pl|%pL|%pr|%px|%pe|%pq|%pjS", kNull, kNull, kNull, kNull, kNull, kNull, kNull),
            "(null)|(null)|(null)|(null)|(null)|(null)|(null)");
}

TEST(FormatEscapes, UrlAndXml) {
  EXPECT_EQ(fmt("%pe", "a-b.c_d e/f?g=h&\xe9~"), "a-b.c_d+e%2Ff%3Fg%3Dh%26%E9%7E");
  EXPECT_EQ(fmt("%px", "<a href='x'>\"&\"</a>"), "&lt;a href=&apos;x&apos;&gt;&quot;&amp;&quot;&lt;/a&gt;");
  EXPECT_EQ(fmt("%px", "t\tn\n\x7f\xff~ "), "t&#x09;n&#x0A;&#x7F;&#xFF;~ ");
}

TEST(FormatEscapes, JavaScript) {
  const char* text = "say \"hi\"\r\n'back\\slash'";
  EXPECT_EQ(fmt("%pjS", text), "say \\\"hi\\\"\\r\\n'back\\\\slash'");
  EXPECT_EQ(fmt("%pjs", text), "say \"hi\"\\r\\n\\'back\\\\slash\\'");
  EXPECT_EQ(fmt("%pje", "a b'c/d-e.f_g\n"), "a+b\\'c\\x252Fd-e.f_g\\x250A");
  EXPECT_EQ(fmt("%pjl", "<a title='x'>\n&\"\\"), "&lt;a title=\\'x\\'&gt;\\n&amp;&quot;\\\\");
  // An unknown JavaScript variant consumes its text and writes nothing.
  EXPECT_EQ(fmt("[%pjq][%d]", "text", 5), "[][5]");
  EXPECT_EQ(fmt("[%pj", "text"), "[");
}

TEST(FormatEscapes, CutOutputStaysTerminated) {
  char b[6];
  EXPECT_EQ(QELSnprintf(b, sizeof b, "%pl", "<<<"), 6);
  EXPECT_STREQ(b, "&lt;&");
}

}  // namespace
