// Tests of read_crv_data: which lines make a dataset, where it ends, and the reports
// for files it refuses.
#include "crv_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "cli.h"
#include "program_run.h"
#include "run_state.h"
#include "velquin_texts.h"

namespace {

struct point {
  double x, y, t;
};

struct load_result {
  int ok;
  int count;
  int columns;
  std::vector<point> points;
  std::string out;  // what the reader printed
};

load_result load_path(const std::string &path, int id) {
  static double x[MAX_POINTS], y[MAX_POINTS], t[MAX_POINTS];
  for (int i = 0; i < MAX_POINTS; i++) x[i] = y[i] = t[i] = -7.0;
  load_result r{0, -1, -1, {}, ""};
  testing::internal::CaptureStdout();
  r.ok = read_crv_data(path.c_str(), id, x, y, t, &r.count, &r.columns);
  r.out = testing::internal::GetCapturedStdout();
  for (int i = 0; r.ok && i < r.count; i++) r.points.push_back({x[i], y[i], t[i]});
  return r;
}

load_result load(const std::string &content, int id) {
  temp_dir dir;
  dir.write("data.crv", content);
  return load_path(dir.file("data.crv"), id);
}

std::string warning(const std::string &message) { return frame(false, "read_crv_data", message); }

std::string points_text(const std::vector<point> &pts, int columns) {
  std::string s;
  for (const point &p : pts) {
    char buf[100];
    if (columns == 3) {
      snprintf(buf, sizeof buf, "(%g %g %g)", p.x, p.y, p.t);
    } else {
      snprintf(buf, sizeof buf, "(%g %g)", p.x, p.y);
    }
    s += buf;
  }
  return s;
}

const char two_sets[] = "1\n1.0 2.0\n3.0 4.0\n2\n5.0 6.0\n7.0 8.0\n";

struct load_case {
  const char *name;
  std::string content;
  int id;
  int columns;         // 0 when the load must fail
  std::string points;  // as points_text prints them
};

TEST(read_crv_data, loads_the_requested_dataset) {
  const load_case cases[] = {
      {"second id", two_sets, 2, 2, "(5 6)(7 8)"},
      {"next id line ends the first", two_sets, 1, 2, "(1 2)(3 4)"},
      {"file without id lines, id 0", "1 2\n3 4\n5 6\n", 0, 2, "(1 2)(3 4)(5 6)"},
      {"comments and empty lines inside the data", "# c\n1 2\n\n# d\n3 4\n! e\n5 6\n", 0, 2,
       "(1 2)(3 4)(5 6)"},
      {"a number followed by text ends the data", "1 2\n3 4\n5.0 text\n7 8\n", 0, 2, "(1 2)(3 4)"},
      {"id line read as atoi reads it", "7.9\n1 2\n3 4\n", 7, 2, "(1 2)(3 4)"},
      {"id with leading zeros and sign", "+007\n1 2\n3 4\n", 7, 2, "(1 2)(3 4)"},
      {"three words are no id line", "7 # seven\n1 2\n7\n3 4\n5 6\n", 7, 2, "(3 4)(5 6)"},
      {"four numbers make three columns", "1 2 3 4\n5 6 7\n", 0, 3, "(1 2 3)(5 6 7)"},
      {"a third value in two-column data is ignored", "1 2\n1 2 3\n", 0, 2, "(1 2)(1 2)"},
      {"negative dataset id", "-3\n1 2\n3 4\n", -3, 2, "(1 2)(3 4)"},
      {"CR-LF line ends", "# title\r\n1\r\n1 2\r\n\r\n3 4\r\n", 1, 2, "(1 2)(3 4)"},
      {"blank and tab lines are empty lines", "1 2\n  \t \n3 4\n \r\n", 0, 2, "(1 2)(3 4)"},
      {"bang lines are comments", "! from a converter\n1 2\n!x\n3 4\n", 0, 2, "(1 2)(3 4)"},
      {"bang line never matches an id", "!5\n5\n1 2\n3 4\n", 5, 2, "(1 2)(3 4)"},
      {"last line without line feed", "1 2\n3 4", 0, 2, "(1 2)(3 4)"},
      {"numbers of any form", "1e3 -0\n-1.5E-2 +.5\n", 0, 2, "(1000 -0)(-0.015 0.5)"},
      {"an id beyond the int range is not wrapped round", "4294967297\n9 9\n9 9\n1\n1 2\n3 4\n", 1,
       2, "(1 2)(3 4)"},
      {"a byte order mark before the first id line",
       "\xEF\xBB\xBF"
       "4\r\n1 2\r\n3 4\r\n",
       4, 2, "(1 2)(3 4)"},
      {"a byte order mark before dataset 0",
       "\xEF\xBB\xBF"
       "1 2\n3 4\n",
       0, 2, "(1 2)(3 4)"},
      {"a mark before a line of 255 characters",
       "\xEF\xBB\xBF"
       "1 2" +
           std::string(251, ' ') + "\n3 4\n",
       0, 2, "(1 2)(3 4)"},
  };
  for (const load_case &c : cases) {
    SCOPED_TRACE(c.name);
    load_result r = load(c.content, c.id);
    ASSERT_EQ(r.ok, 1) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.columns, c.columns);
    EXPECT_EQ(points_text(r.points, r.columns), c.points);
  }
}

