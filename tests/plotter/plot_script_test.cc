// Unit tests of the picture's contents: the format by extension, the curve and residual
// tables, and the gnuplot script written from them.
#include "plot_script.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "models.h"
#include "plot_curve.h"
#include "plot_picture.h"
#include "run_state.h"
#include "show_err.h"

namespace {

TEST(plot_format, follows_the_extension_in_any_case) {
  struct row {
    const char *name;
    int expected;
  };
  const row rows[] = {
      {"fit.svg", PLOT_SVG},
      {"dir.png/fit.PNG", PLOT_PNG},
      {"a.b.Pdf", PLOT_PDF},
      {".svg", PLOT_SVG},
      {"fit.svgz", -1},
      {"fit.jpg", -1},
      {"svg", -1},
      {"fit.svg.txt", -1},
      {"", -1},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(plot_format(r.name), r.expected);
  }
}

// Loads points into the run state as the data load leaves it: tData 0.0 for two columns.
void load(int columns, const std::vector<std::vector<double>> &points) {
  numData = (int)points.size();
  numDataCol = columns;
  for (int i = 0; i < numData; i++) {
    xOffsetData[i] = points[i][0];
    yData[i] = points[i][1];
    tData[i] = columns == 3 ? points[i][2] : 0.0;
  }
}

class compute_plot_test : public testing::Test {
 protected:
  void SetUp() override {
    fill_catalogue();
    for (int i = 0; i < MAX_PARMS; i++) fitParms[i] = 0.0;
    for (int k = 0; k < CURVE_SIZE; k++) curveOk[k] = -1;
    for (int i = 0; i < MAX_POINTS; i++) residOk[i] = -1;
    curveLen = -1;
    rmse = 0.0;
  }
};

TEST_F(compute_plot_test, two_columns_give_an_even_grid_from_first_to_last_x) {
  fitFunc = 0;  // y = 2x + 1
  fitParms[0] = 2.0;
  fitParms[1] = 1.0;
  load(2, {{3.0, 7.5}, {0.0, 1.0}, {1.0, 3.25}});
  ASSERT_EQ(compute_plot(0), 1);
  ASSERT_EQ(curveLen, GRID_POINTS);
  EXPECT_EQ(curveX[0], 0.0);
  EXPECT_EQ(curveX[GRID_POINTS - 1], 3.0);
  EXPECT_EQ(curveX[133], 1.0);  // 3 * 133 / 399
  EXPECT_EQ(curveY[0], 1.0);
  EXPECT_EQ(curveY[133], 3.0);
  EXPECT_EQ(curveY[GRID_POINTS - 1], 7.0);
  for (int k = 0; k < GRID_POINTS; k++) {
    ASSERT_EQ(curveOk[k], 1) << k;
    if (k > 0) {
      ASSERT_NEAR(curveX[k] - curveX[k - 1], 3.0 / 399.0, 1e-12) << k;
    }
  }
  // Model minus data, in the file's order.
  EXPECT_EQ(residOk[0], 1);
  EXPECT_EQ(residY[0], -0.5);
  EXPECT_EQ(residY[1], 0.0);
  EXPECT_EQ(residY[2], -0.25);
}

TEST_F(compute_plot_test, three_columns_give_the_model_at_each_point_in_x_order) {
  // Tight binding (Kd 0) of X by Y, full shift 1: the shift is min(Y, X) / X.
  fitFunc = 15;
  fitParms[0] = 1.0;
  fitParms[1] = 0.0;
  load(3, {{2.0, 0.9, 1.0}, {1.0, 0.6, 2.0}, {0.5, 0.4, 1.0}, {1.0, 1.1, 1.0}});
  ASSERT_EQ(compute_plot(0), 1);
  ASSERT_EQ(curveLen, 4);
  const double x[] = {0.5, 1.0, 1.0, 2.0};  // equal x keep the file's order
  const double y[] = {0.5, 0.5, 1.0, 1.0};
  for (int k = 0; k < 4; k++) {
    SCOPED_TRACE(k);
    EXPECT_EQ(curveOk[k], 1);
    EXPECT_EQ(curveX[k], x[k]);
    EXPECT_DOUBLE_EQ(curveY[k], y[k]);
  }
  EXPECT_NEAR(residY[0], 0.1, 1e-15);
  EXPECT_NEAR(residY[1], -0.1, 1e-15);
  EXPECT_NEAR(residY[2], 0.1, 1e-15);
  EXPECT_NEAR(residY[3], -0.1, 1e-15);
}

TEST_F(compute_plot_test, fails_when_nothing_can_be_drawn) {
  struct row {
    const char *name;
    double a1;  // exponent factor of model 3
    std::vector<std::vector<double>> points;
  };
  const row rows[] = {
      {"the model overflows at every point", 1000.0, {{1.0, 1.0}, {2.0, 2.0}}},
      {"no data point has finite x and y", 1.0, {{NAN, 1.0}, {2.0, INFINITY}}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    fitFunc = 3;
    fitParms[0] = 1.0;
    fitParms[1] = r.a1;
    load(2, r.points);
    EXPECT_EQ(compute_plot(0), 0);
  }
}

// The script of a picture of the loaded data: a fit of dataset 7 unless page says else.
std::string script_for(int format, const plot_page *page = nullptr) {
  const plot_page fit = {7, SHOWN_FIT, 1, 0, nullptr, 0};
  FILE *fp = tmpfile();
  write_plot_script(fp, format, page != nullptr ? page : &fit);
  std::string text;
  rewind(fp);
  for (int c; (c = getc(fp)) != EOF;) text += (char)c;
  fclose(fp);
  return text;
}

// The lines of the data block name in the script, up to its EOD.
std::vector<std::string> block(const std::string &script, const std::string &name) {
  std::vector<std::string> lines;
  size_t at = script.find(name + " << EOD\n");
  if (at == std::string::npos) return lines;
  at = script.find('\n', at) + 1;
  for (;;) {
    size_t end = script.find('\n', at);
    std::string line = script.substr(at, end - at);
    if (line == "EOD" || end == std::string::npos) return lines;
    lines.push_back(line);
    at = end + 1;
  }
}

TEST_F(compute_plot_test, values_that_are_not_finite_are_left_out_of_the_script) {
  // exp(1000 x) overflows beyond x = ln(DBL_MAX) / 1000 = 0.7097827...
  fitFunc = 3;
  fitParms[0] = 1.0;
  fitParms[1] = 1000.0;
  load(2, {{0.0, 1.0}, {0.5, 2.0}, {1.0, 3.0}, {0.25, NAN}});
  ASSERT_EQ(compute_plot(0), 1);
  int ok = 0;
  for (int k = 0; k < curveLen; k++) {
    EXPECT_EQ(curveOk[k], curveX[k] < 0.70978 ? 1 : 0) << curveX[k];
    ok += curveOk[k];
  }
  std::string s = script_for(PLOT_SVG);
  EXPECT_EQ(s.rfind("set terminal svg ", 0), 0u) << s.substr(0, 80);
  EXPECT_EQ(block(s, "$data"), (std::vector<std::string>{"0 1", "0.5 2", "1 3"}));
  // exp(0) - 1 = 0 and exp(500) - 2 at the two points where the model is finite.
  std::vector<std::string> resid = block(s, "$resid");
  ASSERT_EQ(resid.size(), 2u);
  EXPECT_EQ(resid[0], "0 0");
  EXPECT_EQ(resid[1].rfind("0.5 1.40359", 0), 0u) << resid[1];
  EXPECT_EQ(block(s, "$curve").size(), (size_t)ok);  // one run of points, no gap line after it
  EXPECT_NE(s.find("set label 1 'Exponential, dataset 7' at screen"), std::string::npos);
  EXPECT_NE(s.find("title 'fit, RMSE 0' noenhanced"), std::string::npos);
  EXPECT_EQ(s.substr(s.size() - 16), "unset multiplot\n");
}

TEST_F(compute_plot_test, script_breaks_the_curve_where_the_model_has_no_value) {
  // Two refused points inside the range make one blank line, and the curve goes on after.
  fitFunc = 0;
  fitParms[0] = 1.0;
  load(2, {{-1.0, 0.0}, {1.0, 0.0}});
  ASSERT_EQ(compute_plot(0), 1);
  curveOk[100] = 0;  // one refused point inside the range
  curveOk[101] = 0;
  std::vector<std::string> curve = block(script_for(PLOT_PNG), "$curve");
  ASSERT_EQ(curve.size(), (size_t)GRID_POINTS - 2 + 1);
  EXPECT_EQ(curve[100], "");  // one blank line: gnuplot draws nothing across it
  EXPECT_NE(curve[99], "");
  EXPECT_NE(curve[101], "");
}

TEST_F(compute_plot_test, script_quotes_the_title) {
  fitFunc = 0;
  load(2, {{0.0, 0.0}, {1.0, 1.0}});
  ASSERT_EQ(compute_plot(0), 1);
  const char *saved = fitLabel[0];
  fitLabel[0] = "Bob's \"line\"\nnext";
  std::string s = script_for(PLOT_PDF);
  fitLabel[0] = saved;
  EXPECT_NE(s.find("set label 1 'Bob''s \"line\" next, dataset 7' at screen"), std::string::npos);
  EXPECT_NE(s.find("set terminal pdfcairo "), std::string::npos);
}

// A refused dataset whose data load: drawn without a curve, with the reader's message.
TEST_F(compute_plot_test, a_refused_dataset_has_its_data_and_message_only) {
  fitFunc = 0;
  load(2, {{0.0, 1.5}, {1.0, 3.0}, {2.0, 5.0}});
  const plot_page page = {7, SHOWN_NONE, 0, 1, "Line 9 is too long", 0};
  std::string s = script_for(PLOT_PNG, &page);
  EXPECT_NE(s.find("set label 1 'Straight Line, dataset 7: refused' at"), std::string::npos);
  EXPECT_NE(s.find("set label 2 'Line 9 is too long' at graph 0.5"), std::string::npos);
  EXPECT_EQ(block(s, "$data").size(), 3u);
  EXPECT_EQ(s.find("$curve"), std::string::npos);
  EXPECT_EQ(s.find("$resid"), std::string::npos);
}

// The first "set yrange [...]" of a script: that of the data panel.
std::string y_range(const std::string &script) {
  size_t at = script.find("set yrange [");
  return at == std::string::npos ? "" : script.substr(at, script.find('\n', at) - at);
}

// A failed fit's start far from the data (1e305 here) must not flatten them: the panel
// has the range of the data alone, as a picture without a curve has.
TEST_F(compute_plot_test, a_failed_start_leaves_the_y_range_to_the_data) {
  fitFunc = 0;
  fitParms[0] = 1e305;
  load(2, {{0.0, 1.5}, {1.0, 3.0}, {2.0, 5.0}});
  ASSERT_EQ(compute_plot(0), 1);
  const plot_page start = {7, SHOWN_START, 1, 1, nullptr, 0};
  const plot_page fit = {7, SHOWN_FIT, 1, 1, nullptr, 0};
  const plot_page none = {7, SHOWN_NONE, 0, 1, nullptr, 0};
  std::string dataOnly = y_range(script_for(PLOT_SVG, &none));
  ASSERT_NE(dataOnly, "");
  std::string s = script_for(PLOT_SVG, &start);
  EXPECT_EQ(y_range(s), dataOnly);
  EXPECT_EQ(block(s, "$curve").size(), (size_t)GRID_POINTS) << "the curve is still drawn";
  EXPECT_NE(y_range(script_for(PLOT_SVG, &fit)), dataOnly) << "a fit's curve is in the range";
}

// Points at x <= 0 have no place on a log scale: left out of the data and the residuals,
// told in the key, or in the corner of a grid's small picture; the curve is spread evenly
// in log x between the smallest and the largest x above 0.
TEST_F(compute_plot_test, a_log_scale_leaves_out_x_up_to_0_and_spreads_the_curve_in_log_x) {
  fitFunc = 0;  // y = 2x + 1
  fitParms[0] = 2.0;
  fitParms[1] = 1.0;
  load(2, {{0.0, 1.0}, {-1.0, -1.0}, {0.25, 1.0}, {64.0, 129.0}, {NAN, 1.0}});
  EXPECT_EQ(drawn_points(0), 4);
  EXPECT_EQ(drawn_points(1), 2);
  ASSERT_EQ(compute_plot(1), 1);
  ASSERT_EQ(curveLen, GRID_POINTS);
  EXPECT_EQ(curveX[0], 0.25);
  EXPECT_EQ(curveX[GRID_POINTS - 1], 64.0);
  for (int k = 1; k < GRID_POINTS; k++) {
    ASSERT_NEAR(log10(curveX[k] / curveX[k - 1]), log10(256.0) / (GRID_POINTS - 1), 1e-12) << k;
  }
  EXPECT_EQ((std::vector<int>(residOk, residOk + 4)), (std::vector<int>{0, 0, 1, 1}));
  const plot_page page = {7, SHOWN_FIT, 1, 0, nullptr, 1};
  std::string s = script_for(PLOT_SVG, &page);
  EXPECT_EQ(block(s, "$data"), (std::vector<std::string>{"0.25 1", "64 129"}));
  EXPECT_EQ(block(s, "$resid"), (std::vector<std::string>{"0.25 0.5", "64 0"}));
  size_t range = s.find("set logscale x\nset xrange [");
  ASSERT_NE(range, std::string::npos) << s;
  double lo = 0.0, hi = 0.0;
  ASSERT_EQ(sscanf(s.c_str() + range, "set logscale x\nset xrange [%lf:%lf]", &lo, &hi), 2);
  EXPECT_GT(lo, 0.0);
  EXPECT_LT(lo, 0.25);
  EXPECT_GT(hi, 64.0);
  EXPECT_NE(s.find("title 'data, 2 points at x ≤ 0 not drawn'"), std::string::npos);
  FILE *fp = tmpfile();
  write_picture(fp, PLOT_SVG, &cell_layout, &whole_canvas, &page, 1);
  std::string cell;
  rewind(fp);
  for (int c; (c = getc(fp)) != EOF;) cell += (char)c;
  fclose(fp);
  EXPECT_NE(cell.find("set label 3 '2 points at x ≤ 0 not drawn' at screen"), std::string::npos);
  EXPECT_NE(cell.find("title 'data'"), std::string::npos);

  // Nothing above 0: the page says so where the data would be.
  load(2, {{0.0, 1.0}, {-1.0, -1.0}});
  EXPECT_EQ(compute_plot(1), 0);
  const plot_page empty = {7, SHOWN_FIT, 0, 1, nullptr, 1};
  s = script_for(PLOT_SVG, &empty);
  EXPECT_NE(s.find("set label 2 'no x above 0 to draw on a log scale' at graph 0.5, graph 0.5"),
            std::string::npos);
  EXPECT_EQ(block(s, "$data").size(), 0u);
}

}  // namespace
