// Program tests of what velquin promises about its files whatever the input: the results
// file is only appended to, a run that ends before the fit keeps the earlier log, no file is
// created by a run that ends before it would write it, a failed write is fatal, and
// extreme numbers anywhere give a defined result.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "limited_run.h"
#include "program_run.h"
#include "velquin_texts.h"

namespace {

// The line y = 2x + 1 held: Y-Calc 1, 3, 5, 7, residuals -0.1, 0.1, -0.2, 0.2 and an RMSE of
// sqrt(0.1 / 4) = 0.158113883.
const char held_report[] = R"(
Data Input.: data.crv
Num of data: 4

Function...: Straight Line
Description: Notes: A0*x + A1
Parameters.: 2

Parameter   Hold Constant      Value     StdDev
A0.......:       yes               2          0
A1.......:       yes               1          0

RMSE.......: 0.15811)"
                           "   \n"
                           R"(Iterations.: 0
Max It.....: 10

Point by Point Analysis
      X[i]      Y[i]     Y-Calc   Residual
         0        1.1          1       -0.1
         1        2.9          3        0.1
         2        5.2          5       -0.2
         3        6.8          7        0.2

************************************************************
)";
const char held_log[] = "          2          0\n          1          0\n    0.15811\n 0\n";

const char kept[] = "<kept>";  // the file keeps what it held before the run

std::vector<std::string> fit_args(const std::string &results, const std::string &log,
                                  const std::vector<std::string> &rest) {
  std::vector<std::string> args = {"0", "0", "data.crv", results, log};
  args.insert(args.end(), rest.begin(), rest.end());
  return args;
}

const std::vector<std::string> held = {"0", "10", "=2", "=1"};
const std::vector<std::string> no_iteration = {"0", "0", "1", "1"};

struct guarded_run {
  const char *name;
  std::string data;  // data.crv
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string appended;  // what the run appends to fit.res; empty when it never opens it
  std::string log;       // fit.log after the run, or kept
};

// Runs each case twice: in a folder that holds an earlier run's fit.res and fit.log, and in
// one that holds only the data. The first run must leave the earlier results in front of
// what it appends and the earlier log unless it writes its own; the second must create
// only the files that the run writes.
void check_guarded(const std::vector<guarded_run> &runs) {
  for (const guarded_run &g : runs) {
    SCOPED_TRACE(g.name);
    for (int earlier = 0; earlier <= 1; earlier++) {
      SCOPED_TRACE(earlier ? "after an earlier run" : "in a folder holding only the data");
      temp_dir work;
      work.write("data.crv", g.data);
      if (earlier) {
        work.write("fit.res", old_results);
        work.write("fit.log", old_log);
      }
      run_result r = run_program(VELQUIN_BIN, g.args, work.path());
      EXPECT_EQ(r.status, g.status);
      EXPECT_EQ(r.out, g.out);
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(work.read("data.crv"), g.data);
      // "<missing>" when the file is not there, as read_file says.
      std::string results = earlier ? old_results + g.appended : g.appended;
      std::string log = g.log != kept ? g.log : earlier ? old_log : "";
      EXPECT_EQ(work.read("fit.res"), results.empty() ? "<missing>" : results);
      EXPECT_EQ(work.read("fit.log"), log.empty() ? "<missing>" : log);
      EXPECT_EQ(work.list().size(), 1 + !results.empty() + !log.empty());
    }
  }
}

std::string points(int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += std::to_string(i) + " " + std::to_string(2 * i + 1) + "\n";
  return s;
}

TEST(velquin, completed_and_failed_runs_append_the_report_and_rewrite_the_log) {
  check_guarded({
      {"completed fit", line_data, fit_args("fit.res", "fit.log", held), 0, "", held_report,
       held_log},
      {"failed fit", line_data, fit_args("fit.res", "fit.log", no_iteration), 1, "", failed_report,
       failed_log},
  });
}

