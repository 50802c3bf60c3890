// Program tests of the built velquin: exit status, standard output and every file of
// the working folder after the run, byte for byte.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "program_run.h"
#include "velquin_texts.h"

namespace {

std::vector<std::string> read_lines(const std::string &path) {
  std::vector<std::string> lines;
  std::string content = read_file(path), line;
  for (char c : content) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Each folder of tests/data/runs is one recorded run: input/ (the files before it), args
// (one argument a line), expected/ (the files after it), expected.stdout, expected.status,
// and shows, the test's name: what the run shows. The recordings cover a fit of every
// model, data-file cases and command-line cases.
struct recorded_run {
  std::string dir, shows;
};

// Named by its folder in test listings, rather than by its bytes.
void PrintTo(const recorded_run &run, std::ostream *os) { *os << run.dir; }

std::vector<recorded_run> recorded_runs() {
  std::string runs = std::string(TEST_DATA_DIR) + "/runs";
  std::vector<recorded_run> found;
  for (const std::string &name : list_dir(runs)) {
    std::string dir = runs + "/" + name;
    std::vector<std::string> shows = read_lines(dir + "/shows");
    found.push_back({dir, shows.empty() ? "no_name_" + std::to_string(found.size()) : shows[0]});
  }
  return found;
}

// A missing or emptied folder of runs must not pass.
TEST(velquin, every_recorded_run_has_a_test_of_its_own) {
  std::vector<recorded_run> runs = recorded_runs();
  ASSERT_GE(runs.size(), 46u);
  std::vector<std::string> names;
  for (const recorded_run &run : runs) names.push_back(run.shows);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

class recorded : public testing::TestWithParam<recorded_run> {};

TEST_P(recorded, run_reproduces_byte_for_byte) {
  const std::string &dir = GetParam().dir;
  temp_dir work;
  for (const std::string &f : list_dir(dir + "/input")) {
    work.write(f, read_file(dir + "/input/" + f));
  }
  run_result r = run_program(VELQUIN_BIN, read_lines(dir + "/args"), work.path());
  EXPECT_EQ(std::to_string(r.status) + "\n", read_file(dir + "/expected.status"));
  EXPECT_EQ(r.out, read_file(dir + "/expected.stdout"));
  EXPECT_EQ(r.err, "");
  std::vector<std::string> expected = list_dir(dir + "/expected");
  EXPECT_EQ(work.list(), expected);
  for (const std::string &f : expected) {
    SCOPED_TRACE(f);
    EXPECT_EQ(work.read(f), read_file(dir + "/expected/" + f));
  }
}

INSTANTIATE_TEST_SUITE_P(velquin, recorded, testing::ValuesIn(recorded_runs()),
                         [](const testing::TestParamInfo<recorded_run> &run) {
                           return run.param.shows;
                         });

struct file {
  std::string name, content;
};

struct run_case {
  const char *name;
  std::vector<std::string> args;
  int status;
  std::string out;
  std::vector<file> after;  // every file of the folder after the run, beside the data
};

// Runs each case in a folder holding data.crv, fit.res and fit.log as above.
void check_runs(const std::vector<run_case> &cases) {
  for (const run_case &c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir work;
    work.write("data.crv", line_data);
    work.write("fit.res", old_results);
    work.write("fit.log", old_log);
    run_result r = run_program(VELQUIN_BIN, c.args, work.path());
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, "");
    std::vector<std::string> names = {"data.crv"};
    for (const file &f : c.after) names.push_back(f.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(work.list(), names);
    EXPECT_EQ(work.read("data.crv"), line_data);
    for (const file &f : c.after) {
      SCOPED_TRACE(f.name);
      EXPECT_EQ(work.read(f.name), f.content);
    }
  }
}

const std::vector<file> untouched = {{"fit.res", old_results}, {"fit.log", old_log}};

TEST(velquin, command_line_errors_touch_no_file) {
  std::string n255(255, 'n'), n256(256, 'n');
  std::string big(5000, 'b');
  check_runs({
      {"no arguments", {}, 1, velquin_usage_text, untouched},
      {"--help", {"--help"}, 0, velquin_usage_text, untouched},
      {"--version",
       {"--version"},
       0,
       std::string("velquin (velquin) ") + VELQUIN_VERSION + "\n",
       untouched},
      {"--version with another argument is a short command line",
       {"--version", "0"},
       1,
       velquin_usage_text,
       untouched},
      {"six arguments",
       {"0", "0", "data.crv", "fit.res", "fit.log", "0"},
       1,
       velquin_usage_text,
       untouched},
      {"a short command line comes before long names",
       {"0", "0", n256, n256, n256, "0"},
       1,
       velquin_usage_text,
       untouched},
      {"data file name too long",
       {"0", "0", n256, "fit.res", "fit.log", "0", "10"},
       1,
       frame(true, "get_args", "File name too long: " + n256 + "\n"),
       untouched},
      {"the first long name is the one reported",
       {"0", "0", "data.crv", n256 + "r", n256 + "l", "0", "10"},
       1,
       frame(true, "get_args", "File name too long: " + n256 + "r\n"),
       untouched},
      {"a very long log name is named whole",
       {"0", "0", "data.crv", "fit.res", big, "0", "10"},
       1,
       frame(true, "get_args", "File name too long: " + big + "\n"),
       untouched},
      {"long names come before the model number",
       {"0", "0", "data.crv", "fit.res", n256, "99", "10"},
       1,
       frame(true, "get_args", "File name too long: " + n256 + "\n"),
       untouched},
      {"model 29 has no formula",
       {"0", "0", "data.crv", "fit.res", "fit.log", "29", "10", "1"},
       1,
       frame(true, "init_vars", "Unknown model number 29\n"),
       untouched},
      {"model 49",
       {"0", "0", "data.crv", "fit.res", "fit.log", "49", "10"},
       1,
       frame(true, "init_vars", "Unknown model number 49\n"),
       untouched},
      {"model 50",
       {"0", "0", "data.crv", "fit.res", "fit.log", "50", "10"},
       1,
       frame(true, "init_vars", "Unknown model number 50\n"),
       untouched},
      {"negative model",
       {"0", "0", "data.crv", "fit.res", "fit.log", "-1", "10"},
       1,
       frame(true, "init_vars", "Unknown model number -1\n"),
       untouched},
      {"model checked before the data file is read",
       {"0", "0", "missing.crv", "fit.res", "fit.log", "2147483647", "10"},
       1,
       frame(true, "init_vars", "Unknown model number 2147483647\n"),
       untouched},
      {"a model number beyond the int range",
       {"0", "0", "data.crv", "fit.res", "fit.log", "4294967296", "10"},
       1,
       frame(true, "init_vars", "Unknown model number 2147483647\n"),
       untouched},
      {"a name of 255 characters is taken",
       {"0", "0", n255, "fit.res", "fit.log", "0", "10"},
       1,
       frame(false, "read_crv_data", "Unable to open file " + n255 + "\n"),
       untouched},
  });
}

TEST(velquin, failed_data_loads_leave_earlier_files) {
  check_runs({
      {"missing data file",
       {"0", "0", "nothing.crv", "fit.res", "fit.log", "0", "10", "1", "1"},
       1,
       frame(false, "read_crv_data", "Unable to open file nothing.crv\n"),
       untouched},
      {"missing dataset id",
       {"0", "4", "data.crv", "fit.res", "fit.log", "0", "10"},
       1,
       frame(false, "read_crv_data", "Unable to find Dataset ID = 4\n"),
       untouched},
  });
}

TEST(velquin, bad_data_lines_are_refused_before_any_output) {
  struct bad_file {
    const char *name;
    std::string content;
    std::string out;
  } cases[] = {
      {"text inside the data", "0 1\n1 3\nx y\n2 5\n",
       frame(false, "read_crv_data", "Invalid data line 3\n")},
      {"overlong line", "0 1\n1 3\n" + std::string(300, '2') + " 5\n",
       frame(false, "read_crv_data", "Line 3 is too long\n")},
      {"one point", "# one\n0 1\n",
       frame(true, "read_crv_data", "Error, Min data points is (2)\n")},
  };
  for (const bad_file &c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir work;
    work.write("bad.crv", c.content);
    work.write("fit.log", old_log);
    run_result r = run_program(VELQUIN_BIN, {"0", "0", "bad.crv", "fit.res", "fit.log", "0", "10"},
                               work.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(work.list(), (std::vector<std::string>{"bad.crv", "fit.log"}));
    EXPECT_EQ(work.read("fit.log"), old_log);
  }
}

TEST(velquin, too_many_points_is_fatal) {
  temp_dir work;
  std::string data;
  for (int i = 0; i <= 1500; i++)
    data += std::to_string(i) + " " + std::to_string(2 * i + 1) + "\n";
  work.write("big.crv", data);
  run_result r =
      run_program(VELQUIN_BIN, {"0", "0", "big.crv", "fit.res", "fit.log", "0", "10"}, work.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, frame(true, "read_crv_data", "Error, Max data points exceeds 1500\n"));
  EXPECT_EQ(work.list(), std::vector<std::string>{"big.crv"});
}

// Model 12 has a formula but no catalogue row: nothing to fit, the report shows the
// model at the given values under an empty label and note.
const char model12_report[] = R"(an earlier report

Data Input.: data.crv
Num of data: 4

Function...:)"
                              " \n"
                              "Description: \n"
                              R"(Parameters.: 0

Parameter   Hold Constant      Value     StdDev

RMSE.......: 4.5525)"
                              "    \n"
                              R"(Iterations.: 0
Max It.....: 10

Point by Point Analysis
      X[i]      Y[i]     Y-Calc   Residual
         0        1.1          0       -1.1
         1        2.9          0       -2.9
         2        5.2          0       -5.2
         3        6.8          0       -6.8

************************************************************
)";

TEST(velquin, outputs_of_completed_and_failed_runs) {
  check_runs({
      {"model 12 runs with nothing free",
       {"0", "0", "data.crv", "fit.res", "fit.log", "12", "10", "0", "1", "2", "3", "4"},
       0,
       "",
       {{"fit.res", model12_report}, {"fit.log", "     4.5525\n 0\n"}}},
      {"a failed fit keeps its message after the summary",
       {"0", "0", "data.crv", "fit.res", "fit.log", "0", "0", "1", "1"},
       1,
       "",
       {{"fit.res", std::string(old_results) + failed_report}, {"fit.log", failed_log}}},
      {"an unwritable log ends a failed fit before the report",
       {"0", "0", "data.crv", "fit.res", "no_dir/fit.log", "0", "0", "1", "1"},
       1,
       frame(true, "write_log", "Unable to open output file no_dir/fit.log"),
       {{"fit.res", old_results}, {"fit.log", old_log}}},
      {"an unwritable results file leaves the old log",
       {"0", "0", "data.crv", "no_dir/fit.res", "fit.log", "0", "100", "1", "1"},
       1,
       frame(true, "write_results", "Unable to open output file no_dir/fit.res"),
       untouched},
  });
}

// With no parameter arguments every parameter starts at 0.0 and is varied. The least-
// squares line through the data is y = 1.94x + 1.09 with an RMSE of sqrt(0.0205); the fit
// stops within its convergence tolerance of it.
TEST(velquin, seven_arguments_start_every_parameter_at_zero) {
  temp_dir work;
  work.write("data.crv", line_data);
  run_result r = run_program(VELQUIN_BIN, {"0", "0", "data.crv", "fit.res", "fit.log", "0", "1000"},
                             work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  double a0, s0, a1, s1, fit_rmse;
  int iterations;
  ASSERT_EQ(sscanf(work.read("fit.log").c_str(), "%lf %lf %lf %lf %lf %d", &a0, &s0, &a1, &s1,
                   &fit_rmse, &iterations),
            6);
  EXPECT_NEAR(a0, 1.94, 0.005);
  EXPECT_NEAR(a1, 1.09, 0.01);
  EXPECT_NEAR(fit_rmse, sqrt(0.0205), 1e-5);
  EXPECT_GT(s0, 0.0);
  EXPECT_GT(iterations, 1);
}

}  // namespace
