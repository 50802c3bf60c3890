// Unit tests of the datasets a batch finds: which, in what order, at which line, and that
// the reader loads each from its place exactly as velquin loads it by its id.
#include "batch_index.h"

#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>

#include "crv_reader.h"
#include "models.h"
#include "program_run.h"
#include "show_err.h"

namespace {

// "id:line" per dataset, "!" when a refused line comes before it, "?" when missing; then
// the repeated ids after "|".
std::string datasets_of(const std::string &content, const char *list) {
  temp_dir dir;
  dir.write("d.crv", content);
  reset_index();
  testing::internal::CaptureStdout();
  if (list != nullptr && !parse_id_list(list)) {
    testing::internal::GetCapturedStdout();
    return "bad list";
  }
  std::string got;
  if (index_open(dir.file("d.crv").c_str())) {
    batch_dataset ds;
    while (index_next(&ds) == 1) {
      got += std::to_string(ds.id) + ":" + std::to_string(ds.at.lineNo) +
             (ds.at.refusedLine ? "!" : "") + (ds.at.missing ? "?" : "") + " ";
    }
  }
  testing::internal::GetCapturedStdout();
  got += "|";
  for (int i = 0; i < duplicate_count(); i++) got += " " + std::to_string(duplicate_id(i));
  return got;
}

TEST(index_next, finds_the_datasets_velquin_can_select) {
  const std::string longLine(300, '1');
  const struct {
    const char *name;
    std::string content;
    const char *list;
    const char *expected;
  } rows[] = {
      {"ids in file order", "# c\n3\n1 2\n1 2\n7.9\n1 2\n", nullptr, "3:2 7:5 |"},
      {"data before the first id line are dataset 0", "\n1 2\n3 4\n5\n1 2\n", nullptr, "0:0 5:4 |"},
      {"a first line of text is dataset 0", "x y z\n2\n1 2\n", nullptr, "0:0 2:2 |"},
      {"an id line of 0 is none", "0\n1 2\n4\n1 2\n", nullptr, "4:3 |"},
      {"a repeated id is read once and named once", "1\n1 2\n1\n1 2\n2\n1\n", nullptr,
       "1:1 2:5 | 1"},
      {"a long line refuses what follows it", "1\n" + longLine + "\n2\n#" + longLine + "\n",
       nullptr, "1:1 2:3! |"},
      {"CR-LF lines", "\r\n4\r\n1 2\r\n\r\n6 \r\n", nullptr, "4:2 6:5 |"},
      {"comments are no id lines", "#5\n!6\n 7\n", nullptr, "7:3 |"},
      {"a list in its own order", "1\n1 2\n2\n3 4\n" + longLine + "\n9\n", "9,0,2-3,1,4",
       "9:6! 0:0 2:3 1:1 4:0!? |"},
      {"a list names the repeated ids it holds", "1\n2\n1\n2\n", "2", "2:2 | 2"},
      {"negative ids", "-5\n1 2\n", "-6,-6--5", "-6:0? -5:1 |"},
      {"a range takes the file's ids in it, in file order", "5\n1 2\n1\n1 2\n3\n1 2\n", "1-1000000",
       "5:1 1:3 3:5 |"},
      {"the widest range", "7\n1 2\n", "-2147483648-2147483647", "7:1 |"},
      {"ranges and ids mixed and overlapping", "5\n1 2\n1\n1 2\n3\n1 2\n", "4,3-5,1-3,3",
       "4:0? 5:1 3:5 1:3 3:5 3:5 |"},
      {"a range holds the data before the first id line", "1 2\n3 4\n5\n1 2\n", "-1-1,0",
       "0:0 0:0 |"},
      {"a range that the file has no id of", "5\n1 2\n", "10-20,30-40", "|"},
      {"a bad list", "", "3,,4", "bad list"},
      {"a list beyond the int range", "", "1-2147483648", "bad list"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(datasets_of(row.content, row.list), row.expected);
  }
}

// Every dataset found loads from its place as velquin loads it by its id: the same points,
// or the same report.
TEST(read_crv_at, loads_each_dataset_as_read_crv_data_does) {
  temp_dir dir;
  std::string content = "0 1\n1 2\n# c\n1\n1 2 3\n4 5 6\n\n2\n1 2\nx\n3\n5\n4\n1 2\n3 4\r\n";
  content += "7\n" + std::string(300, '2') + "\n8\n1 2\n2 3\n";
  dir.write("d.crv", content);
  std::string path = dir.file("d.crv");
  reset_index();
  errQuiet = 1;
  ASSERT_EQ(index_open(path.c_str()), 1);
  FILE *fp = fopen(path.c_str(), "r");
  batch_dataset ds;
  int found = 0;
  static double x[2][MAX_POINTS], y[2][MAX_POINTS], t[2][MAX_POINTS];
  while (index_next(&ds) == 1) {
    found++;
    int n[2] = {-1, -1}, c[2] = {-1, -1};
    std::string message[2];
    int ok[2];
    errMessage[0] = '\0';
    ok[0] = read_crv_data(path.c_str(), ds.id, x[0], y[0], t[0], &n[0], &c[0]);
    message[0] = errMessage;
    errMessage[0] = '\0';
    if (ds.at.refusedLine != 0) {
      ok[1] = 0;
      message[1] = "Line " + std::to_string(ds.at.refusedLine) + " is too long\n";
    } else {
      ok[1] = read_crv_at(fp, path.c_str(), ds.id, &ds.at, x[1], y[1], t[1], &n[1], &c[1]);
      message[1] = errMessage;
    }
    SCOPED_TRACE(ds.id);
    EXPECT_EQ(ok[1], ok[0]);
    EXPECT_EQ(message[1], message[0]);
    EXPECT_EQ(n[1], n[0]);
    EXPECT_EQ(c[1], c[0]);
    for (int i = 0; ok[0] && i < n[0]; i++) {
      EXPECT_EQ(x[1][i], x[0][i]);
      EXPECT_EQ(y[1][i], y[0][i]);
      if (c[0] == 3) {
        EXPECT_EQ(t[1][i], t[0][i]);
      }
    }
  }
  errQuiet = 0;
  fclose(fp);
  EXPECT_EQ(found, 8);  // 0, 1, 2, 3, 5, 4, 7, 8
}

// A list's count is known once the file has been read: an id alone counts once, found or
// not, a range as many times as the file has ids in it.
TEST(index_total, counts_what_a_list_selects) {
  temp_dir dir;
  dir.write("d.crv", "5\n1 2\n1\n1 2\n3\n1 2\n");
  reset_index();
  ASSERT_EQ(parse_id_list("4,1-3,2-1000"), 1);
  ASSERT_EQ(index_open(dir.file("d.crv").c_str()), 1);
  EXPECT_EQ(index_total(), -1);
  batch_dataset ds;
  int n = 0;
  while (index_next(&ds) == 1) n++;
  EXPECT_EQ(n, 5);  // 4, then 1 and 3, then 5 and 3
  EXPECT_EQ(index_total(), 5);
  reset_index();
}

}  // namespace
