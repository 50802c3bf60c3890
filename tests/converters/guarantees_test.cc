// Program tests of what the converters promise about their output file whatever the input:
// a failed write ends the run with status 1, no output file is created or emptied before the
// run would write it, and extreme numbers convert to a defined output.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter_run.h"
#include "limited_run.h"

namespace {

const char write_error[] = "\nError, cannot write output file.\n\n";
const char in_error[] = "\nError, cannot read input file.\n\n";
const char out_prompt[] = "\n\n Please enter your output file.\n\n";
const char zarn_prompt[] = "\n\n Please enter your datafile (Zarn format).\n\n";
const char qv_prompt[] = "\n\n Please enter your datafile (qv format).\n\n";
const std::string too_long = std::string(999, '1') + "\n";

std::string zarn_points(int n) {
  std::string s = std::to_string(n) + "\n0 1\n";
  for (int k = 0; k < n; k++) s += "1\n";
  return s;
}

struct file_run {
  const char *name;
  const char *program;
  std::vector<std::string> args;  // in.txt holds input
  std::string input;
  std::string typed;  // standard input, for the prompts
  int status;
  std::string out;
};

run_result run_in(const temp_dir &work, const file_run &row) {
  work.write("in.txt", row.input);
  return run_program(row.program, row.args, work.path(), row.typed);
}

TEST(close_output, write_errors_end_with_status_1) {
  const file_run rows[] = {
      {"zarn2crv", ZARN2CRV_BIN, {"in.txt", "/dev/full"}, zarn_points(5), "", 1, write_error},
      // 500 lines overflow the stream's buffer: the writes fail before the close.
      {"zarn2crv, 500 points",
       ZARN2CRV_BIN,
       {"in.txt", "/dev/full"},
       zarn_points(500),
       "",
       1,
       write_error},
      {"colcrv", COLCRV_BIN, {"in.txt", "/dev/full"}, "2\n1 3\n", "", 1, write_error},
      {"colcrv, a copied comment only",
       COLCRV_BIN,
       {"in.txt", "/dev/full"},
       "# c\n",
       "",
       1,
       write_error},
      {"qv2crv", QV2CRV_BIN, {"in.txt", "/dev/full"}, "1 2 3\n", "", 1, write_error},
      {"an output name typed at the prompt",
       QV2CRV_BIN,
       {"in.txt"},
       "1 2 3\n",
       "/dev/full",
       1,
       std::string(out_prompt) + write_error},
      // The output does not hold the lines before the long one, as the first message implies.
      {"a long line after written lines",
       COLCRV_BIN,
       {"in.txt", "/dev/full"},
       "2\n1 3\n" + too_long,
       "",
       1,
       "Error, line 3 is too long.\n" + std::string(write_error)},
      // Nothing was to be written, so nothing failed.
      {"a refused Zarn file",
       ZARN2CRV_BIN,
       {"in.txt", "/dev/full"},
       "4\n0 3\n1\n2\n3\n4\n",
       "",
       1,
       "Error, point count must be 5 to 500.\n"},
      {"an input that gives no output", QV2CRV_BIN, {"in.txt", "/dev/full"}, "0 1 2\n", "", 0, ""},
  };
  for (const file_run &row : rows) {
    SCOPED_TRACE(row.name);
    temp_dir work;
    run_result r = run_in(work, row);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(work.list(), std::vector<std::string>{"in.txt"});
  }
}

// On a disk that fills up, the output holds what was written before the failure.
TEST(close_output, a_full_disk_leaves_the_output_cut_short) {
  const struct {
    const char *program;
    std::string input, crv;
  } rows[] = {
      {ZARN2CRV_BIN, zarn_points(5), "  0.000000   1.000000\n  0.2"},
      {COLCRV_BIN, "# copied\n2\n1 3\n", "# copied\n1\n  2.0"},
      {QV2CRV_BIN, "1 2 3\n1 4 5\n", "1\n  2.000000   3.000000\n  4"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.program);
    temp_dir work;
    work.write("in.txt", row.input);
    run_result r =
        run_with_file_limit(row.program, {"in.txt", "out.crv"}, work.path(), (long)row.crv.size());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, write_error);
    EXPECT_EQ(work.read("out.crv"), row.crv);
  }
}

