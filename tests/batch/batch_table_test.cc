// Unit tests of the table writer: the header of each model's labels and rows whose numbers
// read back as the very doubles.
#include "batch_table.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>

#include <string>

#include "models.h"

namespace {

std::string header(int model) {
  char buf[ROW_SIZE];
  int len = table_header(buf, sizeof buf, model);
  return len < 0 ? "too long" : std::string(buf, len);
}

TEST(table_header, names_each_parameter_and_its_deviation) {
  fill_catalogue();
  EXPECT_EQ(header(4), "id\tstatus\titerations\trmse\tMo\tMo_sd\tW\tW_sd\tT1\tT1_sd\tmessage\n");
  EXPECT_EQ(header(12), "id\tstatus\titerations\trmse\tmessage\n");
  EXPECT_EQ(header(7),
            "id\tstatus\titerations\trmse\tKd\tKd_sd\tR2D\tR2D_sd\tR2M\tR2M_sd\tTAU\tTAU_sd\t"
            "DELTASQU\tDELTASQU_sd\tmessage\n");
  EXPECT_NE(header(17).find("\tVo(1)\tVo(1)_sd\tT1(1)\t"), std::string::npos);
  EXPECT_NE(header(16).find("\tShift-LM1\tShift-LM1_sd\t"), std::string::npos);
  char small[8];
  EXPECT_EQ(table_header(small, sizeof small, 4), -1);
}

TEST(table_row, numbers_read_back_exactly) {
  fill_catalogue();
  fitFunc = 8;  // four parameters
  const double values[8] = {0.1, -0.0, 1e-300, 5e-324, -NAN, INFINITY, -INFINITY, 1.0 / 3};
  for (int i = 0; i < 4; i++) {
    fitParms[i] = values[2 * i];
    fitStdDev[i] = values[2 * i + 1];
  }
  itCount = -5;
  rmse = 123456789012.5;
  char buf[ROW_SIZE];
  int len = table_row(buf, sizeof buf, -7, BATCH_FAILED, "a\tb\"c\r\n");
  EXPECT_EQ(std::string(buf, len),
            "-7\tfailed\t-5\t123456789012.5\t0.1\t-0\t1e-300\t5e-324\tnan\tinf\t-inf\t"
            "0.3333333333333333\ta b c\n");
  EXPECT_EQ(strtod("0.3333333333333333", nullptr), 1.0 / 3);
  len = table_row(buf, sizeof buf, 3, BATCH_REFUSED, "Invalid data line 7\n");
  EXPECT_EQ(std::string(buf, len), "3\trefused\t\t\t\t\t\t\t\t\t\t\tInvalid data line 7\n");
  len = table_row(buf, sizeof buf, 3, BATCH_OK, nullptr);
  EXPECT_EQ(std::string(buf, len).substr(0, 8), "3\tok\t-5\t");
  EXPECT_EQ(buf[len - 2], '\t');
  EXPECT_EQ(table_row(buf, 20, 3, BATCH_OK, nullptr), -1);
}

}  // namespace