TEST(velquin, runs_that_end_before_the_fit_touch_no_output) {
  const std::string n256(256, 'n');
  const std::vector<std::string> args = fit_args("fit.res", "fit.log", held);
  auto with_id = [](const char *data_file, const char *id) {
    std::vector<std::string> a = {"0", id, data_file, "fit.res", "fit.log"};
    a.insert(a.end(), held.begin(), held.end());
    return a;
  };
  // clang-format off
  check_guarded({
      {"no arguments", line_data, {}, 1, velquin_usage_text, "", kept},
      {"six arguments", line_data, {"0", "0", "data.crv", "fit.res", "fit.log", "0"}, 1, velquin_usage_text,
       "", kept},
      {"log name too long", line_data, fit_args("fit.res", n256, held), 1,
       frame(true, "get_args", "File name too long: " + n256 + "\n"), "", kept},
      {"model without a formula", line_data, fit_args("fit.res", "fit.log", {"29", "10"}), 1,
       frame(true, "init_vars", "Unknown model number 29\n"), "", kept},
      {"missing data file", line_data, with_id("none.crv", "0"), 1,
       frame(false, "read_crv_data", "Unable to open file none.crv\n"), "", kept},
      {"data file is a folder", line_data, with_id(".", "0"), 1,
       frame(false, "read_crv_data", "Unable to read file .\n"), "", kept},
      {"missing dataset id", line_data, with_id("data.crv", "4"), 1,
       frame(false, "read_crv_data", "Unable to find Dataset ID = 4\n"), "", kept},
      {"nothing after the dataset id", "1 2\n3 4\n4\n# end\n", with_id("data.crv", "4"), 1,
       frame(false, "read_crv_data", "No valid data lines after id found."), "", kept},
      {"no data lines", "# only\n\n! comments\n", args, 1,
       frame(false, "read_crv_data", "No valid data lines."), "", kept},
      {"one column", "1\n2\n3\n", args, 1,
       frame(false, "read_crv_data", "Num of data columns must be 2 or 3"), "", kept},
      {"empty fields leave a line of one number", "0,,1\n1,,3\n", args, 1,
       frame(false, "read_crv_data", "Num of data columns must be 2 or 3"), "", kept},
      {"text inside the data", "0 1\n1 3\nx y\n", args, 1,
       frame(false, "read_crv_data", "Invalid data line 3\n"), "", kept},
      {"a 300-digit number makes a line too long", "0 1\n1 1" + std::string(299, '0') + "\n",
       args, 1, frame(false, "read_crv_data", "Line 2 is too long\n"), "", kept},
      {"one point", "0 1\n", args, 1,
       frame(true, "read_crv_data", "Error, Min data points is (2)\n"), "", kept},
      {"1501 points", points(1501), args, 1,
       frame(true, "read_crv_data", "Error, Max data points exceeds 1500\n"), "", kept},
  });
  // clang-format on
}

TEST(velquin, outputs_that_cannot_be_opened_are_fatal) {
  check_guarded({
      {"results file in a missing folder", line_data, fit_args("no_dir/fit.res", "fit.log", held),
       1, frame(true, "write_results", "Unable to open output file no_dir/fit.res"), "", kept},
      {"empty results name", line_data, fit_args("", "fit.log", held), 1,
       frame(true, "write_results", "Unable to open output file "), "", kept},
      // A failed fit has written its message to the log before the results.
      {"results file in a missing folder in a failed fit", line_data,
       fit_args("no_dir/fit.res", "fit.log", no_iteration), 1,
       frame(true, "write_results", "Unable to open output file no_dir/fit.res"), "",
       "velquin: Unable to graph function with your starting parameters.\n"},
      {"log in a missing folder after the results", line_data,
       fit_args("fit.res", "no_dir/fit.log", held), 1,
       frame(true, "write_log", "Unable to open output file no_dir/fit.log"), held_report, kept},
      {"log in a missing folder in a failed fit", line_data,
       fit_args("fit.res", "no_dir/fit.log", no_iteration), 1,
       frame(true, "write_log", "Unable to open output file no_dir/fit.log"), "", kept},
  });
}

