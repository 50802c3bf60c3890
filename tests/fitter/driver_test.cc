// Tests of the driver steps that fill the run state: get_args, init_vars.
#include "driver.h"

#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "program_run.h"
#include "run_state.h"
#include "show_err.h"
#include "velquin_texts.h"

namespace {

class run_state_test : public testing::Test {
 protected:
  void SetUp() override {
    dataOffset = 0.0;
    dataRes = 0;
    fitFunc = 0;
    maxIt = 0;
    numParms = numData = numDataCol = 0;
    for (int i = 0; i < MAX_PARMS; i++) {
      fitParms[i] = 0.0;
      holdConstFlag[i] = 0;
    }
    for (int i = 0; i < MAX_POINTS; i++) xOffsetData[i] = yData[i] = tData[i] = -1.0;
  }

  static void parse(std::vector<std::string> args) {
    args.insert(args.begin(), "velquin");
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    get_args((int)args.size(), argv.data());
  }
};

using get_args_test = run_state_test;
using init_vars_test = run_state_test;

TEST_F(get_args_test, fills_the_command_line_globals) {
  parse({" 1.5x", "3", "data.crv", "fit.res", "fit.log", "4", "100", "1.0", "=0.5", "200"});
  EXPECT_EQ(dataOffset, 1.5);
  EXPECT_EQ(dataRes, 3);
  EXPECT_STREQ(dataFname, "data.crv");
  EXPECT_STREQ(resultsFname, "fit.res");
  EXPECT_STREQ(logFname, "fit.log");
  EXPECT_EQ(fitFunc, 4);
  EXPECT_EQ(maxIt, 100);
  const double values[] = {1.0, 0.5, 200.0, 0.0};
  const int held[] = {0, 1, 0, 0};
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(fitParms[i], values[i]) << i;
    EXPECT_EQ(holdConstFlag[i], held[i]) << i;
  }
}

TEST_F(get_args_test, parameter_arguments) {
  struct row {
    const char *arg;
    double value;
    int held;
  } rows[] = {
      {"=", 0.0, 1},     {"=-3e2", -300.0, 1}, {"-3e2", -300.0, 0},   {"abc", 0.0, 0},
      {"==2", 0.0, 1},   {" =2", 0.0, 0},      {"=inf", HUGE_VAL, 1}, {"1e999", HUGE_VAL, 0},
      {"0x10", 16.0, 0}, {"=+.25", 0.25, 1},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.arg);
    SetUp();
    parse({"0", "abc", "d", "r", "l", "0", "10", r.arg});
    EXPECT_EQ(dataRes, 0);
    EXPECT_EQ(fitParms[0], r.value);
    EXPECT_EQ(holdConstFlag[0], r.held);
  }
}

TEST_F(get_args_test, surplus_parameters_are_ignored) {
  std::vector<std::string> args = {"0", "0", "d", "r", "l", "0", "10"};
  for (int i = 1; i <= MAX_PARMS + 5; i++) args.push_back("=" + std::to_string(i));
  parse(args);
  for (int i = 0; i < MAX_PARMS; i++) {
    EXPECT_EQ(fitParms[i], i + 1.0);
    EXPECT_EQ(holdConstFlag[i], 1);
  }
}

TEST_F(init_vars_test, adds_the_offset_to_x_only) {
  temp_dir dir;
  dir.write("two.crv", "1 10\n2 20\n3 30\n");
  dir.write("three.crv", "1 10 100\n2 20 200\n");
  struct row {
    const char *file;
    int columns;
    std::vector<double> t;
  } rows[] = {{"two.crv", 2, {0.0, 0.0, 0.0}}, {"three.crv", 3, {100.0, 200.0}}};
  for (const row &r : rows) {
    SCOPED_TRACE(r.file);
    SetUp();
    parse({"1.5", "0", dir.file(r.file), "r", "l", "4", "10"});
    init_vars();
    EXPECT_EQ(numParms, 3);  // the T1 relaxation's count
    EXPECT_EQ(numDataCol, r.columns);
    ASSERT_EQ(numData, (int)r.t.size());
    for (int i = 0; i < numData; i++) {
      EXPECT_EQ(xOffsetData[i], i + 2.5);
      EXPECT_EQ(yData[i], 10.0 * (i + 1));
      EXPECT_EQ(tData[i], r.t[i]);  // two-column data pass 0.0 as the second variable
    }
  }
}

TEST_F(get_args_test, numbers_beyond_the_int_range_are_clamped) {
  parse({"0", "99999999999", "d", "r", "l", "4294967296", "-4294967297"});
  EXPECT_EQ(dataRes, 2147483647);
  EXPECT_EQ(fitFunc, 2147483647);
  EXPECT_EQ(maxIt, -2147483647 - 1);
}

TEST_F(init_vars_test, refuses_models_without_a_formula) {
  // With a readable data file, a missing check would let init_vars return.
  temp_dir dir;
  dir.write("data.crv", "1 2\n3 4\n");
  const int models[] = {-1, 29, 49, 50, 2147483647, -2147483647 - 1};
  for (int m : models) {
    SCOPED_TRACE(m);
    SetUp();
    parse({"0", "0", dir.file("data.crv"), "r", "l", std::to_string(m), "10"});
    testing::internal::CaptureStdout();
    EXPECT_EQ(init_vars(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              frame(true, "init_vars", "Unknown model number " + std::to_string(m) + "\n"));
    EXPECT_EQ(numData, 0);
  }
  parse({"0", "0", dir.file("data.crv"), "r", "l", "28", "10"});
  EXPECT_EQ(init_vars(), 1);
  EXPECT_EQ(numData, 2);
}

}  // namespace
