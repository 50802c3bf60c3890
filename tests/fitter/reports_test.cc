// Tests of the results report and the run log, written from globals set by hand.
#include "reports.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "files.h"
#include "models.h"
#include "program_run.h"
#include "run_state.h"
#include "show_err.h"
#include "velquin_texts.h"

namespace {

// What a writer puts into a file.
template <class Writer>
std::string written(Writer write) {
  FILE *fp = tmpfile();
  write(fp);
  std::string text;
  rewind(fp);
  for (int c; (c = getc(fp)) != EOF;) text += (char)c;
  fclose(fp);
  return text;
}

std::string log_of(const char *message) {
  return written([message](FILE *fp) { write_log_results(fp, message); });
}

class reports : public testing::Test {
 protected:
  temp_dir dir;
  void SetUp() override {
    fill_catalogue();
    strcpy(dataFname, "in.crv");
    for (int i = 0; i < MAX_PARMS; i++) {
      fitParms[i] = 0.0;
      fitStdDev[i] = 0.0;
      holdConstFlag[i] = 0;
    }
    rmse = 0.0;
    itCount = 0;
    maxIt = 0;
  }
};

TEST_F(reports, log_holds_n_plus_two_lines_for_every_model) {
  for (int model = 0; model <= LAST_MODEL; model++) {
    SCOPED_TRACE(model);
    fitFunc = model;
    std::string log = log_of(NULL);
    int lines = 0;
    for (size_t at = 0; at < log.size(); at = log.find('\n', at) + 1) {
      EXPECT_EQ(log[at], ' ');
      lines++;
    }
    EXPECT_EQ(lines, fitParmNum[model] + 2);
  }
}

TEST_F(reports, values_of_any_magnitude_keep_their_columns) {
  fitFunc = 5;
  fitParms[0] = 1e300;
  fitStdDev[0] = -1.5e-300;
  fitParms[1] = -0.0;
  fitStdDev[1] = 123456789.0;
  rmse = INFINITY;
  itCount = 2147483647;
  EXPECT_EQ(log_of(NULL),
            "     1e+300  -1.5e-300\n"
            "         -0 1.2346e+08\n"
            "        inf\n"
            " 2147483647\n");
}

TEST_F(reports, failure_message_follows_the_summary) {
  fitFunc = 0;
  fitParms[0] = 2.5;
  fitParms[1] = -1.0;
  rmse = 0.125;
  itCount = 7;
  const char *message = "velquin: Unable to converge with your starting parameters.";
  EXPECT_EQ(written([message](FILE *fp) { write_log_msg(fp, message); }),
            "velquin: Unable to converge with your starting parameters.\n");
  EXPECT_EQ(log_of(message),
            "        2.5          0\n"
            "         -1          0\n"
            "      0.125\n"
            " 7\n"
            "velquin: Unable to converge with your starting parameters.\n");
}

TEST_F(reports, refused_points_show_nan_and_keep_their_row) {
  // Model 16 refuses where its cubic has no admissible root; the first row refuses
  // before any point has evaluated.
  fitFunc = 16;
  fitParms[0] = 1.0;
  fitParms[1] = 1.0;
  fitParms[2] = 1.0;
  fitParms[3] = 1.0;  // D = 1 - 4 = -3
  holdConstFlag[1] = 1;
  numData = 2;
  numDataCol = 2;
  xOffsetData[0] = 1.0;
  yData[0] = 2.0;
  xOffsetData[1] = 3.0;
  yData[1] = 4.0;
  rmse = -1.0;
  maxIt = 10;
  // With x2 = 0.0 for two-column data: a = (1 - 4)/-3 = 1, b = (x*x + x + 1)/3, so
  // P = (x*x + x)/3 > 0 at both points: no admissible root.
  EXPECT_EQ(written(write_results), R"(
Data Input.: in.crv
Num of data: 2

Function...: Chemical Shift (XY2)
Description: Notes: X+Y <=> XY; XY+Y <=> XY2; obs X
Parameters.: 4

Parameter   Hold Constant      Value     StdDev
Shift-LM1:       no                1          0
DKd1.....:       yes               1          0
Shift-LM2:       no                1          0
DKd2.....:       no                1          0

RMSE.......: -1)"
                                    "        \n"
                                    R"(Iterations.: 0
Max It.....: 10

Point by Point Analysis
      X[i]      Y[i]     Y-Calc   Residual
         1          2        nan        nan
         3          4        nan        nan

************************************************************
)");
}

TEST_F(reports, outputs_that_cannot_be_opened_or_written_are_fatal_reports) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(open_output("/nonexistent/dir/fit.log", "w", "write_log"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            frame(true, "write_log", "Unable to open output file /nonexistent/dir/fit.log"));
  FILE *fp = open_output("/dev/full", "a", "write_results");
  ASSERT_NE(fp, nullptr);
  write_results(fp);
  testing::internal::CaptureStdout();
  EXPECT_EQ(close_output(fp, "/dev/full", "write_results"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            frame(true, "write_results", "Unable to write output file /dev/full"));
  EXPECT_STREQ(errMessage, "Unable to write output file /dev/full");
}

}  // namespace
