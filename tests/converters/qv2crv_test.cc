// Program tests of the built qv2crv: the curve data file byte for byte, and the sample
// file's datasets fitted by velquin through their ids.
#include <gtest/gtest.h>

#include <string>

#include "converter_run.h"

namespace {

struct qv_case {
  const char *name;
  const char *input;
  const char *expected;
  const char *out = "";  // the warning about the lines dropped
};

TEST(qv2crv, point_lists_convert_byte_for_byte) {
  const qv_case cases[] = {
      {"consecutive points of one id make a dataset",
       "# sample A\n1 0.0 5.0\n1 1.0 6.0\n2 0.0 7.0\n2 1.0 8.0\n",
       R"(# sample A
1
  0.000000   5.000000
  1.000000   6.000000
2
  0.000000   7.000000
  1.000000   8.000000
)"},
      {"a byte order mark before the first point is skipped",
       "\xEF\xBB\xBF"
       "4 1 2\n",
       "4\n  1.000000   2.000000\n"},
      {"an id that returns opens a second dataset", "1 1 1\n1 2 2\n2 3 3\n1 4 4\n",
       "1\n  1.000000   1.000000\n  2.000000   2.000000\n2\n  3.000000   3.000000\n1\n"
       "  4.000000   4.000000\n"},
      {"ids out of 1 to 9999 are dropped",
       "0 1 1\n-5 2 2\n10000 3 3\n9999 4 4\n1 5 5\n4294967297 6 6\n",
       "9999\n  4.000000   4.000000\n1\n  5.000000   5.000000\n",
       "Warning, 4 lines were skipped (the first: line 1).\n"},
      {"dropped lines between points of one id repeat no id line",
       "3 1 10\n5 1.0\n\nthree 2 20\n! kept\n3 2 20 extra\n3 x 30\n",
       "3\n  1.000000  10.000000\n! kept\n  2.000000  20.000000\n",
       "Warning, 3 lines were skipped (the first: line 2).\n"},
      {"the id field ends at a decimal point", "1.5 2.0 3.0\n", "1\n  0.500000   2.000000\n"},
      {"empty input", "", ""},
  };
  for (const qv_case &row : cases) {
    SCOPED_TRACE(row.name);
    expect_conversion(convert(QV2CRV_BIN, row.input), 0, row.out, row.expected);
  }
}

TEST(qv2crv, sample_round_trip_fits_each_dataset_by_its_id) {
  temp_dir work;
  run_result r = run_program(QV2CRV_BIN, {EXAMPLES_DIR "/relax.qv", "relax.crv"}, work.path());
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  // T2 relaxation Mo * exp(-x / T2).
  std::vector<double> got = fit(work, "relax.crv", 1, 5, {"900", "60"});
  expect_near_all(got, {1000.0, 80.0}, 0.02);
  got = fit(work, "relax.crv", 2, 5, {"900", "60"});
  expect_near_all(got, {850.0, 45.0}, 0.02);
}

}  // namespace
