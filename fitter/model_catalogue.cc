// The model catalogue: what the reports print about each model and how many parameters
// the fit works with. Constant data, stored once by fill_catalogue at start-up.
#include "models.h"

const char *fitLabel[CATALOGUE_ROWS];
const char *fitNote[CATALOGUE_ROWS];
int fitParmNum[CATALOGUE_ROWS];
const char *fitParmStr[CATALOGUE_ROWS][MAX_PARMS];

struct catalogue_row {
  int no;
  const char *label;
  const char *note;
  int n;
  const char *parm[MAX_PARMS];
};

// Rows that look irregular are meant so, and the reports and stored results depend on
// them: models 8 and 26 share a label and differ only in their notes; 17 and 19 share
// a note; 18 is labelled "Gaussian" while its note speaks of Lorentzians; the notes of
// 20 to 24 have no "Notes: " prefix; 13 and 14 have lower-case labels. The notes
// describe, they are not the formulas that fnf computes.
// clang-format off
static const catalogue_row catalogue_rows[] = {
//   no  label                                      note                                                n
//       parameter labels, in order
  {   0, "Straight Line",                           "Notes: A0*x + A1",                                 2,
         {"A0.......:", "A1.......:"}},
  {   1, "Quadratic",                               "Notes: A0*x*x + A1*x + A2",                        3,
         {"A0.......:", "A1.......:", "A2.......:"}},
  {   2, "Cubic Polynomial",                        "Notes: A0*x*x*x + A1*x*x + A2*x + A3",             4,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:"}},
  {   3, "Exponential",                             "Notes: A0*EXP(A1*x) + A2",                         3,
         {"A0.......:", "A1.......:", "A2.......:"}},
  {   4, "T1 Relaxation",                           "Notes: Mo*(1 - W*EXP(-x/T1))",                     3,
         {"Mo.......:", "W........:", "T1.......:"}},
  {   5, "T2 Relaxation",                           "Notes: Mo*EXP(-x/T2)",                             2,
         {"Mo.......:", "T2.......:"}},
  {   6, "R2 Dimer",                                "Notes: (a0 * b) + c + d) / (4x)",                  3,
         {"Kd.......:", "R2D......:", "R2M......:"}},
  {   7, "R2X Dimer",                               "Notes: (Fm*R2M + Fd*R2D) + (Fm*Fd*Tau*DeltaSqu)",  5,
         {"Kd.......:", "R2D......:", "R2M......:", "TAU......:", "DELTASQU.:"}},
  {   8, "Sum of Exponentials",                     "Notes: A0*EXP(-x/A1) + A2*EXP(-x/A3)",             4,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:"}},
  {   9, "PH Titration",                            "Notes: Sa+([H]^n/([H]^n+Ka^n))*(Sah-Sa)",          4,
         {"pKa......:", "Sa.......:", "Sah......:", "HC.......:"}},
  {  10, "Sinusoidal 1",                            "Notes: a0*cos(x)^2 - a1*cos(x) + a2",              3,
         {"A0.......:", "A1.......:", "A2.......:"}},
  {  11, "Sigmoidal",                               "Notes: a + b/(1+exp(-(x-c)/d))",                   4,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:"}},
  // No row for model 12: fnf evaluates it, but there is nothing to describe or fit.
  {  13, "Monomer Melting Curve 3",                 "Notes: tqm Monomer Melt curve 3",                  7,
         {"a0.......:", "a1.......:", "a2.......:", "a3.......:", "a4.......:", "a5.......:",
          "a6.......:"}},
  {  14, "Dimer Melting Curve 4",                   "Notes: tqm Dimer melt curve 4",                    8,
         {"a0.......:", "a1.......:", "a2.......:", "a3.......:", "a4.......:", "a5.......:",
          "a6.......:", "a7.......:"}},
  {  15, "Chemical Shift (XY1)",                    "Notes: X+Y <=> XY; obs X; vary Y",                 2,
         {"Shift....:", "Dconst...:"}},
  {  16, "Chemical Shift (XY2)",                    "Notes: X+Y <=> XY; XY+Y <=> XY2; obs X",           4,
         {"Shift-LM1:", "DKd1.....:", "Shift-LM2:", "DKd2.....:"}},
  {  17, "Sum of Lorentzian Curves",                "Notes: Mo*(loren1 - F*loren2)",                    6,
         {"Vo(1)....:", "T1(1)....:", "Vo(2)....:", "T1(2)....:", "Mo.......:", "F........:"}},
  {  18, "Gaussian",                                "Notes: Mo*(loren1 + F*loren2)",                    6,
         {"Vo(1)....:", "T1(1)....:", "Vo(2)....:", "T1(2)....:", "Mo.......:", "F........:"}},
  {  19, "Dispersion Curves",                       "Notes: Mo*(loren1 - F*loren2)",                    6,
         {"Vo(1)....:", "T1(1)....:", "Vo(2)....:", "T1(2)....:", "Mo.......:", "F........:"}},
  {  20, "Denaturation Trimer",                     "Chemical Denaturation Trimer",                     8,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:", "A4.......:", "A5.......:",
          "A6.......:", "RT.......:"}},
  {  21, "Denaturation Monomer/Trimer",             "Chemical Denaturation Monomer/Trimer",             8,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:", "A4.......:", "A5.......:",
          "A6.......:", "RT.......:"}},
  {  22, "Partial molar heat capacity of monomer",  "Cp(temp) for unfolding of a monomer",              8,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:", "A4.......:", "A5.......:",
          "A6.......:", "A7.......:"}},
  {  23, "Partial molar heat capacity of dimer",    "Cp(temp) for unfolding of a dimer",                9,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:", "A4.......:", "A5.......:",
          "A6.......:", "A7.......:", "A8.......:"}},
  {  24, "Partial molar heat capacity of trimer",   "Cp(temp) for unfolding of a trimer",               9,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:", "A4.......:", "A5.......:",
          "A6.......:", "A7.......:", "A8.......:"}},
  {  25, "Sigmoidal hzk",                           "Notes: sigmoid fit dimer (hzk)",                   8,
         {"r........:", "s........:", "c........:", "d........:", "a........:", "b........:",
          "P........:", "Temp.....:"}},
  {  26, "Sum of Exponentials",                     "Notes: A0*(1-EXP(-x/A1))+A2*(1-EXP(-x/A3))",       4,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:"}},
  {  27, "Single Crystal",                          "Notes: a0 + a1*cos(2x) + a2*sin(2x)",              3,
         {"A0.......:", "A1.......:", "A2.......:"}},
  {  28, "Sinusoidal 2",                            "Notes: a0*cos(a1 * x + a2) + a3",                  4,
         {"A0.......:", "A1.......:", "A2.......:", "A3.......:"}},
};
// clang-format on

void fill_catalogue(void) {
  for (const catalogue_row &row : catalogue_rows) {
    fitLabel[row.no] = row.label;
    fitNote[row.no] = row.note;
    fitParmNum[row.no] = row.n;
    for (int i = 0; i < MAX_PARMS; i++) fitParmStr[row.no][i] = row.parm[i];
  }
}
