// Unit tests of the table writer and reader: the header of each model's labels, rows whose
// numbers read back as the very doubles, the reason of each way a fit can fail, and the
// refusal of anything else.
#include "batch_table.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

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
      {"a limit of 0 comes before nan in the data", 5, STOP_LIMIT_NOT_POSITIVE, 0, -3, 9, NAN,
       NAN, "the iteration limit (-3) is not positive"},
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
      {"an empty number", head + "1\tfailed\t3\t\t100\t1\t450\t2\tx\n",
       "Line 2 of table file t.tsv has a field that is not a number\n"},
      {"a refused row with numbers", head + "1\trefused\t\t\t100\t\t\t\tx\n",
       "Line 2 of table file t.tsv is a refused row with numbers\n"},
      {"a line too long", head + row + std::string(ROW_SIZE + 5, 'x') + "\n" + row,
       "Line 3 of table file t.tsv is too long\n"},
      {"a row without the reason its header has",
       "id\tstatus\titerations\trmse\tMo\tMo_sd\tT2\tT2_sd\tmessage\treason\n" + row,
       "Line 2 of table file t.tsv has 9 fields where its header has 10\n"},
  };
  for (const case_row &r : rows) {
    SCOPED_TRACE(r.name);
    read_back got = read_table_text(r.text);
    EXPECT_TRUE(got.started == 0 || got.got.back() == -1);
    EXPECT_EQ(got.message, r.message);
  }
  read_back crlf = read_table_text("id\tstatus\titerations\trmse\tMo\tMo_sd\tT2\tT2_sd\tmessage\r\n" +
                                   std::string("1\tok\t3\t0.5\t100\t1\t450\t2\t\r\n"));
  EXPECT_EQ(crlf.got, (std::vector<int>{1, 0})) << "a table saved with CR-LF line ends";
  // A table written before the reason column reads with every reason empty.
  ASSERT_EQ(crlf.rows.size(), 1u);
  EXPECT_STREQ(crlf.rows[0].reason, "");
}