TEST(velquin, write_errors_are_fatal) {
  check_guarded({
      {"results file on a full disk", line_data, fit_args("/dev/full", "fit.log", held), 1,
       frame(true, "write_results", "Unable to write output file /dev/full"), "", kept},
      {"results file on a full disk in a failed fit", line_data,
       fit_args("/dev/full", "fit.log", no_iteration), 1,
       frame(true, "write_results", "Unable to write output file /dev/full"), "",
       "velquin: Unable to graph function with your starting parameters.\n"},
      {"log on a full disk after the results", line_data, fit_args("fit.res", "/dev/full", held), 1,
       frame(true, "write_log", "Unable to write output file /dev/full"), held_report, kept},
      {"log on a full disk in a failed fit", line_data,
       fit_args("fit.res", "/dev/full", no_iteration), 1,
       frame(true, "write_log", "Unable to write output file /dev/full"), "", kept},
  });
}

// On a disk that fills up, the results file keeps its earlier reports and the part of the
// new one that was written; the log, rewritten, keeps what was written of the new one.
TEST(velquin, a_full_disk_cuts_only_what_the_run_writes) {
  const std::string graph_msg =
      "velquin: Unable to graph function with your starting parameters.\n";
  const struct {
    const char *name;
    std::vector<std::string> args;
    long limit;
    std::string out, results, log;
  } rows[] = {
      {"the report", fit_args("fit.res", "fit.log", held), 200,
       frame(true, "write_results", "Unable to write output file fit.res"),
       (old_results + std::string(held_report)).substr(0, 200), old_log},
      // Written to /dev/null, the report is not limited.
      {"the log of a completed fit", fit_args("/dev/null", "fit.log", held), 20,
       frame(true, "write_log", "Unable to write output file fit.log"), old_results,
       std::string(held_log).substr(0, 20)},
      {"the failure message of a failed fit", fit_args("fit.res", "fit.log", no_iteration), 30,
       frame(true, "write_log", "Unable to write output file fit.log"), old_results,
       graph_msg.substr(0, 30)},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    temp_dir work;
    work.write("data.crv", line_data);
    work.write("fit.res", old_results);
    work.write("fit.log", old_log);
    run_result r = run_with_file_limit(VELQUIN_BIN, row.args, work.path(), row.limit);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(work.read("fit.res"), row.results);
    EXPECT_EQ(work.read("fit.log"), row.log);
  }
}

// An output file that is the data file, or a log that is the results file, would lose the
// data or every earlier report: refused before any file is touched, whatever the spelling
// or link that names it, before the model number is looked at. Two names of a file that
// does not exist yet cannot be told apart: the log then replaces the new report.
TEST(velquin, output_named_as_another_file_of_the_run_is_refused) {
  const std::string unchanged = line_data + std::string("|") + old_results;
  const struct {
    const char *name;
    std::string results, log;
    const char *model;
    int status;
    std::string out;
    std::string after;  // data.crv, then "|", then fit.res
  } rows[] = {
      {"results file is the data file", "data.crv", "fit.log", "0", 1,
       frame(true, "get_args", "Output file data.crv is the data file\n"), unchanged},
      {"log is the data file", "fit.res", "./data.crv", "0", 1,
       frame(true, "get_args", "Output file ./data.crv is the data file\n"), unchanged},
      {"log is the results file", "fit.res", "fit.res", "0", 1,
       frame(true, "get_args", "Log file fit.res is the results file\n"), unchanged},
      {"a hard link to the data file", "link.crv", "fit.log", "0", 1,
       frame(true, "get_args", "Output file link.crv is the data file\n"), unchanged},
      {"a symbolic link to the results file", "fit.res", "sym.res", "0", 1,
       frame(true, "get_args", "Log file sym.res is the results file\n"), unchanged},
      {"before the model number", "data.crv", "fit.log", "99", 1,
       frame(true, "get_args", "Output file data.crv is the data file\n"), unchanged},
      {"a new file named twice", "new.res", "new.res", "0", 0, "", unchanged},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    temp_dir work;
    work.write("data.crv", line_data);
    work.write("fit.res", old_results);
    ASSERT_EQ(link(work.file("data.crv").c_str(), work.file("link.crv").c_str()), 0);
    ASSERT_EQ(symlink("fit.res", work.file("sym.res").c_str()), 0);
    std::vector<std::string> args = fit_args(row.results, row.log, held);
    args[5] = row.model;
    run_result r = run_program(VELQUIN_BIN, args, work.path());
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(work.read("data.crv") + "|" + work.read("fit.res"), row.after);
    EXPECT_EQ(work.exists("fit.log"), false);
    if (row.status == 0) {
      EXPECT_EQ(work.read("new.res"), held_log);
    }
  }
}

