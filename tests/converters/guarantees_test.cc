// Program tests of what the converters promise about their output file whatever the input:
// a failed write ends the run with status 1, a failed run leaves every file as it was, and
// extreme numbers convert to a defined output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
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
      {"an input that gives no output", QV2CRV_BIN, {"in.txt", "/dev/full"}, "", "", 0, ""},
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

const char is_input[] = "\nError, output file is the input file.\n\n";
const char out_error[] = "\nError, cannot open output file.\n\n";
const char zarn5[] = "5\n0 4\n1\n2\n3\n4\n5\n";
const char crv5[] =
    "  0.000000   5.000000\n  1.000000   4.000000\n  2.000000   3.000000\n"
    "  3.000000   2.000000\n  4.000000   1.000000\n";
const char crv1[] = "1\n  2.000000   3.000000\n";

// The files of a folder by name: a folder as "<folder>", a link as "-> " and its target.
using files = std::map<std::string, std::string>;

void make_files(const temp_dir &work, const files &content) {
  for (const auto &f : content) {
    if (f.second == "<folder>") {
      mkdir(work.file(f.first).c_str(), 0755);
    } else if (f.second.rfind("-> ", 0) == 0) {
      ASSERT_EQ(symlink(f.second.c_str() + 3, work.file(f.first).c_str()), 0);
    } else {
      work.write(f.first, f.second);
    }
  }
}

