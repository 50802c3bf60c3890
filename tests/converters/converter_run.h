// Helpers of the converter tests: one conversion of an input text in a fresh folder, and a
// fit of a converted file by velquin, read back from its log.
#ifndef VELQUIN_TESTS_CONVERTER_RUN_H
#define VELQUIN_TESTS_CONVERTER_RUN_H

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "program_run.h"

struct conversion {
  int status;
  std::string out;  // standard output
  std::string err;  // standard error
  std::string crv;  // the output file, "<missing>" when there is none
};

// Runs program as `program in.txt out.crv` in a fresh folder, in.txt holding input.
inline conversion convert(const char *program, const std::string &input) {
  temp_dir work;
  work.write("in.txt", input);
  run_result r = run_program(program, {"in.txt", "out.crv"}, work.path());
  return {r.status, r.out, r.err, work.read("out.crv")};
}

// Checks one conversion: its status, standard output and output file, nothing on
// standard error.
inline void expect_conversion(const conversion &c, int status, const std::string &out,
                              const std::string &crv) {
  EXPECT_EQ(c.status, status);
  EXPECT_EQ(c.out, out);
  EXPECT_EQ(c.err, "");
  EXPECT_EQ(c.crv, crv);
}

// Checks a rejected input: status 1, the one-line reason, no output file.
inline void expect_rejected(const conversion &c, const std::string &message) {
  expect_conversion(c, 1, message, "<missing>");
}

// Fits dataset id of the curve data file crv in folder work with model and the starting
// values given, expecting exit status 0; returns the fitted values from the log.
inline std::vector<double> fit(const temp_dir &work, const std::string &crv, int id, int model,
                               const std::vector<std::string> &start) {
  std::vector<std::string> args = {"0", std::to_string(id), crv, "fit.res", "fit.log"};
  args.push_back(std::to_string(model));
  args.push_back("500");
  args.insert(args.end(), start.begin(), start.end());
  run_result r = run_program(VELQUIN_BIN, args, work.path());
  EXPECT_EQ(r.status, 0) << r.out;
  // The log holds one "value stddev" line per parameter, then the RMSE and the iterations.
  std::istringstream log(work.read("fit.log"));
  std::vector<double> values;
  for (size_t i = 0; i < start.size(); i++) {
    double value = 0.0, sd = 0.0;
    log >> value >> sd;
    values.push_back(value);
  }
  EXPECT_TRUE(log) << work.read("fit.log");
  return values;
}

// Each fitted value lies within tolerance (relative) of the value the data were made with.
inline void expect_near_all(const std::vector<double> &got, const std::vector<double> &truth,
                            double tolerance) {
  ASSERT_EQ(got.size(), truth.size());
  for (size_t i = 0; i < got.size(); i++) {
    EXPECT_NEAR(got[i], truth[i], tolerance * std::abs(truth[i])) << "parameter " << i;
  }
}

#endif  // VELQUIN_TESTS_CONVERTER_RUN_H
