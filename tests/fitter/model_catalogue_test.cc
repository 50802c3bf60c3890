// Unit tests of the model catalogue: which rows are filled, the shape of every row, the
// irregular rows that the reports depend on, and a few rows byte for byte.
#include <gtest/gtest.h>
#include <string.h>

#include "models.h"

namespace {

class fill_catalogue_test : public testing::Test {
 protected:
  // Back to the all-zero tables of process start, then the one fill of init_vars.
  void SetUp() override {
    for (int r = 0; r < CATALOGUE_ROWS; r++) {
      fitLabel[r] = nullptr;
      fitNote[r] = nullptr;
      fitParmNum[r] = 0;
      for (int i = 0; i < MAX_PARMS; i++) fitParmStr[r][i] = nullptr;
    }
    fill_catalogue();
  }
};

TEST_F(fill_catalogue_test, fills_rows_0_to_28_but_12) {
  for (int r = 0; r < CATALOGUE_ROWS; r++) {
    SCOPED_TRACE(testing::Message() << "row " << r);
    if (r <= 28 && r != 12) {
      ASSERT_NE(fitLabel[r], nullptr);
      ASSERT_NE(fitNote[r], nullptr);
      int n = fitParmNum[r];
      ASSERT_GE(n, 2);
      ASSERT_LT(n, MAX_PARMS);
      for (int i = 0; i < n; i++) {
        ASSERT_NE(fitParmStr[r][i], nullptr) << "label " << i;
        const char *s = fitParmStr[r][i];
        EXPECT_EQ(strlen(s), 10u) << s;
        EXPECT_EQ(s[9], ':') << s;
        EXPECT_NE(s[0], '.') << s;
        // the name, then nothing but dots up to the colon
        const char *dot = strchr(s, '.');
        if (dot != nullptr) {
          EXPECT_EQ(strspn(dot, "."), (size_t)(s + 9 - dot)) << s;
        }
      }
      for (int i = n; i < MAX_PARMS; i++) EXPECT_EQ(fitParmStr[r][i], nullptr) << "slot " << i;
    } else {
      EXPECT_EQ(fitLabel[r], nullptr);
      EXPECT_EQ(fitNote[r], nullptr);
      EXPECT_EQ(fitParmNum[r], 0);
      for (int i = 0; i < MAX_PARMS; i++) EXPECT_EQ(fitParmStr[r][i], nullptr) << "slot " << i;
    }
  }
}

// These rows look like slips and are not: stored reports carry them as they are.
TEST_F(fill_catalogue_test, irregular_rows_stand_as_they_are) {
  EXPECT_STREQ(fitLabel[8], "Sum of Exponentials");
  EXPECT_STREQ(fitLabel[26], "Sum of Exponentials");
  EXPECT_STRNE(fitNote[8], fitNote[26]);
  EXPECT_STREQ(fitLabel[18], "Gaussian");
  EXPECT_STREQ(fitNote[18], "Notes: Mo*(loren1 + F*loren2)");
  EXPECT_STREQ(fitNote[17], fitNote[19]);
  for (int r = 0; r <= 28; r++) {
    if (r == 12) continue;
    SCOPED_TRACE(testing::Message() << "row " << r);
    bool prefixed = strncmp(fitNote[r], "Notes: ", 7) == 0;
    EXPECT_EQ(prefixed, r < 20 || r > 24);
    bool lower = fitParmStr[r][0][0] == 'a' && fitParmStr[r][0][1] == '0';
    EXPECT_EQ(lower, r == 13 || r == 14);
  }
}

struct published_row {
  int no;
  const char *label;
  const char *note;
  int n;
  const char *parm[MAX_PARMS];
};

// clang-format off
const published_row published_rows[] = {
  {0, "Straight Line", "Notes: A0*x + A1", 2, {"A0.......:", "A1.......:"}},
  {7, "R2X Dimer", "Notes: (Fm*R2M + Fd*R2D) + (Fm*Fd*Tau*DeltaSqu)", 5,
   {"Kd.......:", "R2D......:", "R2M......:", "TAU......:", "DELTASQU.:"}},
  {16, "Chemical Shift (XY2)", "Notes: X+Y <=> XY; XY+Y <=> XY2; obs X", 4,
   {"Shift-LM1:", "DKd1.....:", "Shift-LM2:", "DKd2.....:"}},
  {24, "Partial molar heat capacity of trimer", "Cp(temp) for unfolding of a trimer", 9,
   {"A0.......:", "A1.......:", "A2.......:", "A3.......:", "A4.......:", "A5.......:",
    "A6.......:", "A7.......:", "A8.......:"}},
  {25, "Sigmoidal hzk", "Notes: sigmoid fit dimer (hzk)", 8,
   {"r........:", "s........:", "c........:", "d........:", "a........:", "b........:",
    "P........:", "Temp.....:"}},
};
// clang-format on

TEST_F(fill_catalogue_test, rows_read_as_published) {
  for (const published_row &row : published_rows) {
    SCOPED_TRACE(testing::Message() << "row " << row.no);
    EXPECT_STREQ(fitLabel[row.no], row.label);
    EXPECT_STREQ(fitNote[row.no], row.note);
    ASSERT_EQ(fitParmNum[row.no], row.n);
    for (int i = 0; i < row.n; i++) EXPECT_STREQ(fitParmStr[row.no][i], row.parm[i]);
  }
}

}  // namespace
