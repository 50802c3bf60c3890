// Unit tests of a batch's parts: over many batch sizes and part counts, the parts hand out
// every dataset of the batch once, in batch order, in runs whose sizes differ by at most
// one; and the --part value and the join of part tables refuse what they must.
#include "batch_part.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "batch_join.h"
#include "batch_table.h"
#include "models.h"
#include "program_run.h"
#include "show_err.h"

namespace {

// A file of n datasets whose ids have gaps, with data of its own before the first id line
// (dataset 0) when n is odd, and dataset 1 repeated at the end.
std::string file_of(int n) {
  std::string s = n % 2 == 1 ? "0 1\n1 2\n" : "";
  for (int d = n % 2; d < n; d++) s += std::to_string(d * 3 + d % 2 + 1) + "\n0 1\n1 2\n";
  if (n > 2) s += "1\n5 6\n";
  return s;
}

// The ids that part_next hands out for part k of n (0 of 0: the whole batch).
std::vector<int> part_ids(const std::string &path, const char *list, int k, int n) {
  reset_index();
  set_part(k, n);
  std::vector<int> ids;
  if (list != nullptr) {
    EXPECT_EQ(parse_id_list(list), 1);
  }
  EXPECT_EQ(index_open(path.c_str()), 1);
  batch_dataset ds;
  while (part_next(&ds) == 1) ids.push_back(ds.id);
  return ids;
}

TEST(part_next, parts_cover_the_batch_once_in_order_with_sizes_within_one) {
  const int sizes[] = {0, 1, 2, 3, 4, 5, 7, 10, 16, 31, 64, 100, 101};
  const int counts[] = {1, 2, 3, 4, 5, 7, 10, 16, 33, 150};
  const char *lists[] = {nullptr, "7-40,0,3,3,1000"};
  temp_dir dir;
  for (int size : sizes) {
    dir.write("d.crv", file_of(size));
    std::string path = dir.file("d.crv");
    for (const char *list : lists) {
      std::vector<int> whole = part_ids(path, list, 0, 0);
      int batch = batch_count();
      for (int n : counts) {
        SCOPED_TRACE("size " + std::to_string(size) + (list ? " listed" : "") + ", " +
                     std::to_string(n) + " parts");
        std::vector<int> joined;
        int smallest = batch, largest = 0;
        for (int k = 0; k < n; k++) {
          std::vector<int> ids = part_ids(path, list, k, n);
          EXPECT_EQ(part_total(), (int)ids.size());
          EXPECT_EQ(batch_count(), batch);
          smallest = std::min(smallest, (int)ids.size());
          largest = std::max(largest, (int)ids.size());
          joined.insert(joined.end(), ids.begin(), ids.end());
        }
        EXPECT_EQ(joined, whole);
        EXPECT_LE(largest - smallest, 1);
      }
    }
  }
  reset_index();
  reset_part();
}

TEST(parse_part, takes_k_of_n_and_refuses_anything_else) {
  const struct {
    const char *text;
    int ok;
  } rows[] = {
      {"0/1", 1},  {"3/20", 1}, {"19/20", 1}, {"0/2147483647", 1}, {"20/20", 0}, {"1/0", 0},
      {"-1/3", 0}, {"+1/3", 0}, {" 1/3", 0},  {"1 /3", 0},         {"1/3x", 0},  {"1/", 0},
      {"/3", 0},   {"", 0},     {"1-3", 0},   {"0/2147483648", 0}, {"1/3/4", 0}, {"0x1/3", 0},
  };
  errQuiet = 1;
  for (const auto &row : rows) {
    SCOPED_TRACE(row.text);
    errMessage[0] = '\0';
    EXPECT_EQ(parse_part(row.text), row.ok);
    std::string expected =
        std::string("Invalid part ") + row.text + ": K/N, K from 0 to N-1, such as 3/20\n";
    EXPECT_EQ(errMessage, row.ok ? "" : expected);
  }
  errQuiet = 0;
  reset_part();
}

TEST(join_tables, refuses_parts_that_would_not_make_a_whole_table) {
  fill_catalogue();
  char buf[ROW_SIZE];
  const std::string h0(buf, table_header(buf, sizeof buf, 0));
  const std::string h4(buf, table_header(buf, sizeof buf, 4));
  const std::string row = "1\tok\t3\t0.5\t1\t0\t2\t0\t\n";
  const struct {
    const char *name;
    std::string second;  // the content of b.tsv; a.tsv is a whole table of model 0
    std::string message;
  } rows[] = {
      {"another model", h4 + row, "Part table b.tsv has another header than a.tsv\n"},
      {"a last row cut short", h0 + row.substr(0, 9),
       "Part table b.tsv is not whole: its last line has no line feed\n"},
      {"a header cut short", h0.substr(0, 12),
       "Part table b.tsv is not whole: its last line has no line feed\n"},
      {"an empty file", "", "Part table b.tsv is empty\n"},
      {"no table", "1\n0 1\n1 2\n",
       "Part table b.tsv does not begin with the header of a velbatch table\n"},
      {"a line longer than any header", std::string(3000, 'x') + "\n",
       "Part table b.tsv does not begin with the header of a velbatch table\n"},
  };
  temp_dir dir;
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  dir.write("a.tsv", h0 + row);
  errQuiet = 1;
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    dir.write("b.tsv", r.second);
    dir.write("out.tsv", "earlier\n");
    char *parts[] = {(char *)"a.tsv", (char *)"b.tsv"};
    errMessage[0] = '\0';
    EXPECT_EQ(join_tables("out.tsv", parts, 2), 0);
    EXPECT_EQ(errMessage, r.message);
    EXPECT_EQ(dir.read("out.tsv"), "earlier\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.tsv", "b.tsv", "out.tsv"}));
  }
  char *parts[] = {(char *)"a.tsv", (char *)"./out.tsv", (char *)"none.tsv"};
  errMessage[0] = '\0';
  EXPECT_EQ(join_tables("out.tsv", parts, 2), 0);
  EXPECT_STREQ(errMessage, "Output file out.tsv is the part table ./out.tsv\n");
  EXPECT_EQ(join_tables("new.tsv", parts + 2, 1), 0);
  EXPECT_STREQ(errMessage, "Unable to open part table none.tsv\n");
  EXPECT_EQ(join_tables("none/new.tsv", parts, 1), 0);
  EXPECT_STREQ(errMessage, "Unable to open output file none/new.tsv");
  dir.write("b.tsv", h0);
  EXPECT_EQ(join_tables("new.tsv", parts, 1), 1);
  char *twice[] = {(char *)"a.tsv", (char *)"b.tsv", (char *)"a.tsv"};
  EXPECT_EQ(join_tables("new.tsv", twice, 3), 1);
  EXPECT_EQ(dir.read("new.tsv"), h0 + row + row);
  errQuiet = 0;
  ASSERT_EQ(chdir("/"), 0);
}

}  // namespace