files folder_files(const temp_dir &work) {
  files got;
  for (const std::string &name : work.list()) {
    struct stat st;
    char target[256];
    if (lstat(work.file(name).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      got[name] = "<folder>";
    } else if (S_ISLNK(st.st_mode)) {
      ssize_t n = readlink(work.file(name).c_str(), target, sizeof target);
      got[name] = "-> " + std::string(target, n > 0 ? (size_t)n : 0);
    } else {
      got[name] = work.read(name);
    }
  }
  return got;
}

// Each slip runs twice: beside an out.crv left by an earlier run (mode 0604), and in a folder
// without one. A run that fails changes no file and leaves none behind; one that succeeds
// writes only what changed says, and an out.crv it writes keeps its mode or, new, gets what
// the umask allows.
struct slip {
  const char *name, *program;
  std::vector<std::string> args;
  std::string typed;
  files before;  // besides out.crv
  int status;
  std::string out;
  files changed = {};               // by a run that succeeds
  long limit = 0;                   // most bytes a file may grow to, 0 for any
  const char *read_only = nullptr;  // a file without write permission
};

TEST(converters, a_failed_conversion_leaves_every_file_as_it_was) {
  const slip rows[] = {
      // clang-format off
      {"zarn2crv: the names swapped", ZARN2CRV_BIN, {"melt.crv", "melt.zarn"}, "",
       {{"melt.zarn", zarn5}, {"melt.crv", crv5}}, 1, "Error, point count must be 5 to 500.\n"},
      {"zarn2crv: the input named as the output", ZARN2CRV_BIN, {"in.txt", "in.txt"}, "",
       {{"in.txt", zarn5}}, 1, is_input},
      {"colcrv: the output a link to the input", COLCRV_BIN, {"in.txt", "link.crv"}, "",
       {{"in.txt", "2\n1 3\n"}, {"link.crv", "-> in.txt"}}, 1, is_input},
      {"qv2crv: the input typed at the output prompt", QV2CRV_BIN, {"in.txt", "no/out.crv"},
       "in.txt\n", {{"in.txt", "1 2 3\n"}}, 1, std::string(out_prompt) + is_input},
      {"zarn2crv: input missing, nothing typed", ZARN2CRV_BIN, {"none.txt", "out.crv"}, "", {},
       1, std::string(zarn_prompt) + in_error},
      {"colcrv: input missing, typed name missing", COLCRV_BIN, {"none.txt", "out.crv"},
       "none2.txt\n", {}, 1, std::string(zarn_prompt) + in_error},
      {"qv2crv: no names, nothing typed", QV2CRV_BIN, {}, "", {}, 1,
       std::string(qv_prompt) + in_error},
      {"qv2crv: the output name typed but the input failed first", QV2CRV_BIN, {},
       "none.txt\nout.crv\n", {}, 1, std::string(qv_prompt) + in_error},
      // A folder opens for reading, but its first read fails.
      {"zarn2crv: the input is a folder", ZARN2CRV_BIN, {"sub", "out.crv"}, "",
       {{"sub", "<folder>"}}, 1, in_error},
      {"colcrv: the input is a folder", COLCRV_BIN, {".", "out.crv"}, "", {}, 1, in_error},
      {"zarn2crv: a refused input", ZARN2CRV_BIN, {"in.txt", "out.crv"}, "",
       {{"in.txt", "4\n0 3\n1\n2\n3\n4\n"}}, 1, "Error, point count must be 5 to 500.\n"},
      {"colcrv: a long header row", COLCRV_BIN, {"in.txt", "out.crv"}, "",
       {{"in.txt", too_long}}, 1, "Error, line 1 is too long.\n"},
      {"colcrv: a long line after converted rows", COLCRV_BIN, {"in.txt", "out.crv"}, "",
       {{"in.txt", "# c\n2\n1 3\n" + too_long}}, 1, "Error, line 4 is too long.\n"},
      {"qv2crv: a long line after a point", QV2CRV_BIN, {"in.txt", "out.crv"}, "",
       {{"in.txt", "1 2 3\n" + too_long}}, 1, "Error, line 2 is too long.\n"},
      // 500 lines overflow the stream's buffer: the writes fail before the close.
      {"zarn2crv: a full disk", ZARN2CRV_BIN, {"in.txt", "out.crv"}, "",
       {{"in.txt", zarn_points(500)}}, 1, write_error, {}, 1000},
      {"colcrv: a full disk", COLCRV_BIN, {"in.txt", "out.crv"}, "",
       {{"in.txt", "# copied\n2\n1 3\n"}}, 1, write_error, {}, 10},
      {"qv2crv: a full disk", QV2CRV_BIN, {"in.txt", "out.crv"}, "",
       {{"in.txt", "1 2 3\n1 4 5\n"}}, 1, write_error, {}, 10},
      {"colcrv: a read-only output, nothing typed", COLCRV_BIN, {"in.txt", "ro.crv"}, "",
       {{"in.txt", "2\n1 3\n"}, {"ro.crv", "old\n"}}, 1, std::string(out_prompt) + out_error,
       {}, 0, "ro.crv"},
      {"zarn2crv: a conversion replaces or creates the output", ZARN2CRV_BIN,
       {"in.txt", "out.crv"}, "", {{"in.txt", zarn5}}, 0, "", {{"out.crv", crv5}}},
      {"qv2crv: a folder's name as output, then a typed name", QV2CRV_BIN, {"in.txt", "sub"},
       "out.crv\n", {{"in.txt", "1 2 3\n"}, {"sub", "<folder>"}}, 0, out_prompt,
       {{"out.crv", crv1}}},
      {"colcrv: through a link, the linked file is replaced", COLCRV_BIN, {"in.txt", "link.crv"},
       "", {{"in.txt", "2\n1 3\n"}, {"link.crv", "-> real.crv"}, {"real.crv", "old\n"}}, 0, "",
       {{"real.crv", crv1}}},
      // clang-format on
  };
  const mode_t earlier_mode = 0604, umask_bits = 027;
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    // Permission bits do not stop the superuser.
    if (row.read_only != nullptr && geteuid() == 0) continue;
    for (int earlier = 0; earlier <= 1; earlier++) {
      SCOPED_TRACE(earlier ? "beside an earlier output" : "in a folder without one");
      temp_dir work;
      make_files(work, row.before);
      files expected = row.before;
      if (earlier) {
        work.write("out.crv", "old\n");
        chmod(work.file("out.crv").c_str(), earlier_mode);
        expected["out.crv"] = "old\n";
      }
      if (row.read_only != nullptr) chmod(work.file(row.read_only).c_str(), 0444);
      mode_t saved = umask(umask_bits);
      run_result r = row.limit > 0
                         ? run_with_file_limit(row.program, row.args, work.path(), row.limit)
                         : run_program(row.program, row.args, work.path(), row.typed);
      umask(saved);
      EXPECT_EQ(r.status, row.status);
      EXPECT_EQ(r.out, row.out);
      EXPECT_EQ(r.err, "");
      if (row.status == 0) {
        for (const auto &f : row.changed) expected[f.first] = f.second;
      }
      EXPECT_EQ(folder_files(work), expected);
      struct stat st;
      if (row.changed.count("out.crv") != 0 && stat(work.file("out.crv").c_str(), &st) == 0) {
        EXPECT_EQ(st.st_mode & 0777, earlier ? earlier_mode : 0666 & ~umask_bits);
      }
    }
  }
}