const char kept[] = "<kept>";  // out.crv keeps what it held before the run

// Each case runs twice: beside an out.crv left by an earlier run, and in a folder without
// one. A run that ends before it opens the output leaves the first as it was and creates
// none in the second.
TEST(converters, early_failures_create_or_empty_no_output) {
  const struct {
    file_run run;
    std::string crv;  // out.crv after the run, or kept
  } rows[] = {
      // clang-format off
      {{"zarn2crv: input missing, nothing typed", ZARN2CRV_BIN, {"none.txt", "out.crv"}, "", "",
        1, std::string(zarn_prompt) + in_error}, kept},
      {{"colcrv: input missing, typed name missing", COLCRV_BIN, {"none.txt", "out.crv"}, "",
        "none2.txt\n", 1, std::string(zarn_prompt) + in_error}, kept},
      {{"qv2crv: no names, nothing typed", QV2CRV_BIN, {}, "", "", 1,
        std::string(qv_prompt) + in_error}, kept},
      {{"qv2crv: the output name typed but the input failed first", QV2CRV_BIN, {}, "",
        "none.txt\nout.crv\n", 1, std::string(qv_prompt) + in_error}, kept},
      // The output is opened before the conversion starts: a refused input leaves it empty.
      // A folder opens for reading, but its first read fails.
      {{"zarn2crv: the input is a folder", ZARN2CRV_BIN, {".", "out.crv"}, "", "", 1, in_error},
       ""},
      {{"colcrv: the input is a folder", COLCRV_BIN, {".", "out.crv"}, "", "", 1, in_error}, ""},
      {{"qv2crv: the input is a folder", QV2CRV_BIN, {".", "out.crv"}, "", "", 1, in_error}, ""},
      {{"zarn2crv: a refused input", ZARN2CRV_BIN, {"in.txt", "out.crv"}, "4\n0 3\n1\n2\n3\n4\n",
        "", 1, "Error, point count must be 5 to 500.\n"}, ""},
      {{"colcrv: a long header row", COLCRV_BIN, {"in.txt", "out.crv"}, too_long, "", 1,
        "Error, line 1 is too long.\n"}, ""},
      {{"qv2crv: a long line after a point", QV2CRV_BIN, {"in.txt", "out.crv"},
        "1 2 3\n" + too_long, "", 1, "Error, line 2 is too long.\n"},
       "1\n  2.000000   3.000000\n"},
      // clang-format on
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.run.name);
    for (int earlier = 0; earlier <= 1; earlier++) {
      SCOPED_TRACE(earlier ? "beside an earlier output" : "in a folder without one");
      temp_dir work;
      if (earlier) work.write("out.crv", "old\n");
      run_result r = run_in(work, row.run);
      EXPECT_EQ(r.status, row.run.status);
      EXPECT_EQ(r.out, row.run.out);
      std::string crv = row.crv != kept ? row.crv : earlier ? "old\n" : "<missing>";
      EXPECT_EQ(work.read("out.crv"), crv);
      EXPECT_EQ(work.list().size(), crv == "<missing>" ? 1u : 2u);
    }
  }
}

// Naming the input as the output is the user's mistake: the output is opened, and so
// emptied, before a line of the input is read, and the input is lost.
TEST(converters, input_named_as_output_is_emptied) {
  const file_run rows[] = {
      {"zarn2crv",
       ZARN2CRV_BIN,
       {"in.txt", "in.txt"},
       zarn_points(5),
       "",
       1,
       "Error, no point count found.\n"},
      {"colcrv", COLCRV_BIN, {"in.txt", "in.txt"}, "2\n1 3\n", "", 0, ""},
      {"qv2crv", QV2CRV_BIN, {"in.txt", "in.txt"}, "1 2 3\n", "", 0, ""},
  };
  for (const file_run &row : rows) {
    SCOPED_TRACE(row.name);
    temp_dir work;
    run_result r = run_in(work, row);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(work.read("in.txt"), "");
  }
}

