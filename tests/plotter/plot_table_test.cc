// Unit tests of a table's pictures: the check of a table's RMSE against the data, what each
// row of a table puts into the profile's script, and the tables that have no profile.
#include "plot_table.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "models.h"
#include "plot_profile.h"
#include "plot_script.h"
#include "run_state.h"
#include "show_err.h"

namespace {

const char head[] =
    "id\tstatus\titerations\trmse\tpKa\tpKa_sd\tSa\tSa_sd\tSah\tSah_sd\tHC\tHC_sd\t"
    "message\n";

struct profile_run {
  int result;
  std::string script;
  std::string message;
};

profile_run profile(const std::string &table, const char *param, int logX = 0) {
  fill_catalogue();
  FILE *in = tmpfile();
  fputs(table.c_str(), in);
  rewind(in);
  FILE *out = tmpfile();
  profile_run r;
  errQuiet = 1;
  errMessage[0] = '\0';
  table_reader t;
  r.result = table_start(&t, in, "t.tsv") && write_profile_script(out, PLOT_SVG, &t, param, logX);
  r.message = errMessage;
  errQuiet = 0;
  rewind(out);
  for (int c; (c = getc(out)) != EOF;) r.script += (char)c;
  fclose(in);
  fclose(out);
  return r;
}

TEST(write_profile_script, draws_ok_values_with_bars_and_marks_failed_and_refused_apart) {
  std::string table = std::string(head) +
                      "4\tok\t90\t0.005\t5.2\t0.01\t8.1\t0.002\t8.6\t0.002\t1\t0\t\n"
                      "9\tfailed\t12\t0.2\t7\t0\t8\t0\t9\t0\t1\t0\tvelquin: Unable to converge\n"
                      "5\tok\t80\t0.004\tnan\tnan\t7.2\t0.003\t7.8\t0.001\t1\t0\t\n"
                      "6\tok\t85\t0.004\t6.4\tinf\t7.2\t0.003\t7.8\t0.001\t1\t0\t\n"
                      "2\trefused\t\t\t\t\t\t\t\t\t\t\tInvalid data line 7\n";
  profile_run r = profile(table, "pKa");
  ASSERT_EQ(r.result, 1) << r.message;
  // Failed and refused rows carry no value; a value that is not finite has no place, and
  // a deviation that is not finite no bar.
  EXPECT_NE(r.script.find("$rows << EOD\n4 ok 5.2 0.01\n9 failed\n6 ok 6.4 0\n2 refused\nEOD\n"),
            std::string::npos)
      << r.script;
  EXPECT_NE(r.script.find("title '1 refused'"), std::string::npos);
  EXPECT_NE(r.script.find("with points pt 8 ps 1.04 lc rgb '#d35400' title '1 failed: no value'"),
            std::string::npos);
  EXPECT_NE(r.script.find(":4 with yerrorbars pt 7 ps 0.65 lw 1.2 lc rgb '#1f4e79' title "
                          "'pKa ± sd, 3 fits'"),
            std::string::npos);
  EXPECT_NE(r.script.find("set label 1 'PH Titration: pKa by dataset'"), std::string::npos);
  EXPECT_NE(r.script.find("set xlabel 'dataset id'\nset ylabel 'pKa' noenhanced\n"),
            std::string::npos);

  // The RMSE has no deviation: points without bars. A header that several models write
  // names them all.
  r = profile(table, "rmse");
  ASSERT_EQ(r.result, 1);
  EXPECT_NE(r.script.find("\n4 ok 0.005\n9 failed\n5 ok 0.004\n"), std::string::npos);
  EXPECT_EQ(r.script.find("yerrorbars"), std::string::npos);
  r = profile(
      "id\tstatus\titerations\trmse\tA0\tA0_sd\tA1\tA1_sd\tA2\tA2_sd\tmessage\n"
      "1\tok\t1\t1\t1\t0\t1\t0\t1\t0\t\n2\tok\t1\t1\t1\t0\t1\t0\t1\t0\t\n",
      "A1");
  EXPECT_NE(r.script.find("set label 1 'models 1, 3, 10 or 27: A1 by dataset'"), std::string::npos);
}

TEST(write_profile_script, refuses_a_table_without_a_profile) {
  const std::string ok = "1\tok\t90\t0.005\t5.2\t0.01\t8.1\t0.002\t8.6\t0.002\t1\t0\t\n";
  const std::string failed = "2\tfailed\t9\t0.2\t7\t0\t8\t0\t9\t0\t1\t0\tx\n";
  const std::string refused = "3\trefused\t\t\t\t\t\t\t\t\t\t\tx\n";
  struct row {
    const char *name;
    std::string rows;
    const char *param;
    std::string message;
    int logX;
  };
  const std::string okAt0 = "0\tok\t90\t0.005\t5.2\t0.01\t8.1\t0.002\t8.6\t0.002\t1\t0\t\n";
  const row rows[] = {
      {"no fit of an id above 0 on a log scale", okAt0 + failed + refused, "pKa",
       "Table file t.tsv has no successful fit of an id above 0 to draw with --logx\n", 1},
      {"no dataset", "", "pKa", "A profile needs two datasets or more; table file t.tsv has 0\n",
       0},
      {"one dataset", ok, "pKa", "A profile needs two datasets or more; table file t.tsv has 1\n",
       0},
      {"no fit that succeeded", failed + refused, "rmse",
       "No fit of table file t.tsv succeeded: it has no value to draw, only starting values\n", 0},
      {"a column the table lacks", ok + ok, "pKa_sd",
       "Table file t.tsv has no column pKa_sd: give rmse, pKa, Sa, Sah or HC\n", 0},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    profile_run got = profile(head + r.rows, r.param, r.logX);
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(got.message, r.message);
  }
}

TEST(write_profile_script, a_log_scale_leaves_out_ids_up_to_0_and_counts_them) {
  std::string table = std::string(head) +
                      "0\tok\t90\t0.005\t5.2\t0.01\t8.1\t0.002\t8.6\t0.002\t1\t0\t\n"
                      "4\tok\t90\t0.005\t5.3\t0.01\t8.1\t0.002\t8.6\t0.002\t1\t0\t\n"
                      "-2\trefused\t\t\t\t\t\t\t\t\t\t\tx\n"
                      "100\tok\t80\t0.004\t5.4\t0.01\t7.2\t0.003\t7.8\t0.001\t1\t0\t\n";
  profile_run r = profile(table, "pKa", 1);
  ASSERT_EQ(r.result, 1) << r.message;
  EXPECT_NE(r.script.find("$rows << EOD\n4 ok 5.3 0.01\n100 ok 5.4 0.01\nEOD\n"), std::string::npos)
      << r.script;
  EXPECT_NE(r.script.find("set logscale x\n"), std::string::npos);
  EXPECT_NE(r.script.find("band_lo(x) = x / band_f(x)\nband_hi(x) = x * band_f(x)\n"),
            std::string::npos);
  EXPECT_NE(r.script.find("keyentry title '2 of id ≤ 0 not drawn'"), std::string::npos);
  // Less than two decades: labels at 5, 20 and 50 as well as at 10.
  EXPECT_NE(r.script.find("set xtics add (5, 20, 50)\n"), std::string::npos);
  EXPECT_NE(r.script.find("title 'pKa ± sd, 2 fits'"), std::string::npos);
  r = profile(table, "pKa", 0);
  EXPECT_EQ(r.script.find("logscale"), std::string::npos);
  EXPECT_EQ(r.script.find("not drawn"), std::string::npos);
}

// The y values of the band of status in a profile's script: the ends it shades.
std::vector<double> band_ends(const std::string &script, const std::string &status) {
  size_t at = script.find("eq '" + status + "' && int($1) % 2 == 0 ? ");
  const std::string ends = "(band_lo($1)):(band_hi($1)):(";
  if (at == std::string::npos || (at = script.find(ends, at)) == std::string::npos) return {};
  double lo, hi;
  if (sscanf(script.c_str() + at + ends.size(), "%lf):(%lf)", &lo, &hi) != 2) return {};
  return {lo, hi};
}

// More datasets than DENSE_PROFILE are drawn lighter, and the failed and refused ones in
// strips below the values rather than over them.
TEST(write_profile_script, many_datasets_are_drawn_small_without_caps_in_strips) {
  for (int count : {200, 201}) {
    SCOPED_TRACE(count);
    std::string table = head;
    for (int id = 1; id <= count; id++) {
      if (id % 50 == 0) {
        table += std::to_string(id) + "\tfailed\t9\t0.2\t7\t0\t8\t0\t9\t0\t1\t0\tx\n";
      } else if (id % 70 == 0) {
        table += std::to_string(id) + "\trefused\t\t\t\t\t\t\t\t\t\t\tx\n";
      } else {
        table += std::to_string(id) + "\tok\t90\t0.005\t5\t0.5\t8.1\t0.002\t8.6\t0.002\t1\t0\t\n";
      }
    }
    profile_run r = profile(table, "pKa");
    ASSERT_EQ(r.result, 1) << r.message;
    std::vector<double> failed = band_ends(r.script, "failed");
    std::vector<double> refused = band_ends(r.script, "refused");
    ASSERT_EQ(failed.size(), 2u);
    ASSERT_EQ(refused.size(), 2u);
    int fits = count - count / 50 - 2;
    if (count == 200) {
      // Over the whole height, each failed fit marked on the axis.
      EXPECT_EQ(failed, refused);
      EXPECT_LT(failed[0], 4.5);
      EXPECT_GT(failed[1], 5.5);
      EXPECT_NE(r.script.find("title 'pKa ± sd, " + std::to_string(fits) + " fits'"),
                std::string::npos);
      EXPECT_NE(r.script.find("with points pt 8"), std::string::npos);
      EXPECT_EQ(r.script.find("set bars 0"), std::string::npos);
    } else {
      // Two strips, failed below refused, below every value and its bar.
      EXPECT_LT(failed[0], failed[1]);
      EXPECT_EQ(failed[1], refused[0]);
      EXPECT_LT(refused[0], refused[1]);
      EXPECT_LE(refused[1], 4.5);
      EXPECT_NE(r.script.find("title 'pKa ± sd (no caps), " + std::to_string(fits) + " fits'"),
                std::string::npos);
      EXPECT_NE(r.script.find("title '4 failed: no value'"), std::string::npos);
      EXPECT_EQ(r.script.find("with points pt 8"), std::string::npos) << "the strip marks them";
      EXPECT_NE(r.script.find("set bars 0\n"), std::string::npos);
    }
  }
}

// The RMSE of the table's values over the loaded data (model 0, y = A0 x + A1) against the
// table's: equal to 1e-9 of the larger of it and the data's largest size.
TEST(check_table_rmse, takes_the_tables_rmse_only_when_the_data_give_it) {
  fill_catalogue();
  struct row {
    const char *name;
    std::vector<double> x, y;  // as loaded, the offset added
    double a0, a1, tableRmse;
    std::string message;  // empty: the RMSE agrees
  };
  const std::string mismatch =
      "Dataset 5 of table file t.tsv does not match data file data.crv: its values give ";
  const std::string check =
      "; check that the data file, dataOffset 1 and model 0 are the batch's\n";
  const row rows[] = {
      {"an exact fit", {0, 1, 2}, {1, 3, 5}, 2, 1, 0.0, ""},
      {"residuals of 0.1", {0, 1, 2, 3}, {1.1, 2.9, 5.1, 6.9}, 2, 1, 0.1, ""},
      {"the RMSE in R's 15 digits",
       {0, 1, 2, 3},
       {1.1, 2.9, 5.1, 6.9},
       2,
       1,
       0.100000000000001,
       ""},
      {"within 1e-9 of the data's size", {2, 3}, {1, 2}, 1, 0, 1 + 1.5e-9, ""},
      {"beyond 1e-9 of the data's size",
       {2, 3},
       {1, 2},
       1,
       0,
       1 + 3e-9,
       mismatch + "RMSE 1 over these data, the table RMSE 1.000000003" + check},
      {"data shifted by 1",
       {2, 3},
       {1, 2},
       1,
       0,
       0.0,
       mismatch + "RMSE 1 over these data, the table RMSE 0" + check},
      {"a parameter that leaves the model without a value",
       {1, 2},
       {1, 2},
       -2147483648.0,
       0,
       0.0,
       mismatch + "the model no value at a point of these data, the table RMSE 0" + check},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    run_setup setup = {};
    setup.dataOffset = 1.0;
    setup.dataFname = "data.crv";
    setup.fitFunc = 0;
    setup.fitParms[0] = r.a0;
    setup.fitParms[1] = r.a1;
    setup_run(&setup);
    numData = (int)r.x.size();
    numDataCol = 2;
    for (int i = 0; i < numData; i++) {
      xOffsetData[i] = r.x[i];
      yData[i] = r.y[i];
      tData[i] = 0.0;
    }
    errQuiet = 1;
    errMessage[0] = '\0';
    EXPECT_EQ(check_table_rmse(5, r.tableRmse, "t.tsv"), r.message.empty() ? 1 : 0);
    EXPECT_EQ(std::string(errMessage), r.message);
    errQuiet = 0;
  }
}

}  // namespace
