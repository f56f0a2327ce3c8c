// Bounded copy and concatenation: truncation shows only in the result and
// nothing is written past the given size.
#include "support/qelstring.h"

#include <cstring>
#include <gtest/gtest.h>

TEST(Strlcpy, CutsToSizeAndAnswersSourceLength) {
  char small[8];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(qel_strlcpy(small, "abcdef", 5), 6u);
  EXPECT_STREQ(small, "abcd");
  EXPECT_EQ(small[5], 'x');

  char exact[7];
  EXPECT_EQ(qel_strlcpy(exact, "abcdef", sizeof exact), 6u);
  EXPECT_STREQ(exact, "abcdef");

  char untouched = 'q';
  EXPECT_EQ(qel_strlcpy(&untouched, "abc", 0), 3u);
  EXPECT_EQ(untouched, 'q');
}

TEST(Strlcat, AppendsWithinSize) {
  char buffer[4] = "ab";
  EXPECT_EQ(qel_strlcat(buffer, "cde", sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "abc");

  char full[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(qel_strlcat(full, "cde", sizeof full), 7u);
  EXPECT_EQ(std::memcmp(full, "wxyz", 4), 0);

  char roomy[16] = "ab";
  EXPECT_EQ(qel_strlcat(roomy, "cde", sizeof roomy), 5u);
  EXPECT_STREQ(roomy, "abcde");
}
