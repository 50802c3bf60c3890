// Program tests of the built zarn2crv: the output file byte for byte, each rejection with
// its message and no output file, and the sample file fitted by velquin.
#include <gtest/gtest.h>

#include <string>

#include "converter_run.h"

namespace {

struct zarn_case {
  const char *name;
  const char *input;
  const char *expected;
};

TEST(zarn2crv, accepted_inputs_convert_byte_for_byte) {
  const zarn_case cases[] = {
      {"values run from the last point back to the first", "5\n10 4\n1\n2\n3\n4\n5\n",
       R"( 10.000000   5.000000
 11.000000   4.000000
 12.000000   3.000000
 13.000000   2.000000
 14.000000   1.000000
)"},
      {"a byte order mark before the count is skipped",
       "\xEF\xBB\xBF"
       "5\n0 4\n1\n2\n3\n4\n5\n",
       "  0.000000   5.000000\n  1.000000   4.000000\n  2.000000   3.000000\n"
       "  3.000000   2.000000\n  4.000000   1.000000\n"},
      {"a negative span gives descending x", "5\n10 -4\n1\n2\n3\n4\n5\n",
       R"( 10.000000   5.000000
  9.000000   4.000000
  8.000000   3.000000
  7.000000   2.000000
  6.000000   1.000000
)"},
      {"title and comments before the count, range on two lines, rests ignored",
       "Melting run 3\n# note\n! note\n   +5 points 99 98\n0.5\n\n2 junk\n-1.25\n2.5e1\n3\n4\n5\n",
       R"(  0.500000   5.000000
  1.000000   4.000000
  1.500000   3.000000
  2.000000  25.000000
  2.500000  -1.250000
)"},
      {"comments among values skipped; blank, indented-comment and text lines repeat y",
       "5\n0 4\n1\n# c\n  # not a comment\n! c\n\n7\nabc\n",
       R"(  0.000000   7.000000
  1.000000   7.000000
  2.000000   1.000000
  3.000000   1.000000
  4.000000   1.000000
)"},
      {"carriage-return line ends", "5\r\n0 4\r\n1\r\n2\r\n3\r\n4\r\n5\r\n",
       R"(  0.000000   5.000000
  1.000000   4.000000
  2.000000   3.000000
  3.000000   2.000000
  4.000000   1.000000
)"},
  };
  for (const zarn_case &row : cases) {
    SCOPED_TRACE(row.name);
    expect_conversion(convert(ZARN2CRV_BIN, row.input), 0, "", row.expected);
  }
}

TEST(zarn2crv, five_hundred_points_are_accepted) {
  std::string input = "500\n0 499\n", expected;
  for (int k = 0; k < 500; k++) input += std::to_string(k) + "\n";
  // Point i takes the value line 499 - i.
  for (int i = 0; i < 500; i++) {
    std::string x = std::to_string(i) + ".000000", y = std::to_string(499 - i) + ".000000";
    expected +=
        std::string(10 - x.size(), ' ') + x + " " + std::string(10 - y.size(), ' ') + y + "\n";
  }
  conversion c = convert(ZARN2CRV_BIN, input);
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.crv, expected);
}

// Adding the step 24 times to 1e7 rounds to .541936 at the sixth decimal (IEEE doubles,
// worked out apart), while 1e7 + 24 * 0.7 / 31 rounds to .541935.
TEST(zarn2crv, x_values_are_accumulated_step_by_step) {
  std::string input = "32\n1e7 0.7\n";
  for (int k = 0; k < 32; k++) input += "0\n";
  conversion c = convert(ZARN2CRV_BIN, input);
  ASSERT_EQ(c.status, 0);
  ASSERT_EQ(c.crv.size(), 32u * 27u);  // 15 + 1 + 10 characters and the line feed
  EXPECT_EQ(c.crv.substr(24 * 27, 27), "10000000.541936   0.000000\n");
}

TEST(zarn2crv, rejected_inputs_say_why_and_write_no_output) {
  const zarn_case cases[] = {
      {"empty input", "", "Error, no point count found.\n"},
      {"titles and comments only", "Run 7\n# c\n! c\n\n", "Error, no point count found.\n"},
      {"count 4", "4\n0 3\n1\n2\n3\n4\n", "Error, point count must be 5 to 500.\n"},
      {"count 501", "501\n0 1\n", "Error, point count must be 5 to 500.\n"},
      {"count too large for an int", "4294967301\n0 1\n", "Error, point count must be 5 to 500.\n"},
      {"title beginning with an integer", "3 blind mice\n5\n0 4\n1\n2\n3\n4\n5\n",
       "Error, point count must be 5 to 500.\n"},
      {"range is text", "5\nten 4\n1\n2\n3\n4\n5\n",
       "Error, cannot read the first x and the x span.\n"},
      {"input ends before the range", "5\n", "Error, cannot read the first x and the x span.\n"},
      {"input ends before the span", "5\n10\n\n",
       "Error, cannot read the first x and the x span.\n"},
      {"comment before the range", "5\n# c\n10 4\n1\n2\n3\n4\n5\n",
       "Error, cannot read the first x and the x span.\n"},
      {"first value line without a number", "5\n10 4\n\n2\n3\n4\n5\n",
       "Error, first value line 3 holds no number.\n"},
      {"first value line of text", "5\n10 4\n# c\nnone\n2\n3\n4\n5\n",
       "Error, first value line 4 holds no number.\n"},
      {"too few value lines", "5\n10 4\n1\n2\n3\n4\n", "Error, 4 value lines for 5 points.\n"},
      {"no value lines", "5\n10 4\n", "Error, 0 value lines for 5 points.\n"},
      {"too many value lines", "5\n10 4\n1\n2\n3\n4\n5\n6\n", "Error, more than 5 value lines.\n"},
      {"empty line after the last value", "5\n10 4\n1\n2\n3\n4\n5\n\n",
       "Error, more than 5 value lines.\n"},
  };
  for (const zarn_case &row : cases) {
    SCOPED_TRACE(row.name);
    expect_rejected(convert(ZARN2CRV_BIN, row.input), row.expected);
  }
}

TEST(zarn2crv, sample_round_trip_fits_the_parameters_it_was_made_with) {
  temp_dir work;
  run_result r = run_program(ZARN2CRV_BIN, {EXAMPLES_DIR "/melt.zarn", "melt.crv"}, work.path());
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  // Sigmoid A0 + A1 / (1 + exp(-(x - A2) / A3)), fitted as the only dataset (id 0).
  std::vector<double> got = fit(work, "melt.crv", 0, 11, {"0.1", "0.5", "50", "5"});
  expect_near_all(got, {0.2, 0.35, 55.0, 4.0}, 0.02);
}

}  // namespace