// A fit without a finite RMSE names the data line that caused it: the first line of the
// dataset loaded that holds nan or inf, counted as every report counts lines.
TEST(read_crv_data, keeps_the_first_line_without_a_finite_value) {
  const struct {
    const char *name;
    std::string content;
    int id;
    int line;
  } rows[] = {
      {"finite values", "1 2\n3 4\n", 0, 0},
      {"nan as y", "# c\n1 2\n3 nan\n5 inf\n", 0, 3},
      {"inf as x after a mark",
       "\xEF\xBB\xBF"
       "1\n-inf 2\n3 4\n",
       1, 2},
      {"nan as the third column", "1 2 3\n4 5 -nan\n", 0, 2},
      {"each load on its own", "1\n1 nan\n3 4\n2\n1 2\n3 4\n", 2, 0},
      {"a comment holds no value", "1 2\n# nan\n3 4\n", 0, 0},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    load(r.content, 1);  // another load first: its line is forgotten
    ASSERT_EQ(load(r.content, r.id).ok, 1);
    EXPECT_EQ(nanDataLine, r.line);
  }
}

struct refusal_case {
  const char *name;
  std::string content;
  int id;
  std::string message;
};

TEST(read_crv_data, refuses_files_without_a_usable_dataset) {
  std::string long_comment = "#" + std::string(1000, 'c') + "\n";
  std::string line254 = "1 2" + std::string(251, ' ') + "\n";  // 254 characters and the feed
  std::string line255 = "1 2" + std::string(252, ' ') + "\n";
  const refusal_case cases[] = {
      {"id 0 reads the id line as data", two_sets, 0, "Num of data columns must be 2 or 3"},
      {"missing id", two_sets, 3, "Unable to find Dataset ID = 3\n"},
      {"id 0 in an empty file", "", 0, "No valid data lines."},
      {"id 0, only comments", "# a\n\n! b\n  \n", 0, "No valid data lines."},
      {"id on the last line", "1 2\n3 4\n9\n", 9, "No valid data lines after id found."},
      {"only comments after the id", "9\n# a\n\n", 9, "No valid data lines after id found."},
      {"id line followed by the next id", "1\n2\n1 2\n3 4\n", 1,
       "Num of data columns must be 2 or 3"},
      {"text as first data line", "hello world\n1 2\n", 0, "Num of data columns must be 2 or 3"},
      {"text inside the data", "# h\n1 2\n3 4\nabc def\n5 6\n", 0, "Invalid data line 4\n"},
      {"two numbers in three-column data", "1 2 3\n4 5\n", 0, "Invalid data line 2\n"},
      {"a line of a vertical tab inside the data", "1 2\n\v\n3 4\n", 0, "Invalid data line 2\n"},
      {"line numbers count every line", "\n# x\n5\n\n1 2\n\n-\n", 5, "Invalid data line 7\n"},
      {"255 characters and a feed", "1 2\n" + line255, 0, "Line 2 is too long\n"},
      {"long line while searching the id", "# a\n" + line255 + "5\n1 2\n3 4\n", 5,
       "Line 2 is too long\n"},
      {"long first data line", line255 + "1 2\n", 0, "Line 1 is too long\n"},
      {"long comment while searching the id", long_comment + "5\n1 2\n" + line255, 5,
       "Line 4 is too long\n"},
      {"a line beginning with a NUL byte", std::string("1 2\n\0junk\n3 4\n", 14), 0,
       "Invalid data line 2\n"},
      {"long line after an accepted one", line254 + "1 2\n" + line255, 0, "Line 3 is too long\n"},
      {"long comment then long data", long_comment + "1 2\n3 4\n" + std::string(300, '5') + "\n", 0,
       "Line 4 is too long\n"},
      {"a mark is only skipped at the start",
       "1 2\n\xEF\xBB\xBF"
       "3 4\n",
       0, "Invalid data line 2\n"},
      {"line numbers count from the line after a mark",
       "\xEF\xBB\xBF"
       "\n5\n1 2\nx y\n",
       5, "Invalid data line 4\n"},
      {"part of a mark is data",
       "\xEF\xBB"
       "1 2\n",
       0, "Num of data columns must be 2 or 3"},
  };
  for (const refusal_case &c : cases) {
    SCOPED_TRACE(c.name);
    load_result r = load(c.content, c.id);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.count, -1);  // out-parameters untouched
    EXPECT_EQ(r.columns, -1);
    EXPECT_EQ(r.out, warning(c.message));
  }
}

