// Unit tests of the table writer and reader: the header of each model's labels, rows whose
// numbers read back as the very doubles, the reason of each way a fit can fail, and the
// refusal of anything else; the line of a saved start.
#include "batch_table.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "cli.h"
#include "crv_reader.h"
#include "fit_engine.h"
#include "models.h"
#include "run_state.h"
#include "show_err.h"

namespace {

std::string header(int model) {
  char buf[ROW_SIZE];
  int len = table_header(buf, sizeof buf, model);
  return len < 0 ? "too long" : std::string(buf, len);
}

TEST(table_header, names_each_parameter_and_its_deviation) {
  fill_catalogue();
  EXPECT_EQ(header(4),
            "id\tstatus\titerations\trmse\tMo\tMo_sd\tW\tW_sd\tT1\tT1_sd\tmessage\treason\n");
  EXPECT_EQ(header(12), "id\tstatus\titerations\trmse\tmessage\treason\n");
  EXPECT_EQ(header(7),
            "id\tstatus\titerations\trmse\tKd\tKd_sd\tR2D\tR2D_sd\tR2M\tR2M_sd\tTAU\tTAU_sd\t"
            "DELTASQU\tDELTASQU_sd\tmessage\treason\n");
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
  maxIt = 7;
  fitStop = STOP_LIMIT;
  char buf[ROW_SIZE];
  int len = table_row(buf, sizeof buf, -7, BATCH_FAILED, "a\tb\"c\r\n");
  EXPECT_EQ(std::string(buf, len),
            "-7\tfailed\t-5\t123456789012.5\t0.1\t-0\t1e-300\t5e-324\tnan\tinf\t-inf\t"
            "0.3333333333333333\ta b c\tthe iteration limit (7) was reached at RMSE "
            "123456789012.5\n");
  EXPECT_EQ(strtod("0.3333333333333333", nullptr), 1.0 / 3);
  // Only a failed row has a reason.
  len = table_row(buf, sizeof buf, 3, BATCH_REFUSED, "Invalid data line 7\n");
  EXPECT_EQ(std::string(buf, len), "3\trefused\t\t\t\t\t\t\t\t\t\t\tInvalid data line 7\t\n");
  len = table_row(buf, sizeof buf, 3, BATCH_OK, nullptr);
  EXPECT_EQ(std::string(buf, len).substr(0, 8), "3\tok\t-5\t");
  EXPECT_EQ(std::string(buf + len - 3, 3), "\t\t\n");
  EXPECT_EQ(table_row(buf, 20, 3, BATCH_OK, nullptr), -1);
}

// The reason of a failed row, from the stop the engine met and the run state it left:
// each stop once, and a RMSE that is not finite before the stop it caused.
TEST(table_row, gives_the_reason_a_fit_failed) {
  fill_catalogue();
  const struct {
    const char *name;
    int model, stop, parm, limit, nanLine;
    double now, start;
    const char *reason;
  } rows[] = {
      {"the limit", 5, STOP_LIMIT, 0, 500, 0, 0.25, 3.0,
       "the iteration limit (500) was reached at RMSE 0.25"},
      {"a singular matrix", 5, STOP_SINGULAR, 1, 500, 0, 0.25, 3.0,
       "the normal matrix is singular: T2 has no effect on the model"},
      {"a singular matrix, a label of dots", 17, STOP_SINGULAR, 3, 500, 0, 0.25, 3.0,
       "the normal matrix is singular: T1(2) has no effect on the model"},
      {"divergence", 5, STOP_DIVERGED, 0, 500, 0, 1e300, 3.0,
       "the RMSE rose a hundredfold in one iteration, to 1e+300"},
      {"no better than the start", 5, STOP_NOT_BETTER, 0, 500, 0, 3.5, 3.0,
       "the fit converged no better than its start: RMSE 3.5, starting RMSE 3"},
      {"no value at the start", 5, STOP_NO_START_VALUE, 0, 500, 0, -1.0, -1.0,
       "the model has no value at the starting values"},
      {"no value later", 5, STOP_NO_VALUE, 0, 500, 0, -1.0, 3.0,
       "the model has no value at the values an iteration reached"},
      {"a limit of 0", 5, STOP_LIMIT_NOT_POSITIVE, 0, 0, 0, 3.0, 3.0,
       "the iteration limit (0) is not positive"},
      {"nan in the data", 5, STOP_LIMIT, 0, 500, 9, NAN, NAN,
       "the RMSE is not a finite number: data line 9 holds nan or inf"},
      {"nan from the model", 5, STOP_DIVERGED, 0, 500, 0, -NAN, 3.0,
       "the RMSE is not a finite number: the model's values are not numbers or too large"},
      {"a limit of 0 comes before nan in the data", 5, STOP_LIMIT_NOT_POSITIVE, 0, -3, 9, NAN, NAN,
       "the iteration limit (-3) is not positive"},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    fitFunc = r.model;
    fitStop = r.stop;
    fitStopParm = r.parm;
    maxIt = r.limit;
    nanDataLine = r.nanLine;
    rmse = r.now;
    fitStartRmse = r.start;
    char buf[ROW_SIZE];
    int len = table_row(buf, sizeof buf, 1, BATCH_FAILED, "m");
    ASSERT_GT(len, 0);
    std::string row(buf, len - 1);
    EXPECT_EQ(row.substr(row.rfind('\t') + 1), r.reason);
  }
  nanDataLine = 0;
}

}  // namespace

