// Program tests of the built colcrv: the curve data file byte for byte, and the sample
// table's rows fitted by velquin through their ids.
#include <gtest/gtest.h>

#include <string>

#include "converter_run.h"

namespace {

struct table_case {
  const char *name;
  std::string input;
  std::string expected;
};

// 100 header x values 1 .. 100 and a row of 101 values: the 101st has no x value.
std::string wide_table() {
  std::string header, row = "7";
  for (int j = 1; j <= 101; j++) {
    header += std::to_string(j) + (j < 101 ? " " : "\n");
    row += " 0.5";
  }
  return header + row + "\n";
}

std::string wide_expected() {
  std::string out = "7\n";
  for (int j = 1; j <= 100; j++) {
    std::string x = std::to_string(j) + ".000000";
    out += std::string(10 - x.size(), ' ') + x + "   0.500000\n";
  }
  return out;
}

TEST(colcrv, tables_convert_byte_for_byte) {
  const table_case cases[] = {
      {"rows become datasets; a missing value keeps its column",
       "# run 5\n10 20 30\n1 1.5 2.5 3.5\n2 4.0 #gap 6.0\n",
       R"(# run 5
1
 10.000000   1.500000
 20.000000   2.500000
 30.000000   3.500000
2
 10.000000   4.000000
 30.000000   6.000000
)"},
      {"a byte order mark is skipped; the comment after it is copied without it",
       "\xEF\xBB\xBF"
       "# run\n1 2\n5 7 8\n",
       "# run\n5\n  1.000000   7.000000\n  2.000000   8.000000\n"},
      {"comments copied at their place, an id-only row, a repeated id, id 0",
       "! instrument A\n-1.5 0 2e3\n! row 3 follows\n3\n# then\n3 -7 0\n0 1 2 3\n",
       R"(! instrument A
! row 3 follows
3
# then
3
 -1.500000  -7.000000
  0.000000   0.000000
0
 -1.500000   1.000000
  0.000000   2.000000
2000.000000   3.000000
)"},
      {"empty and blank lines after the header are skipped; a lone carriage return is an id",
       "1 2\n\n5 8 9\n \t \n\r\n6 1\r\n",
       "5\n  1.000000   8.000000\n  2.000000   9.000000\n0\n6\n"
       "  1.000000   1.000000\n"},
      {"values beyond the header's x values are skipped", "1 2\n4 10 20 30 40\n",
       "4\n  1.000000  10.000000\n  2.000000  20.000000\n"},
      {"an empty header row leaves every value without an x", "\n8 1 2\n9\n", "8\n9\n"},
      {"header words beyond the hundredth are ignored", wide_table(), wide_expected()},
      {"tabs separate words", "1\t2\n3\t4\t5\n",
       "3\n  1.000000   4.000000\n  2.000000   5.000000\n"},
      {"empty input", "", ""},
  };
  for (const table_case &row : cases) {
    SCOPED_TRACE(row.name);
    expect_conversion(convert(COLCRV_BIN, row.input), 0, "", row.expected);
  }
}

TEST(colcrv, sample_round_trip_fits_each_row_by_its_id) {
  temp_dir work;
  run_result r =
      run_program(COLCRV_BIN, {EXAMPLES_DIR "/titration-table.col", "titration.crv"}, work.path());
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  // pH titration: pKa, Sa, Sah, and the Hill coefficient held at 1.
  const struct {
    int id;
    double pka, sa, sah;
  } rows[] = {{1, 5.2, 8.10, 8.65}, {2, 6.4, 7.20, 7.85}, {3, 4.1, 8.40, 8.95}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.id);
    std::vector<double> got = fit(work, "titration.crv", row.id, 9, {"5", "7", "8", "=1"});
    expect_near_all(got, {row.pka, row.sa, row.sah, 1.0}, 0.01);
  }
}

}  // namespace