TEST(read_crv_data, lines_are_taken_whole) {
  // A comment of any length is skipped whole; a data line of 254 characters and its
  // line feed fits, and so does a last line of 255 characters without one.
  std::string long_comment = "#" + std::string(5000, '1') + " 2\n";
  std::string line254 = "1 2" + std::string(251, ' ') + "\n";
  std::string last255 = "3 4" + std::string(252, ' ');
  load_result r = load(long_comment + line254 + "!" + std::string(300, '9') + "\n" + last255, 0);
  ASSERT_EQ(r.ok, 1) << r.out;
  EXPECT_EQ(points_text(r.points, 2), "(1 2)(3 4)");
}

std::string points_file(int n, const std::string &tail) {
  std::string s = "# head\n";
  for (int i = 0; i < n; i++) s += std::to_string(i) + " " + std::to_string(2 * i) + "\n";
  return s + tail;
}

TEST(read_crv_data, full_dataset_loads_whatever_follows) {
  const char *tails[] = {"", "# after\n", "\n", "2\n1 2\n3 4\n", "7\n"};
  for (const char *tail : tails) {
    SCOPED_TRACE(tail);
    load_result r = load(points_file(MAX_POINTS, tail), 0);
    ASSERT_EQ(r.ok, 1) << r.out;
    EXPECT_EQ(r.count, MAX_POINTS);
    EXPECT_EQ(r.points.back().x, MAX_POINTS - 1);
    EXPECT_EQ(r.points.back().y, 2 * (MAX_POINTS - 1));
  }
}

TEST(read_crv_data, unreadable_files_are_warnings) {
  temp_dir dir;
  const struct {
    std::string path, message;
  } rows[] = {
      {"/nonexistent/data.crv", "Unable to open file /nonexistent/data.crv\n"},
      {dir.path(),
       "Unable to read file " + dir.path() + "\n"},  // a folder opens but cannot be read
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.path);
    load_result r = load_path(row.path, 0);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.count, -1);
    EXPECT_EQ(r.out, warning(row.message));
  }
}