// 1e308 and 1e299 in full, as "%f" prints the doubles nearest to them (worked out apart with
// Python's exact float formatting).
const std::string e308 =
    "100000000000000001097906362944045541740492309677311846336810682903157585404911491537163328"
    "978494688899061249669721172515611590283743140088328307009198146046031271664502933027185697"
    "489699588559043338384466165001178426897626212945177628091195786707458122783970171784415105"
    "291802893207873272974885715430223118336.000000";
const std::string e299 =
    "100000000000000005250476025520442024870446858110815915491585411551180245798890819578637137"
    "508044786404370444383288387817694252323536043057564479218478670698284838720092657580373783"
    "023379478809005936895323497079994508111903896764088007465274278014249457925878882005684283"
    "811566947219638686545940054016.000000";
const std::string digits300 = "1" + std::string(299, '0');

TEST(converters, extreme_numbers_convert_to_defined_output) {
  const struct {
    const char *name;
    const char *program;
    std::string input;
    int status;
    std::string out;
    std::string crv;
  } rows[] = {
      // Value lines run from the last point back; x is -0, then -0 + 0 = 0.
      {"zarn2crv: -0, 1e308, inf, nan, -nan and 1e-400", ZARN2CRV_BIN,
       "5\n-0 0\n1e308\n-nan\ninf\nnan\n1e-400\n", 0, "",
       " -0.000000   0.000000\n  0.000000        nan\n  0.000000        inf\n"
       "  0.000000       -nan\n  0.000000 " +
           e308 + "\n"},
      // The span overflows: the step is inf, and every x after the first.
      {"zarn2crv: a span of 1e309", ZARN2CRV_BIN, "5\n0 1e309\n1\n2\n3\n4\n" + digits300 + "\n", 0,
       "",
       "  0.000000 " + e299 +
           "\n       inf   4.000000\n       inf   3.000000\n       inf   2.000000\n"
           "       inf   1.000000\n"},
      {"zarn2crv: a nan range", ZARN2CRV_BIN, "5\nnan -inf\n1\n2\n3\n4\n5\n", 0, "",
       "       nan   5.000000\n       nan   4.000000\n       nan   3.000000\n"
       "       nan   2.000000\n       nan   1.000000\n"},
      {"zarn2crv: a 300-digit count", ZARN2CRV_BIN, digits300 + "\n0 4\n1\n2\n3\n4\n5\n", 1,
       "Error, point count must be 5 to 500.\n", ""},
      // Ids beyond the int range take its nearest end.
      {"colcrv", COLCRV_BIN,
       "1e308 -0 inf nan -nan 1e-400 " + digits300 + "\n" + "1 1 -0 inf -inf -nan 1e-400 " +
           digits300 + "\n4294967297 1\n" + digits300 + " 1\n-" + digits300 + " 1\n",
       0, "",
       "1\n" + e308 +
           "   1.000000\n -0.000000  -0.000000\n       inf        inf\n"
           "       nan       -inf\n      -nan       -nan\n  0.000000   0.000000\n" +
           e299 + " " + e299 + "\n2147483647\n" + e308 + "   1.000000\n2147483647\n" + e308 +
           "   1.000000\n-2147483648\n" + e308 + "   1.000000\n"},
      // A 300-digit id is out of range and dropped; so is a line of empty fields.
      {"qv2crv", QV2CRV_BIN,
       "1 1e308 -0\n1 inf nan\n1 -nan 1e-400\n1 " + digits300 + " -inf\n" + digits300 +
           " 1 1\n1  \t \n2 -0 -1e-400\n",
       0, "",
       "1\n" + e308 + "  -0.000000\n       inf        nan\n      -nan   0.000000\n" + e299 +
           "       -inf\n2\n -0.000000  -0.000000\n"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    expect_conversion(convert(row.program, row.input), row.status, row.out, row.crv);
  }
}

}  // namespace
