// What the program tests of velquin and velplot expect on standard output, and the small
// dataset with an earlier run's files beside it that several of them run on.
#ifndef VELQUIN_TESTS_VELQUIN_TEXTS_H
#define VELQUIN_TESTS_VELQUIN_TEXTS_H

#include <string>

// The frame that show_err prints.
inline std::string frame(bool fatal, const std::string &module, const std::string &message) {
  const std::string rule = "\n************************************************\n";
  return rule + "\n" + (fatal ? " Fatal Error Detected!\n" : " Warning, Error Detected!\n") +
         "\n Module.: " + module + "\n Message: " + message + "\n" + rule + "\n";
}

inline constexpr char velquin_usage_text[] =
    R"(usage: velquin dataOffset datasetId dataFile resultsFile logFile model maxIterations
               [parameter ...]

  dataOffset     number added to every x value of the dataset
  datasetId      id of the dataset in dataFile; 0 takes the first data of the file
  dataFile       curve data file to read
  resultsFile    report file; each run appends its report
  logFile        summary file; each run rewrites it
  model          model number, 0 to 28
  maxIterations  iteration limit
  parameter      starting value of each model parameter, in order (at most 10);
                 a leading "=" holds it constant, as in =2.5; missing ones start
                 at 0 and are varied

Exit status: 0 after a completed fit, 1 after a failed fit or an error.
)";

// A noisy straight line, with an earlier run's results and log beside it. (Exact data
// would never converge: every damped step only shrinks the residuals by a tenth.)
inline constexpr char line_data[] = "# y = 2x + 1 and noise\n0 1.1\n1 2.9\n2 5.2\n3 6.8\n";
inline constexpr char old_results[] = "an earlier report\n";
inline constexpr char old_log[] = " old log\n";

// The line data fitted from 1 and 1 with no iteration allowed: the fit fails at its starting
// values, with Y-Calc 1, 2, 3, 4 and an RMSE of sqrt(13.5 / 4) = 1.8371.
inline constexpr char failed_report[] = R"(
Data Input.: data.crv
Num of data: 4

Function...: Straight Line
Description: Notes: A0*x + A1
Parameters.: 2

Parameter   Hold Constant      Value     StdDev
A0.......:       no                1          0
A1.......:       no                1          0

RMSE.......: 1.8371)"
                                        "    \n"
                                        R"(Iterations.: 0
Max It.....: 0

Point by Point Analysis
      X[i]      Y[i]     Y-Calc   Residual
         0        1.1          1       -0.1
         1        2.9          2       -0.9
         2        5.2          3       -2.2
         3        6.8          4       -2.8

************************************************************
)";
inline constexpr char failed_log[] =
    "          1          0\n          1          0\n     1.8371\n 0\n"
    "velquin: Unable to graph function with your starting parameters.\n";

#endif  // VELQUIN_TESTS_VELQUIN_TEXTS_H