TEST(read_crv_data, point_count_limits_are_fatal_reports) {
  const struct {
    const char *name;
    std::string content;
    int id;
    const char *message;
  } rows[] = {
      {"1501 points", points_file(MAX_POINTS + 1, ""), 0, "Error, Max data points exceeds 1500\n"},
      {"1500 points and one more", points_file(MAX_POINTS, "1 2\n"), 0,
       "Error, Max data points exceeds 1500\n"},
      {"one point", "1 2\n", 0, "Error, Min data points is (2)\n"},
      {"one point before the next id", "4\n1 2\n4\n", 4, "Error, Min data points is (2)\n"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    load_result r = load(row.content, row.id);
    EXPECT_EQ(r.ok, 0);
    EXPECT_EQ(r.count, -1);
    EXPECT_EQ(r.out, frame(true, "read_crv_data", row.message));
  }
}

// What one reader gives for one place: its result, count, columns, the bytes of its points
// and its report.
std::string read_at_place(int fromMemory, FILE *fp, const std::string &bytes,
                          const std::string &path, int id, const crv_place &at) {
  static double x[MAX_POINTS], y[MAX_POINTS], t[MAX_POINTS];
  for (int i = 0; i < MAX_POINTS; i++) x[i] = y[i] = t[i] = -7.0;
  int count = -1, columns = -1;
  testing::internal::CaptureStdout();
  int ok = fromMemory ? read_crv_mem(bytes.data(), (long long)bytes.size(), path.c_str(), id, &at,
                                     x, y, t, &count, &columns)
                      : read_crv_at(fp, path.c_str(), id, &at, x, y, t, &count, &columns);
  std::string got = testing::internal::GetCapturedStdout();
  got += " ok " + std::to_string(ok) + " count " + std::to_string(count) + " columns " +
         std::to_string(columns) + " points ";
  for (int i = 0; ok && i < count; i++) {
    got.append((const char *)&x[i], sizeof x[i]).append((const char *)&y[i], sizeof y[i]);
    if (columns == 3) got.append((const char *)&t[i], sizeof t[i]);
  }
  return got;
}

// The reader from memory against the reader from the file, on the same bytes: at every
// place a scan finds, at the top of the file (dataset 0) and past its end, the same points
// or the same report.
TEST(read_crv_mem, reads_what_read_crv_at_reads_from_the_file) {
  std::string line255 = "1 2" + std::string(252, ' ') + "\n";
  const struct {
    const char *name;
    std::string content;
  } rows[] = {
      {"two datasets", two_sets},
      {"data before the first id, comments, empty lines", "1 2\n3 4\n# c\n\n5\n! d\n6 7\n8 9\n"},
      {"three columns and a fourth value", "1\n1 2 3 4\n5 6 7\n2\n1 2\n1 2 3\n"},
      {"CR-LF lines", "# title\r\n1\r\n1 2\r\n\r\n3 4\r\n2\r\n5 6\r\n7 8"},
      {"the last line without a feed", "1\n1 2\n3 4"},
      {"an id on the last line", "1\n1 2\n3 4\n9"},
      {"an id and its feed at the end", "1\n1 2\n3 4\n9\n"},
      {"a byte order mark",
       "\xEF\xBB\xBF"
       "1 2\n3 4\n4\r\n1 2\r\n3 4\r\n"},
      {"part of a mark",
       "\xEF\xBB"
       "1 2\n3 4\n"},
      {"a mark alone", "\xEF\xBB\xBF"},
      {"a line of 255 characters and a feed", "1\n1 2\n" + line255 + "2\n1 2\n3 4\n"},
      {"long comments pass",
       "#" + std::string(1000, 'c') + "\n1\n1 2\n!" + std::string(300, 'x') + "\n3 4\n"},
      {"NUL bytes", std::string("1\n1 2\n\0junk\n3 4\n2\n\0\n5 6\n", 24)},
      {"text, lone numbers and invalid lines", "1\nx y\n2\n1 2\nabc\n3\n5\n4\n1 2\n3 4\n"},
      {"one point", "4\n1 2\n4\n"},
      {"1501 points", "1\n" + points_file(MAX_POINTS + 1, "2\n1 2\n3 4\n")},
      {"1500 points and what follows", "1\n" + points_file(MAX_POINTS, "# after\n\n7\n")},
      {"only comments", "# a\n\n! b\n  \n"},
      {"empty", ""},
  };
  temp_dir dir;
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    dir.write("d.crv", row.content);
    std::string path = dir.file("d.crv");
    FILE *fp = fopen(path.c_str(), "r");
    ASSERT_NE(fp, nullptr);
    std::vector<std::pair<int, crv_place>> places = {
        {0, {0, 0, 0, 0}}, {3, {(long long)row.content.size() + 5, 7, 0, 0}}};
    crv_scan scan;
    crv_scan_start(&scan, fp);
    for (;;) {
      int id = 0;
      crv_place at = {0, 0, 0, 0};
      int got = crv_scan_next(&scan, &id, &at);
      if (got == CRV_END || got == CRV_READ_ERROR || got == CRV_LONG_LINE) break;
      if (got == CRV_ID_LINE) places.push_back({id, at});
    }
    for (const auto &place : places) {
      SCOPED_TRACE(place.first);
      EXPECT_EQ(read_at_place(1, fp, row.content, path, place.first, place.second),
                read_at_place(0, fp, row.content, path, place.first, place.second));
    }
    fclose(fp);
  }
}

// sscanf's result and values for the same line, as crv_values must give them.
std::string values_text(int ours, const std::string &line, int want) {
  double v[3] = {-7.0, -7.0, -7.0};
  int n = ours        ? crv_values(line.c_str(), want, v)
          : want == 2 ? sscanf(line.c_str(), "%lf %lf", &v[0], &v[1])
                      : sscanf(line.c_str(), "%lf %lf %lf", &v[0], &v[1], &v[2]);
  std::string got = std::to_string(n) + ":";
  for (int i = 0; i < n; i++) got.append((const char *)&v[i], sizeof v[i]);
  return got;
}

