// Unit tests of the profile's script: what each row of a table puts into it, and the tables
// that have no profile.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

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

profile_run profile(const std::string &table, const char *param) {
  fill_catalogue();
  FILE *in = tmpfile();
  fputs(table.c_str(), in);
  rewind(in);
  FILE *out = tmpfile();
  profile_run r;
  errQuiet = 1;
  errMessage[0] = '\0';
  table_reader t;
  r.result = table_start(&t, in, "t.tsv") && write_profile_script(out, PLOT_SVG, &t, param, 0);
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
  };
  const row rows[] = {
      {"no dataset", "", "pKa", "A profile needs two datasets or more; table file t.tsv has 0\n"},
      {"one dataset", ok, "pKa", "A profile needs two datasets or more; table file t.tsv has 1\n"},
      {"no fit that succeeded", failed + refused, "rmse",
       "No fit of table file t.tsv succeeded: it has no value to draw, only starting values\n"},
      {"a column the table lacks", ok + ok, "pKa_sd",
       "Table file t.tsv has no column pKa_sd: give rmse, pKa, Sa, Sah or HC\n"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    profile_run got = profile(head + r.rows, r.param);
    EXPECT_EQ(got.result, 0);
    EXPECT_EQ(got.message, r.message);
  }
}

}  // namespace