// The reader on a table in a temporary file: 1 after the header, then each row's result.
struct read_back {
  int started = 0;
  std::vector<int> got;
  std::vector<table_entry> rows;
  std::string message;  // the last report
};

read_back read_table_text(const std::string &text) {
  read_back r;
  FILE *fp = tmpfile();
  fputs(text.c_str(), fp);
  rewind(fp);
  errQuiet = 1;
  errMessage[0] = '\0';
  table_reader t;
  r.started = table_start(&t, fp, "t.tsv");
  static table_entry e;
  for (int got = r.started; got == 1;) {
    got = table_next(&t, &e);
    r.got.push_back(got);
    if (got == 1) r.rows.push_back(e);
  }
  r.message = errMessage;
  errQuiet = 0;
  fclose(fp);
  return r;
}

TEST(table_next, reads_back_every_row_that_table_row_writes) {
  fill_catalogue();
  fitFunc = 8;
  char buf[ROW_SIZE];
  std::string text(buf, table_header(buf, sizeof buf, 8));
  const double values[8] = {0.1, -0.0, 1e-300, 5e-324, -NAN, INFINITY, -INFINITY, 1.0 / 3};
  for (int k = 0; k < 4; k++) {
    fitParms[k] = values[2 * k];
    fitStdDev[k] = values[2 * k + 1];
  }
  itCount = 12;
  rmse = 0.7;
  maxIt = 12;
  fitStop = STOP_LIMIT;
  text += std::string(buf, table_row(buf, sizeof buf, -7, BATCH_FAILED, "a\tb"));
  text += std::string(buf, table_row(buf, sizeof buf, 3, BATCH_REFUSED, "Invalid data line 7\n"));
  text += std::string(buf, table_row(buf, sizeof buf, 2147483647, BATCH_OK, nullptr));
  read_back r = read_table_text(text);
  ASSERT_EQ(r.got, (std::vector<int>{1, 1, 1, 0}));
  const int ids[] = {-7, 3, 2147483647}, statuses[] = {BATCH_FAILED, BATCH_REFUSED, BATCH_OK};
  const char *messages[] = {"a b", "Invalid data line 7", ""};
  const char *reasons[] = {"the iteration limit (12) was reached at RMSE 0.7", "", ""};
  for (int k = 0; k < 3; k++) {
    const table_entry &e = r.rows[k];
    EXPECT_EQ(e.id, ids[k]);
    EXPECT_EQ(e.status, statuses[k]);
    EXPECT_STREQ(e.message, messages[k]);
    EXPECT_STREQ(e.reason, reasons[k]);
    if (e.status == BATCH_REFUSED) continue;
    EXPECT_EQ(e.iterations, 12);
    EXPECT_EQ(e.rmse, 0.7);
    for (int i = 0; i < 8; i++) {
      // Bit for bit, the sign of zero and of the infinities included; nan loses its sign.
      double v = i % 2 ? e.stdDev[i / 2] : e.parms[i / 2];
      EXPECT_TRUE(isnan(values[i]) ? isnan(v) : memcmp(&v, &values[i], sizeof v) == 0) << i;
    }
  }
}

