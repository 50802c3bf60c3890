// Unit tests of a block of results: each kind of text packed end to end in its own area, a
// block taking datasets until an area could not take the largest text of its kind.
#include "batch_block.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

namespace {

TEST(block_areas, lie_one_after_the_other_in_the_bytes) {
  int end = 0;
  for (int t = 0; t < BLOCK_TEXTS; t++) {
    SCOPED_TRACE(t);
    EXPECT_EQ(block_areas[t].offset, end);
    EXPECT_GE(block_areas[t].size, 2 * block_areas[t].item);  // room for more than one
    end += block_areas[t].size;
  }
  EXPECT_EQ(end, BLOCK_BYTES);
}

TEST(block_add, packs_each_text_end_to_end_until_an_area_is_full) {
  const struct {
    const char *name;
    int len[BLOCK_TEXTS];  // of each dataset's report, row and log
  } rows[] = {
      {"tiny datasets fill the entries", {1, 1, 1}},
      {"the largest reports fill their area", {REPORT_SIZE, 10, 10}},
      {"the longest rows fill theirs", {10, ROW_SIZE, 10}},
      {"the longest logs fill theirs", {10, 10, LOG_SIZE}},
      {"a report that did not fit its buffer takes no byte", {-1, 5, 7}},
  };
  static out_block b;
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    block_start(&b, 1000);
    int n = 0;
    for (; block_has_room(&b); n++) {
      for (int t = 0; t < BLOCK_TEXTS; t++) {
        memset(block_text(&b, t), 'a' + n % 26, (size_t)std::max(r.len[t], 0));
      }
      block_add(&b, n + 1, BATCH_OK, r.len);
    }
    EXPECT_EQ(b.first, 1000);
    EXPECT_EQ(b.count, n);
    // Full: the entries, or an area without room for the largest text of its kind; one
    // dataset fewer left room in each.
    int full = n == BLOCK_DATASETS, roomBefore = 1;
    for (int t = 0; t < BLOCK_TEXTS; t++) {
      full |= block_bytes(&b, t, n) + block_areas[t].item > block_areas[t].size;
      roomBefore &= block_bytes(&b, t, n - 1) + block_areas[t].item <= block_areas[t].size;
    }
    EXPECT_TRUE(full);
    EXPECT_TRUE(roomBefore);
    for (int t = 0; t < BLOCK_TEXTS; t++) {
      long long each = std::max(r.len[t], 0);
      EXPECT_EQ(block_bytes(&b, t, n), each * n);
      for (int i = 0; i < n; i += 97) {
        EXPECT_EQ(b.entry[i].id, i + 1);
        EXPECT_EQ(b.entry[i].len[t], r.len[t]);
        const char *text = block_texts(&b, t) + block_bytes(&b, t, i);
        for (long long k : {0LL, each - 1}) {
          if (k >= 0 && k < each) {
            EXPECT_EQ(text[k], 'a' + i % 26) << "text " << t << ", dataset " << i;
          }
        }
      }
    }
  }
}

}  // namespace
