// Tests of the readers of files.cc from memory against the same readers from a stream, on
// the same bytes.
#include "files.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace {

// The lines of text as read_whole_line (memory 0) or read_whole_line_mem (memory 1) gives
// them with a buffer of size bytes: for each, the result, the length, the bytes taken and
// the buffer's bytes up to the terminator.
std::string lines_of(int memory, const std::string &text, int size) {
  FILE *fp = fmemopen((void *)text.data(), text.size(), "r");
  const char *at = text.data(), *end = text.data() + text.size();
  std::string got;
  char buf[64];
  for (int got_line = LINE_READ; got_line != LINE_END && got_line != LINE_ERROR;) {
    int len = -1;
    long long taken = -1;
    memset(buf, 'Z', sizeof buf);
    got_line = memory ? read_whole_line_mem(&at, end, buf, size, &len, &taken)
                      : read_whole_line(fp, buf, size, &len, &taken, NULL);
    got += std::to_string(got_line) + "/" + std::to_string(len) + "/" + std::to_string(taken) +
           ":" + std::string(buf, (size_t)len + 1) + "|";
  }
  if (fp != NULL) fclose(fp);
  return got;
}

TEST(read_whole_line_mem, gives_what_read_whole_line_gives_from_a_stream) {
  const std::string texts[] = {
      "",
      "\n",
      "a",
      "a\n",
      "ab\nc",
      "abc\n\n\nd\n",
      std::string("a\0b\n\0\n", 6),
      "1 2\r\n3 4\r\n",
      "abcdefgh\nabcdefg\nabcdef\n",
      "abcdefghijkl",
      "x\n" + std::string(70, 'y'),
  };
  for (const std::string &text : texts) {
    for (int size : {1, 2, 7, 8, 9, 64}) {
      SCOPED_TRACE(testing::Message() << "size " << size << ", text \"" << text << "\"");
      EXPECT_EQ(lines_of(1, text, size), lines_of(0, text, size));
    }
  }
  // Every text of up to six bytes from an alphabet of line ends, NUL and letters.
  const char alphabet[] = {'\n', '\0', 'a', '\r'};
  for (int n = 0; n <= 6; n++) {
    int count = 1 << (2 * n);
    for (int k = 0; k < count; k++) {
      std::string text;
      for (int i = 0; i < n; i++) text += alphabet[(k >> (2 * i)) & 3];
      for (int size : {1, 2, 3, 4}) {
        ASSERT_EQ(lines_of(1, text, size), lines_of(0, text, size)) << k << " " << n << " " << size;
      }
    }
  }
}

TEST(skip_bom_mem, skips_what_skip_bom_skips) {
  const std::string texts[] = {"",
                               "\xEF",
                               "\xEF\xBB",
                               "\xEF\xBB\xBF",
                               "\xEF\xBB\xBF"
                               "1 2\n",
                               "\xEF\xBB"
                               "1",
                               "\xBB\xBF",
                               "1\xEF\xBB\xBF",
                               "abc"};
  for (const std::string &text : texts) {
    SCOPED_TRACE(text);
    FILE *fp = fmemopen((void *)text.data(), text.size(), "r");
    ASSERT_NE(fp, nullptr);
    int skipped = skip_bom(fp);
    std::string rest;
    for (int c; (c = getc(fp)) != EOF;) rest += (char)c;
    fclose(fp);
    const char *at = text.data();
    EXPECT_EQ(skip_bom_mem(&at, text.data() + text.size()), skipped);
    EXPECT_EQ(std::string(at, text.data() + text.size()), rest);
  }
}

}  // namespace