TEST(table_next, refuses_what_velbatch_does_not_write) {
  fill_catalogue();
  const std::string head = "id\tstatus\titerations\trmse\tMo\tMo_sd\tT2\tT2_sd\tmessage\n";
  const std::string row = "1\tok\t3\t0.5\t100\t1\t450\t2\t\n";
  struct case_row {
    const char *name;
    std::string text;
    std::string message;
  };
  const case_row rows[] = {
      {"an empty file", "",
       "t.tsv is not a table of velbatch: its first line is not the header of a model's table\n"},
      {"labels of no model", "id\tstatus\titerations\trmse\tA\tA_sd\tmessage\n" + row,
       "t.tsv is not a table of velbatch: its first line is not the header of a model's table\n"},
      {"a field too few", head + "1\tok\t3\t0.5\t100\t1\t450\t\n",
       "Line 2 of table file t.tsv has 8 fields where its header has 9\n"},
      {"an unknown status", head + row + "2\tdone\t3\t0.5\t100\t1\t450\t2\t\n",
       "Line 3 of table file t.tsv does not begin with a dataset id and ok, failed or refused\n"},
      {"an id beyond int", head + "2147483648\tok\t3\t0.5\t100\t1\t450\t2\t\n",
       "Line 2 of table file t.tsv does not begin with a dataset id and ok, failed or refused\n"},
      {"a word for a number", head + "1\tok\t3\t0.5\t100\tone\t450\t2\t\n",
       "Line 2 of table file t.tsv has a field that is not a number\n"},
      {"an empty iteration count", head + "1\tfailed\t\t0.5\t100\t1\t450\t2\tx\n",
       "Line 2 of table file t.tsv has an iteration count that is not a whole number\n"},
      {"a refused row with numbers", head + "1\trefused\t\t\t100\t\t\t\tx\n",
       "Line 2 of table file t.tsv is a refused row with numbers\n"},
      {"a line too long", head + row + std::string(ROW_SIZE + 5, 'x') + "\n" + row,
       "Line 3 of table file t.tsv is too long\n"},
      // Neither pandas nor R writes these.
      {"an iteration count with a fraction", head + "1\tok\t92.5\t0.5\t100\t1\t450\t2\t\n",
       "Line 2 of table file t.tsv has an iteration count that is not a whole number\n"},
      {"an iteration count of NA in a fit", head + "1\tok\tNA\t0.5\t100\t1\t450\t2\t\n",
       "Line 2 of table file t.tsv has an iteration count that is not a whole number\n"},
      {"an id with a fraction", head + "1.5\tok\t3\t0.5\t100\t1\t450\t2\t\n",
       "Line 2 of table file t.tsv does not begin with a dataset id and ok, failed or refused\n"},
      {"an empty id", head + "\tok\t3\t0.5\t100\t1\t450\t2\t\n",
       "Line 2 of table file t.tsv does not begin with a dataset id and ok, failed or refused\n"},
      {"hexadecimal", head + "1\tok\t3\t0x1p-1\t100\t1\t450\t2\t\n",
       "Line 2 of table file t.tsv has a field that is not a number\n"},
      {"a number and a unit", head + "1\tok\t3\t0.5\t100 ms\t1\t450\t2\t\n",
       "Line 2 of table file t.tsv has a field that is not a number\n"},
      {"a word that strtod takes", head + "1\tok\t3\t0.5\t100\t1\tnan(7)\t2\t\n",
       "Line 2 of table file t.tsv has a field that is not a number\n"},
      {"a refused row with Inf", head + "1\trefused\tNA\tNA\tInf\tNA\tNA\tNA\tx\n",
       "Line 2 of table file t.tsv is a refused row with numbers\n"},
      {"a reason column that rows lack",
       "id\tstatus\titerations\trmse\tMo\tMo_sd\tT2\tT2_sd\tmessage\treason\n" +
           std::string("1\tok\t3\t0.5\t100\t1\t450\t2\t\n"),
       "Line 2 of table file t.tsv has 9 fields where its header has 10\n"},
      {"reason before message",
       "id\tstatus\titerations\trmse\tMo\tMo_sd\tT2\tT2_sd\treason\tmessage\n",
       "t.tsv is not a table of velbatch: its first line is not the header of a model's table\n"},
      {"names renamed otherwise", "id\tstatus\titerations\trmse\tMo\tMo.sd\tT2\tT2_sd\tmessage\n",
       "t.tsv is not a table of velbatch: its first line is not the header of a model's table\n"},
  };
  for (const case_row &r : rows) {
    SCOPED_TRACE(r.name);
    read_back got = read_table_text(r.text);
    EXPECT_TRUE(got.started == 0 || got.got.back() == -1);
    EXPECT_EQ(got.message, r.message);
  }
  read_back crlf =
      read_table_text("id\tstatus\titerations\trmse\tMo\tMo_sd\tT2\tT2_sd\tmessage\r\n" +
                      std::string("1\tok\t3\t0.5\t100\t1\t450\t2\t\r\n"));
  EXPECT_EQ(crlf.got, (std::vector<int>{1, 0})) << "a table saved with CR-LF line ends";
  // A table written before the reason column reads with every reason empty.
  ASSERT_EQ(crlf.rows.size(), 1u);
  EXPECT_STREQ(crlf.rows[0].reason, "");
}

