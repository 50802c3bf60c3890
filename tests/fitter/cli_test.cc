// Tests of the strict number readers of a command line: the whole text is the number, or
// nothing is read.
#include "cli.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <math.h>

namespace {

TEST(whole_number, reads_only_a_number_as_a_whole) {
  const struct {
    const char *text;
    int isInt, isNumber;  // whole_int, whole_number
    double value;
  } rows[] = {
      {"100", 1, 1, 100},   {"-7", 1, 1, -7},      {"+3", 1, 1, 3},        {"1OO", 0, 0, 0},
      {"5x", 0, 0, 0},      {"1,5", 0, 0, 0},      {"", 0, 0, 0},          {" 5", 0, 0, 0},
      {"5 ", 0, 0, 0},      {"1e3", 0, 1, 1000},   {"-.5", 0, 1, -0.5},    {"inf", 0, 1, HUGE_VAL},
      {"0x10", 0, 1, 16},   {"-", 0, 0, 0},        {"=2", 0, 0, 0},        {"1.", 0, 1, 1},
      {"99999999999999999999", 1, 1, 1e20},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.text);
    int i = -1;
    double d = -1.0;
    EXPECT_EQ(whole_int(r.text, &i), r.isInt);
    EXPECT_EQ(i, r.isInt ? (r.value > INT_MAX ? INT_MAX : (int)r.value) : -1);
    EXPECT_EQ(whole_number(r.text, &d), r.isNumber);
    EXPECT_EQ(d, r.isNumber ? r.value : -1.0);
  }
  double v = 0.0;
  EXPECT_EQ(whole_number("nan", &v), 1);
  EXPECT_TRUE(isnan(v));
}

TEST(whole_parm, takes_an_optional_hold_mark_before_a_whole_number) {
  const struct {
    const char *arg;
    int ok;
    double value;
    int held;
  } rows[] = {
      {"2.5", 1, 2.5, 0}, {"=2.5", 1, 2.5, 1}, {"=-3e2", 1, -300, 1}, {"=", 0, -1, -1},
      {"==2", 0, -1, -1}, {"=1OO", 0, -1, -1}, {" =2", 0, -1, -1},    {"abc", 0, -1, -1},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.arg);
    double value = -1.0;
    int held = -1;
    EXPECT_EQ(whole_parm(r.arg, &value, &held), r.ok);
    EXPECT_EQ(value, r.value);
    EXPECT_EQ(held, r.held);
  }
}

}  // namespace