// What the tolerant readings drop or read as 0 without a number is counted, and the first
// place is named; the output is what it was without the warning.
TEST(converters, words_and_lines_without_a_number_are_counted) {
  // The first word: a control character shown as "?", cut at 40 bytes, here inside a
  // two-byte character, which goes whole.
  const std::string odd_word = "\x1b" + std::string(38, 'a') + "\xc3\xa9zz";
  const struct {
    const char *name, *program;
    std::string input;
    int status;
    std::string out, crv;
  } rows[] = {
      // clang-format off
      {"colcrv: a header row with a label column", COLCRV_BIN, "residue 3.0 4.0\n1 8.1 8.2\n",
       0, "Warning, 1 words are not numbers and were read as 0 (the first: line 1, \"residue\"); "
       "mark a missing value with a leading #.\n",
       "1\n  0.000000   8.100000\n  3.000000   8.200000\n"},
      // Not counted: the blank line of a CR-LF file, a missing value, numbers with a tail.
      {"colcrv: ids and values, CR-LF line ends", COLCRV_BIN,
       "# c\r\n10 20\r\n1 2 n/a\r\n\r\nA #gap x\r\n1x .5 -\r\n", 0,
       "Warning, 4 words are not numbers and were read as 0 (the first: line 3, \"n/a\"); "
       "mark a missing value with a leading #.\n",
       "# c\r\n1\n 10.000000   2.000000\n 20.000000   0.000000\n0\n0\n 20.000000   0.000000\n1\n"
       " 10.000000   0.500000\n 20.000000   0.000000\n"},
      {"colcrv: the word shown is bounded", COLCRV_BIN, odd_word + " 5\n1 2 3\n", 0,
       "Warning, 1 words are not numbers and were read as 0 (the first: line 1, \"?" +
       std::string(38, 'a') + "\"); mark a missing value with a leading #.\n",
       "1\n  0.000000   2.000000\n  5.000000   3.000000\n"},
      {"colcrv: no warning after a failed conversion", COLCRV_BIN, "x 1\n" + too_long, 1,
       "Error, line 2 is too long.\n", "<missing>"},
      // Not counted: comments, empty lines (blanks, tabs, a carriage return).
      {"qv2crv: text, ids out of range, a form feed", QV2CRV_BIN,
       "# c\n1 0 5\n\n \t\r\n1 x\n0 1 2\n10000 1 2\n2 0 7\n\f\n", 0,
       "Warning, 4 lines were skipped (the first: line 5).\n",
       "# c\n1\n  0.000000   5.000000\n2\n  0.000000   7.000000\n"},
      // clang-format on
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    expect_conversion(convert(row.program, row.input), row.status, row.out, row.crv);
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
       "Error, point count must be 5 to 500.\n", "<missing>"},
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
       0, "Warning, 2 lines were skipped (the first: line 5).\n",
       "1\n" + e308 + "  -0.000000\n       inf        nan\n      -nan   0.000000\n" + e299 +
           "       -inf\n2\n -0.000000  -0.000000\n"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    expect_conversion(convert(row.program, row.input), row.status, row.out, row.crv);
  }
}

}  // namespace