// Tables that pandas (to_csv with sep="\t", index=False) and R (write.table with sep="\t",
// quote=FALSE, row.names=FALSE) write back after reading one of velbatch's: whole numbers as
// 92.0 or 1e+05, no number as an empty field, NaN or NA, infinities as inf or Inf, names as
// R renames them, and a reason column after message.
TEST(table_next, reads_tables_that_pandas_and_r_write_back) {
  fill_catalogue();
  const std::string head = "id\tstatus\titerations\trmse\tMo\tMo_sd\tT2\tT2_sd\tmessage\n";
  struct case_row {
    const char *name;
    std::string text;
    int id, status, iterations;
    double rmse, mo, moSd, t2, t2Sd;  // a nan here is a nan expected
    const char *message;
  };
  const double inf = INFINITY, nan = NAN;
  const case_row rows[] = {
      {"pandas: floats for a column with an empty field",
       head + "7\tok\t92.0\t0.5\t100.0\t\t1e+16\tinf\t\n", 7, BATCH_OK, 92, 0.5, 100, nan, 1e16,
       inf, ""},
      {"R: NaN, -Inf, a whole number as 1e+05, NA for no message",
       head + "8\tfailed\t1e+05\tNaN\t-0\t0\t450.000000000000\t-Inf\tNA\n", 8, BATCH_FAILED, 100000,
       nan, -0.0, 0, 450, -inf, ""},
      {"pandas: a refused row's numbers empty",
       head + "9.0\trefused\t\t\t\t\t\t\tInvalid data line 7\n", 9, BATCH_REFUSED, 0, 0, 0, 0, 0, 0,
       "Invalid data line 7"},
      {"R: a refused row's numbers NA", head + "-3\trefused\tNA\tNA\tNA\tNaN\tNA\tNA\tx\n", -3,
       BATCH_REFUSED, 0, 0, 0, 0, 0, 0, "x"},
      {"a reason column",
       "id\tstatus\titerations\trmse\tMo\tMo_sd\tT2\tT2_sd\tmessage\treason\n"
       "1\tfailed\t5\t0.5\t100\t1\t450\t2\tvelquin: Unable to converge\tthe iteration limit was "
       "reached\n",
       1, BATCH_FAILED, 5, 0.5, 100, 1, 450, 2, "velquin: Unable to converge"},
      {"a byte order mark before the header",
       "\xEF\xBB\xBF" + head + "2\tok\t3\t0.5\t100\t1\t450\t2\t\n", 2, BATCH_OK, 3, 0.5, 100, 1,
       450, 2, ""},
  };
  for (const case_row &r : rows) {
    SCOPED_TRACE(r.name);
    read_back got = read_table_text(r.text);
    ASSERT_EQ(got.got, (std::vector<int>{1, 0})) << got.message;
    const table_entry &e = got.rows[0];
    EXPECT_EQ(e.id, r.id);
    EXPECT_EQ(e.status, r.status);
    EXPECT_EQ(e.iterations, r.iterations);
    const double want[5] = {r.rmse, r.mo, r.moSd, r.t2, r.t2Sd};
    const double have[5] = {e.rmse, e.parms[0], e.stdDev[0], e.parms[1], e.stdDev[1]};
    for (int i = 0; i < 5; i++) {
      EXPECT_TRUE(isnan(want[i]) ? isnan(have[i]) : memcmp(&want[i], &have[i], sizeof(double)) == 0)
          << i << ": " << have[i];
    }
    EXPECT_STREQ(e.message, r.message);
  }

  // R renames Vo(1) to Vo.1. and Shift-LM1 to Shift.LM1: the table is still model 17's, and a
  // column is found by either name.
  char buf[ROW_SIZE];
  std::string header(buf, table_header(buf, sizeof buf, 17));
  std::string renamed = header;
  for (char &c : renamed) c = c == '(' || c == ')' ? '.' : c;
  ASSERT_NE(renamed, header);
  for (const std::string &h : {header, renamed}) {
    FILE *fp = tmpfile();
    fputs(h.c_str(), fp);
    rewind(fp);
    table_reader t;
    ASSERT_EQ(table_start(&t, fp, "t.tsv"), 1) << h;
    EXPECT_EQ(table_of_model(&t, 17), 1);
    EXPECT_EQ(table_parm_index(&t, "T1(1)"), 1);
    EXPECT_EQ(table_parm_index(&t, "T1.1."), 1);
    EXPECT_EQ(table_parm_index(&t, "Vo(2)"), 2);
    EXPECT_EQ(table_parm_index(&t, "T1(3)"), -1);
    fclose(fp);
  }
}