// Lines of plain decimals, which crv_values reads itself, and of anything else, which it
// leaves to sscanf: the same result and the same bits, for two and three columns.
TEST(crv_values, reads_what_sscanf_reads) {
  std::vector<std::string> lines = {"",
                                    " \t\r\n",
                                    "1 2",
                                    "1 2 3",
                                    "1 2 3 4",
                                    "-0 +0",
                                    "-0.0 0e5",
                                    "1e22 1e23",
                                    "1e-22 1e-23",
                                    "9007199254740992 9007199254740993",
                                    "1234567890123456789 12345678901234567890",
                                    "0.000000000000000000000000001 1",
                                    "00012.5000 -.5",
                                    "5. .5",
                                    ". 1",
                                    "- 1",
                                    "+-1 2",
                                    "1e 2",
                                    "1e+ 2",
                                    "1E3 2e-3",
                                    "1.5e9999 2",
                                    "1e99999 1",
                                    "0x10 2",
                                    "nan inf",
                                    "1 nan",
                                    "1,5 2",
                                    "1.2.3 4",
                                    "7\v8",
                                    "1 2abc",
                                    "1 2 abc",
                                    "1\f2\r",
                                    std::string("1 \0 2", 5),
                                    "4.9e-324 1.7976931348623157e308",
                                    "-86.0802 128.5",
                                    "10 -86.0802\n",
                                    "2\n",
                                    "123456789.123456789 1",
                                    "0.1 0.2",
                                    "3.14159265 2.718281828459045"};
  std::mt19937 rng(19);
  const char alphabet[] = "0123456789.-+eE \t\nx";
  for (int i = 0; i < 20000; i++) {
    std::string line;
    if (i % 2 == 0) {  // anything from the alphabet
      for (int n = (int)(rng() % 16); n > 0; n--) line += alphabet[rng() % (sizeof alphabet - 1)];
    } else {  // plain decimals of up to 22 digits, a point anywhere, perhaps an exponent
      for (int k = 1 + (int)(rng() % 4); k > 0; k--) {
        if (rng() % 3 == 0) line += "-+"[rng() % 2];
        int digits = 1 + (int)(rng() % 22), point = (int)(rng() % (digits + 2)) - 1;
        for (int d = 0; d < digits; d++) {
          if (d == point) line += '.';
          line += (char)('0' + rng() % 10);
        }
        if (rng() % 4 == 0) line += "e" + std::to_string((int)(rng() % 61) - 30);
        line += " \t"[rng() % 2];
      }
    }
    lines.push_back(line);
  }
  for (const std::string &line : lines) {
    for (int want : {2, 3}) {
      ASSERT_EQ(values_text(1, line, want), values_text(0, line, want))
          << "\"" << line << "\", " << want << " columns";
    }
  }
}

// A scan finds the id lines that sscanf(text, "%255s %255s %255s") finds, a line of one word,
// with the value to_int gives that word; comments and empty lines pass.
TEST(crv_scan_next, finds_the_id_lines_that_sscanf_finds) {
  std::mt19937 rng(23);
  const char alphabet[] = "0123456789 \t\v\f\r-+x#!";
  std::string content, expected;
  for (int no = 1; no <= 20000; no++) {
    std::string line;
    for (int n = (int)(rng() % 8); n > 0; n--) line += alphabet[rng() % (sizeof alphabet - 1)];
    content += line + "\n";
    if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#' || line[0] == '!') {
      continue;  // empty or a comment
    }
    char w1[256], w2[256], w3[256];
    if (sscanf(line.c_str(), "%255s %255s %255s", w1, w2, w3) == 1) {
      expected += std::to_string(no) + ":" + std::to_string(to_int(w1)) + " ";
    } else {
      expected += std::to_string(no) + ":- ";
    }
  }
  temp_dir dir;
  dir.write("d.crv", content);
  FILE *fp = fopen(dir.file("d.crv").c_str(), "r");
  ASSERT_NE(fp, nullptr);
  crv_scan scan;
  crv_scan_start(&scan, fp);
  std::string got;
  for (;;) {
    int id = 0;
    crv_place at = {0, 0, 0, 0};
    int kind = crv_scan_next(&scan, &id, &at);
    if (kind == CRV_ID_LINE) got += std::to_string(at.lineNo) + ":" + std::to_string(id) + " ";
    if (kind == CRV_OTHER_LINE) got += std::to_string(scan.line.no) + ":- ";
    if (kind != CRV_ID_LINE && kind != CRV_OTHER_LINE) break;
  }
  fclose(fp);
  EXPECT_EQ(got, expected);
}

}  // namespace