std::string lines_after(const std::string &text, const std::string &mark) {
  size_t at = text.find(mark);
  return at == std::string::npos ? "<no " + mark + ">" : text.substr(at + mark.size());
}

// Every data file is fitted with the line y = 2x + 1 held, so Y-Calc and the residuals
// follow by hand.
TEST(velquin, extreme_numbers_in_data_files) {
  const std::string digits250 = "1" + std::string(249, '0');
  const struct {
    const char *name;
    std::string data;
    std::string table;  // the point table's rows
    std::string rmse;   // the log's RMSE line
  } rows[] = {
      // 2e308 + 1 overflows; the RMSE of the residuals 0 and inf is inf.
      {"1e308", "0 1\n1e308 1e308\n",
       "         0          1          1          0\n"
       "    1e+308     1e+308        inf        inf\n",
       "        inf"},
      // The offset 0 added to x -0 makes it 0; y stays -0. Residuals 1 - -0 = 1 and 0 give
      // sqrt(1 / 2).
      {"-0", "-0 -0\n1 3\n",
       "         0         -0          1          1\n"
       "         1          3          3          0\n",
       "    0.70711"},
      {"inf and -inf", "0 inf\n1 -inf\n",
       "         0        inf          1       -inf\n"
       "         1       -inf          3        inf\n",
       "        inf"},
      {"nan and -nan", "0 nan\n-nan 1\n",
       "         0        nan          1        nan\n"
       "       nan          1        nan        nan\n",
       "        nan"},
      {"INFINITY and hexadecimal", "0x1p3 17\nINFINITY 1\n",
       "         8         17         17          0\n"
       "       inf          1        inf        inf\n",
       "        inf"},
      // A 250-digit y leaves a residual whose square overflows.
      {"250 digits", "0 1\n1 " + digits250 + "\n",
       "         0          1          1          0\n"
       "         1     1e+249          3    -1e+249\n",
       "        inf"},
      // Below the smallest double: both read as 0; residuals 0 and 3 give sqrt(9 / 2).
      {"1e-400", "1e-400 1\n1 1e-400\n",
       "         0          1          1          0\n"
       "         1          0          3          3\n",
       "     2.1213"},
      // A line of one number ends the dataset.
      {"empty fields after a number", "0 1\n1 3\n2,,\n5 5\n",
       "         0          1          1          0\n"
       "         1          3          3          0\n",
       "          0"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    temp_dir work;
    work.write("data.crv", row.data);
    run_result r = run_program(VELQUIN_BIN, fit_args("fit.res", "fit.log", held), work.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(work.read("fit.log"),
              "          2          0\n          1          0\n" + row.rmse + "\n 0\n");
    EXPECT_EQ(lines_after(work.read("fit.res"), "Y-Calc   Residual\n"),
              row.table + "\n************************************************************\n");
  }
}

TEST(velquin, extreme_numbers_on_the_command_line) {
  const std::string big = "1" + std::string(299, '0');
  const std::string unconverged = "velquin: Unable to converge with your starting parameters.\n";
  const struct {
    const char *name;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string log;  // fit.log, or kept
  } rows[] = {
      {"offset 1e308 takes every x to 1e308, and 2x + 1 overflows",
       {"1e308", "0", "data.crv", "fit.res", "fit.log", "0", "10", "=2", "=1"},
       0,
       "",
       "          2          0\n          1          0\n        inf\n 0\n"},
      {"offset nan",
       {"nan", "0", "data.crv", "fit.res", "fit.log", "0", "10", "=2", "=1"},
       0,
       "",
       "          2          0\n          1          0\n        nan\n 0\n"},
      {"offset -0",
       {"-0", "0", "data.crv", "fit.res", "fit.log", "0", "10", "=2", "=1"},
       0,
       "",
       held_log},
      {"300-digit offset",
       {big, "0", "data.crv", "fit.res", "fit.log", "0", "10", "=2", "=1"},
       0,
       "",
       "          2          0\n          1          0\n        inf\n 0\n"},
      // Everything 0: model 0, no iteration allowed, both parameters free from 0; the
      // starting RMSE is sqrt(82.9 / 4).
      {"empty numbers",
       {"", "", "data.crv", "fit.res", "fit.log", "", "", "", ""},
       1,
       "",
       "          0          0\n          0          0\n     4.5525\n 0\n"
       "velquin: Unable to graph function with your starting parameters.\n"},
      {"300-digit dataset id",
       {"0", big, "data.crv", "fit.res", "fit.log", "0", "10"},
       1,
       frame(false, "read_crv_data", "Unable to find Dataset ID = 2147483647\n"),
       kept},
      {"-300-digit dataset id",
       {"0", "-" + big, "data.crv", "fit.res", "fit.log", "0", "10"},
       1,
       frame(false, "read_crv_data", "Unable to find Dataset ID = -2147483648\n"),
       kept},
      {"300-digit model",
       {"0", "0", "data.crv", "fit.res", "fit.log", big, "10"},
       1,
       frame(true, "init_vars", "Unknown model number 2147483647\n"),
       kept},
      {"300-digit limit with every parameter held",
       fit_args("fit.res", "fit.log", {"0", big, "=2", "=1"}), 0, "", held_log},
      {"-300-digit limit", fit_args("fit.res", "fit.log", {"0", "-" + big, "2", "1"}), 1, "",
       "          2          0\n          1          0\n    0.15811\n -2147483648\n" + unconverged},
      {"held 1e308, inf, -0 and nan",
       fit_args("fit.res", "fit.log", {"8", "10", "=1e308", "=inf", "=-0", "=nan"}), 0, "",
       "     1e+308          0\n        inf          0\n         -0          0\n"
       "        nan          0\n        nan\n 0\n"},
      // 1e299 x squared overflows; 1e-400 reads as 0.
      {"held 300 digits and 1e-400",
       fit_args("fit.res", "fit.log", {"0", "10", "=" + big, "=1e-400"}), 0, "",
       "     1e+299          0\n          0          0\n        inf\n 0\n"},
      // A start where the model has no finite value never converges; the starting values
      // stay.
      {"free inf", fit_args("fit.res", "fit.log", {"0", "10", "inf", "1"}), 1, "",
       "        inf          0\n          1          0\n        nan\n 10\n" + unconverged},
      {"free nan", fit_args("fit.res", "fit.log", {"0", "10", "nan", "1"}), 1, "",
       "        nan          0\n          1          0\n        nan\n 10\n" + unconverged},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    temp_dir work;
    work.write("data.crv", line_data);
    work.write("fit.log", old_log);
    run_result r = run_program(VELQUIN_BIN, row.args, work.path());
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(work.read("fit.log"), row.log != kept ? row.log : old_log);
  }
}

}  // namespace