namespace {

std::string start_of(int id, int model, const double *p, const int *held) {
  char buf[START_LINE_SIZE];
  int len = start_line(buf, sizeof buf, id, model, p, held);
  return len < 0 ? "too long" : std::string(buf, len);
}

// A start is written as velquin reads its arguments: held ones with "=", numbers in the
// shortest form that reads back as the very double.
TEST(start_line, writes_the_start_as_velquin_reads_it) {
  fill_catalogue();
  struct row {
    const char *name;
    int id, model;
    double p[MAX_PARMS];
    int held[MAX_PARMS];
    const char *line;
  } rows[] = {
      {"held and free", 7, 4, {100, 1.9, 450}, {0, 1}, "7 100 =1.9 450\n"},
      {"shortest forms", 1, 3, {0.1, 1.0 / 3, -0.0}, {0}, "1 0.1 0.3333333333333333 -0\n"},
      {"extremes", 2, 0, {5e-324, -1.797e308}, {0}, "2 5e-324 -1.797e+308\n"},
      {"past the count: held or not 0", 3, 0, {1, 2, 0, 0, 5}, {0, 0, 0, 1}, "3 1 2 0 =0 5\n"},
      {"model 12 counts none", -4, 12, {2, 0.1, 0.5, 5, 0.01}, {0}, "-4 2 0.1 0.5 5 0.01\n"},
      {"nothing given", 0, 12, {0}, {0}, "0\n"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    std::string line = start_of(r.id, r.model, r.p, r.held);
    EXPECT_EQ(line, r.line);
    // Read back as the starts file reads it: every value the same double.
    char buf[START_LINE_SIZE];
    snprintf(buf, sizeof buf, "%s", line.c_str());
    char *save = NULL;
    strtok_r(buf, " \n", &save);
    int i = 0;
    for (char *w = strtok_r(NULL, " \n", &save); w != NULL; w = strtok_r(NULL, " \n", &save)) {
      double v;
      int held;
      ASSERT_EQ(whole_parm(w, &v, &held), 1);
      EXPECT_EQ(memcmp(&v, &r.p[i], sizeof v), 0) << w;
      EXPECT_EQ(held, r.held[i]);
      i++;
    }
  }
  char small[8];
  const double p[MAX_PARMS] = {123456789.0};
  const int held[MAX_PARMS] = {};
  EXPECT_EQ(start_line(small, sizeof small, 1, 0, p, held), -1);
  char head[START_LINE_SIZE];
  int len = start_header(head, sizeof head, 17);
  EXPECT_EQ(std::string(head, len), "# id Vo(1) T1(1) Vo(2) T1(2) Mo F\n");
}

}  // namespace
