// Program tests of velbatch against velquin: on generated files holding every kind of
// dataset, velbatch's results file, logs and table must be what one velquin run per id
// gives, for any number of workers. Then its own command line, same-file refusals and
// interrupts.
#include <gtest/gtest.h>
#include <math.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "program_run.h"
#include "velquin_texts.h"

namespace {

std::vector<std::string> split(const std::string &text, char sep) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == sep) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines = split(text, '\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

// Noisy points of y = 2x + 1, deterministic.
std::string line_points(int n, int columns, const char *eol, int seed) {
  std::string s;
  for (int i = 0; i < n; i++) {
    double noise = ((i * 7919 + seed * 104729) % 201 - 100) / 500.0;
    char buf[96];
    if (columns == 3) {
      snprintf(buf, sizeof buf, "%d %.4f %d%s", i, 2.0 * i + 1 + noise, i % 5, eol);
    } else {
      snprintf(buf, sizeof buf, "%d %.4f%s", i, 2.0 * i + 1 + noise, eol);
    }
    s += buf;
  }
  return s;
}

// A file of every kind of dataset velquin meets: its first data without an id line,
// fits that succeed and fail, every refusal of the reader, a repeated id, an id line of 0,
// three columns, exactly 1500 points, CR-LF lines, and a line too long for the reader,
// which refuses every dataset after it.
std::string mixed_file() {
  std::string s = "# generated\n" + line_points(6, 2, "\n", 0);
  s += "1\n" + line_points(12, 2, "\n", 1);
  s += "2\n0 1\n1 3\n2 5\n3 7\n";  // exact data: the fit never converges
  s += "! a converter's comment\n3\n" + line_points(9, 3, "\n", 3);
  s += "0\n4 5\n";  // an id line of 0 is no dataset
  s += "004\n" + line_points(1500, 2, "\n", 4);
  s += "5\n" + line_points(1501, 2, "\n", 5);
  s += "6\n1 2\n";
  s += "7\n1 2\nabc\n3 4\n";
  s += "8\nx y\n";
  s += "9\n10\n" + line_points(5, 2, "\n", 10);  // 9 has no point, 10 has five
  s += "1\n" + line_points(4, 2, "\n", 11);      // only the first dataset 1 can be selected
  s += "12\r\n" + line_points(8, 2, "\r\n", 12) + "\r\n# the end of 12\r\n";
  s += "13\n" + line_points(7, 2, "\n", 13);
  s += "14\n" + line_points(3, 2, "\n", 14) + std::string(300, '5') + " 1\n";
  s += "15\n" + line_points(7, 2, "\n", 15);
  return s;
}

// The message of velquin's frame on standard output, without its line feed.
std::string frame_message(const std::string &out) {
  size_t at = out.find(" Message: ");
  if (at == std::string::npos) return "<no frame>";
  size_t end = out.find('\n', at);
  return out.substr(at + 10, end - at - 10);
}

std::string g5(double v) {
  char buf[32];
  snprintf(buf, sizeof buf, "%10.5g", v);
  return buf;
}

struct expected_batch {
  std::string results, table, out;
  std::vector<std::string> logs;  // "ID.log" and "ID.res" files, sorted as the folder lists them
  std::vector<std::string> logText;
  int status;
};

// What velbatch must give: one velquin run per id, in batch order, in a folder of its own,
// each report appended to ID.res. A dataset's line of the starts file replaces the
// parameters.
expected_batch run_velquin(const std::string &data, const std::vector<int> &ids,
                           const std::vector<std::string> &fit, const std::string &starts,
                           const std::string &summary) {
  temp_dir work;
  work.write("data.crv", data);
  expected_batch e{"", "", summary, {}, {}, 0};
  for (int id : ids) {
    std::string name = std::to_string(id);
    std::vector<std::string> args = {"0", name, "data.crv", name + ".res", name + ".log"};
    args.insert(args.end(), fit.begin(), fit.begin() + 2);
    std::vector<std::string> parms(fit.begin() + 2, fit.end());
    for (const std::string &line : lines_of(starts)) {
      std::vector<std::string> words = split(line, ' ');
      if (words[0] == std::to_string(id)) parms.assign(words.begin() + 1, words.end());
    }
    args.insert(args.end(), parms.begin(), parms.end());
    run_result r = run_program(VELQUIN_BIN, args, work.path());
    if (r.status != 0) e.status = 1;
    if (work.exists(name + ".log")) e.logs.insert(e.logs.end(), {name + ".log", name + ".res"});
    if (work.exists(name + ".res")) e.results += work.read(name + ".res");
    e.table += std::to_string(id) + "\t" +
               (r.status == 0   ? "ok"
                : r.out.empty() ? "failed"
                                : "refused");
    e.table += (r.out.empty() ? "" : "\t" + frame_message(r.out)) + "\n";
  }
  std::sort(e.logs.begin(), e.logs.end());
  for (const std::string &f : e.logs) e.logText.push_back(work.read(f));
  return e;
}

// Compares velbatch's table with the logs velquin wrote: the status, every value of the
// log equal to the table's printed with "%10.5g", the failure message, a reason for a
// failed fit only.
void check_table(const std::string &table, const std::string &expected, const temp_dir &logs,
                 int numbers) {
  std::vector<std::string> rows = lines_of(table), want = lines_of(expected);
  ASSERT_EQ(rows.size(), want.size() + 1);
  for (size_t i = 0; i < want.size(); i++) {
    SCOPED_TRACE(rows[i + 1]);
    std::vector<std::string> f = split(rows[i + 1], '\t'), w = split(want[i], '\t');
    ASSERT_EQ(f.size(), (size_t)(4 + numbers + 2));
    EXPECT_EQ(f[0], w[0]);
    EXPECT_EQ(f[1], w[1]);
    EXPECT_EQ(f.back().empty(), w[1] != "failed");
    f.pop_back();
    if (w[1] == "refused") {
      for (int k = 2; k < 4 + numbers; k++) EXPECT_EQ(f[k], "");
      EXPECT_EQ(f.back(), w[2]);
      continue;
    }
    std::vector<std::string> log = lines_of(logs.read(f[0] + ".log"));
    ASSERT_EQ(log.size(), (size_t)(numbers / 2 + 2 + (w[1] == "failed")));
    for (int k = 0; k < numbers / 2; k++) {
      EXPECT_EQ(" " + g5(strtod(f[4 + 2 * k].c_str(), NULL)) + " " +
                    g5(strtod(f[5 + 2 * k].c_str(), NULL)),
                log[k]);
    }
    EXPECT_EQ(" " + g5(strtod(f[3].c_str(), NULL)), log[numbers / 2]);
    EXPECT_EQ(" " + f[2], log[numbers / 2 + 1]);
    EXPECT_EQ(f.back(), w[1] == "failed" ? log.back() : "");
  }
}

struct batch_case {
  const char *name;
  std::string starts;  // the starts file, given when not empty
  std::vector<std::string> options;
  std::vector<int> ids;  // the datasets velquin is run on, in batch order
  std::string summary;
};

TEST(velbatch, gives_what_velquin_gives_for_each_dataset) {
  const std::string data = mixed_file();
  const std::vector<std::string> fit = {"0", "100", "1", "1"};
  const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15};
  const std::string all_summary =
      "velbatch: 15 datasets: 6 ok, 2 failed, 7 refused; ids on more than one id line, only "
      "the first dataset of each read: 1\n";
  const batch_case cases[] = {
      {"every dataset, one worker", "", {"-j", "1"}, all, all_summary},
      {"every dataset, three workers", "", {"-j", "3"}, all, all_summary},
      {"listed ids, one missing",
       "",
       {"--jobs=3", "--ids", "15,99,0,2-3"},
       {15, 99, 0, 2, 3},
       "velbatch: 5 datasets: 2 ok, 1 failed, 2 refused\n"},
      {"a range of ids takes those of the file, in file order",
       "",
       {"-j2", "--ids", "8-1000000"},
       {8, 9, 10, 12, 13, 14, 15},
       "velbatch: 7 datasets: 3 ok, 0 failed, 4 refused\n"},
      // Dataset 2 starts at its exact values (and still cannot converge); 4 holds its slope
      // near the truth and converges.
      {"starting values of some datasets",
       "# id A0 A1\n2 2 1\n\n4 =2.001 0.5\n",
       {"-j3"},
       {0, 1, 2, 3, 4},
       "velbatch: 5 datasets: 4 ok, 1 failed, 0 refused; ids on more than one id line, only the "
       "first dataset of each read: 1\n"},
  };
  for (const batch_case &c : cases) {
    SCOPED_TRACE(c.name);
    expected_batch want = run_velquin(data, c.ids, fit, c.starts, c.summary);
    temp_dir work;
    work.write("data.crv", data);
    std::vector<std::string> args = c.options;
    if (!c.starts.empty()) {
      work.write("starts", c.starts);
      args.insert(args.end(), {"--starts", "starts", "--ids", "0-4"});
    }
    for (const char *a :
         {"--log-dir", "logs/new", "0", "data.crv", "r.res", "t.tsv", "0", "100", "1", "1"}) {
      args.push_back(a);
    }
    run_result r = run_program(VELBATCH_BIN, args, work.path());
    EXPECT_EQ(r.status, want.status);
    EXPECT_EQ(r.out, want.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(work.read("r.res"), want.results);
    EXPECT_EQ(list_dir(work.file("logs/new")), want.logs);
    temp_dir logs;
    for (size_t i = 0; i < want.logs.size(); i++) {
      EXPECT_EQ(work.read("logs/new/" + want.logs[i]), want.logText[i]) << want.logs[i];
      logs.write(want.logs[i], want.logText[i]);
    }
    EXPECT_EQ(lines_of(work.read("t.tsv"))[0],
              "id\tstatus\titerations\trmse\tA0\tA0_sd\tA1\tA1_sd\tmessage\treason");
    check_table(work.read("t.tsv"), want.table, logs, 4);
  }
}

}  // namespace

namespace {

const char usage[] =
    R"(usage: velbatch [options] dataOffset dataFile resultsFile tableFile model maxIterations
                [parameter ...]
       velbatch --join outputTable partTable ...

Fits every dataset of dataFile as velquin would fit it by its id, appends each report
to resultsFile in dataset order and writes one row per dataset to tableFile ("-":
standard output): id, status, iterations, rmse, each parameter and its standard
deviation, message.

  -j N, --jobs N   N worker processes (default: the number of online processors)
  --ids LIST       fit only these datasets, in this order: 3,7,10-20
  --part K/N       fit only the K-th (0 to N-1) of N equal parts of these datasets
  --starts FILE    starting values per dataset: lines of an id and parameters
  --log-dir DIR    also write each dataset's velquin log and report as DIR/ID.log
                   and DIR/ID.res
  --append         add to a results file that holds earlier reports
  --guess          starting values from each dataset's own data
  --save-starts FILE
                   write the start of each fit, as lines that --starts reads
  --help, --version

The positions and parameters are velquin's, each number whole; a leading "=" holds
a parameter.
Exit status: 0 when every dataset is ok, 1 when one failed or was refused, 2 when the
batch could not run, 130 or 143 after an interrupt.

--join writes the tables of a batch's parts, in the order given, as the table of the
whole batch under one header; exit status 0, or 2 when it refuses a part.
)";

// A batch that cannot run touches no file: each row a command line, what it prints on
// standard error (the usage text or a framed report, always fatal) and status 2, with
// nothing on standard output.
TEST(velbatch, refuses_what_cannot_run_before_writing) {
  const std::string line = "1\n0 1.1\n1 2.9\n2 5.2\n";
  auto refused = [](const std::string &m) { return frame(true, "get_batch_args", m); };
  const std::vector<std::string> fit = {"0", "10"};
  struct row {
    const char *name;
    std::vector<std::string> args;
    std::string err;
  } rows[] = {
      {"five positions", {"0", "data.crv", "r.res", "t.tsv", "0"}, usage},
      {"an unknown option",
       {"-x", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       refused("Unknown option -x\n")},
      {"no job count", {"-j"}, refused("Option -j needs a value\n")},
      {"no worker",
       {"-j", "0", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       refused("Invalid number of jobs 0: 1 to 64\n")},
      {"a bad id list",
       {"--ids", "3,x", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "get_batch_args", "Invalid id list 3,x: ids and ranges such as 3,7,10-20\n")},
      {"a descending range",
       {"--ids=9-3", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "get_batch_args", "Invalid id list 9-3: ids and ranges such as 3,7,10-20\n")},
      {"an unknown model",
       {"0", "data.crv", "r.res", "t.tsv", "29", "10"},
       refused("Unknown model number 29\n")},
      {"a pipe as data file",
       {"0", "/dev/stdin", "r.res", "t.tsv", "0", "10"},
       frame(true, "index_datasets",
             "Data file /dev/stdin cannot be read twice: give a file, not a pipe\n")},
      {"a missing data file",
       {"0", "none.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "read_crv_data", "Unable to open file none.crv\n")},
      {"results file is the data file",
       {"0", "data.crv", "./data.crv", "t.tsv", "0", "10"},
       refused("Output file ./data.crv is the data file\n")},
      {"table is the data file",
       {"0", "data.crv", "r.res", "data.crv", "0", "10"},
       refused("Output file data.crv is the data file\n")},
      {"table is the results file",
       {"0", "data.crv", "old.res", "old.res", "0", "10"},
       refused("Table file old.res is the results file\n")},
      {"a log that is the data file",
       {"--log-dir", "logs", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       refused("Output file logs/1.log is the data file\n")},
      {"a starts line without an id",
       {"--starts", "bad.starts", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "load_starts",
             "Line 2 of starts file bad.starts does not begin with a dataset id\n")},
      {"a starts file naming a dataset twice",
       {"--starts", "twice.starts", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "load_starts", "Line 3 of starts file twice.starts repeats dataset 1\n")},
      {"a table in a missing folder",
       {"0", "data.crv", "r.res", "none/t.tsv", "0", "10"},
       frame(true, "write_table", "Unable to open output file none/t.tsv")},
      {"table is the results file, neither there yet",
       {"0", "data.crv", "new.res", "./new.res", "0", "10"},
       refused("Table file ./new.res is the results file\n")},
      {"results file named as a log",
       {"--log-dir", "logs", "0", "data.crv", "logs/2.log", "t.tsv", "0", "10"},
       refused("Log file logs/2.log is the results file\n")},
      {"table named as a log of a folder still to be made",
       {"--log-dir", "new", "0", "data.crv", "r.res", "new/3.log", "0", "10"},
       refused("Log file new/3.log is the table file\n")},
      {"a log folder that cannot be made, the table kept",
       {"--log-dir", "data.crv/logs", "0", "data.crv", "r.res", "old.res", "0", "10"},
       frame(true, "write_log", "Unable to create log folder data.crv/logs\n")},
      {"a pipe as starts file",
       {"--starts", "/dev/stdin", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "load_starts",
             "Starts file /dev/stdin cannot be read twice: give a file, not a pipe\n")},
      {"a folder as data file",
       {"0", "logs", "r.res", "t.tsv", "0", "10"},
       frame(true, "read_crv_data", "Unable to read file logs\n")},
      {"an offset of -inf is a position",
       {"-inf", "none.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "read_crv_data", "Unable to open file none.crv\n")},
      {"a letter O in the iteration limit",
       {"0", "data.crv", "r.res", "t.tsv", "0", "1OO"},
       refused("Argument maxIterations is not an integer: 1OO\n")},
      {"a model with a letter",
       {"0", "data.crv", "r.res", "t.tsv", "5x", "10"},
       refused("Argument model is not an integer: 5x\n")},
      {"a decimal comma",
       {"1,5", "data.crv", "r.res", "t.tsv", "0", "10"},
       refused("Argument dataOffset is not a number: 1,5\n")},
      {"a parameter that is not a number",
       {"0", "data.crv", "r.res", "t.tsv", "0", "10", "1", "=2x"},
       refused("Parameter A1 is not a number: =2x\n")},
      {"more parameters than the model takes",
       {"0", "data.crv", "r.res", "t.tsv", "5", "10", "1", "2", "3"},
       refused("Model 5 (T2 Relaxation) takes 2 parameters: Mo T2; 3 given\n")},
      {"an option after the positions",
       {"0", "data.crv", "r.res", "t.tsv", "0", "10", "1", "1", "-j", "2"},
       refused("Option -j stands after the positions: options go before the positions\n")},
      {"a starts word that is not a number",
       {"--starts", "word.starts", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "load_starts",
             "Line 1 of starts file word.starts: word 3 (parameter A1) is not a number: 1OO\n")},
      {"a starts line of more values than the model takes",
       {"--starts", "many.starts", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "load_starts",
             "Line 2 of starts file many.starts: Model 0 (Straight Line) takes 2 parameters: A0 "
             "A1; 3 given\n")},
      {"a results file of earlier reports",
       {"0", "data.crv", "old.res", "t.tsv", "0", "10"},
       frame(true, "write_results",
             "Results file old.res holds earlier reports: remove it, or give --append\n")},
      {"results file named as a report of the log folder",
       {"--log-dir", "logs", "0", "data.crv", "logs/2.res", "t.tsv", "0", "10"},
       refused("Report file logs/2.res is the results file\n")},
      {"--guess with RT of model 20 free",
       {"--guess", "0", "data.crv", "r.res", "t.tsv", "20", "100", "1", "0", "0.3", "0", "20", "2",
        "=1e-5", "0.59"},
       refused("--guess needs RT of model 20 held (=value): only A4/RT and A5/RT enter the "
               "model\n")},
      {"--guess with TAU and DELTASQU of model 7 free",
       {"--guess", "0", "data.crv", "r.res", "t.tsv", "7", "100"},
       refused("--guess needs TAU or DELTASQU of model 7 held (=value): TAU and DELTASQU "
               "enter only as their product\n")},
      {"saved starts into the results file",
       {"--save-starts", "old.res", "0", "data.crv", "old.res", "t.tsv", "0", "10"},
       refused("Saved-starts file old.res is the results file\n")},
      {"saved starts into the data file",
       {"--save-starts", "./data.crv", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       refused("Output file ./data.crv is the data file\n")},
      {"saved starts into the table, neither there yet",
       {"--save-starts", "new.tsv", "0", "data.crv", "r.res", "./new.tsv", "0", "10"},
       refused("Saved-starts file new.tsv is the table file\n")},
      {"saved starts into the starts file",
       {"--starts", "bad.starts", "--save-starts", "bad.starts", "0", "data.crv", "r.res", "t.tsv",
        "0", "10"},
       refused("Saved-starts file bad.starts is the starts file\n")},
      {"saved starts named as a log of the log folder",
       {"--log-dir", "logs", "--save-starts", "logs/2.log", "0", "data.crv", "r.res", "t.tsv", "0",
        "10"},
       refused("Log file logs/2.log is the saved-starts file\n")},
      {"saved starts in a missing folder",
       {"--save-starts", "none/s.txt", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "write_starts", "Unable to open output file none/s.txt")},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    temp_dir work;
    work.write("data.crv", line);
    work.write("old.res", "old\n");
    work.write("bad.starts", "# id A0 A1\nid 1 2\n");
    work.write("twice.starts", "1 2 1\n\n1 2 2\n");
    work.write("word.starts", "1 2 1OO\n");
    work.write("many.starts", "# id A0 A1\n1 2 1 0\n");
    mkdir(work.file("logs").c_str(), 0777);
    ASSERT_EQ(link(work.file("data.crv").c_str(), work.file("logs/1.log").c_str()), 0);
    std::vector<std::string> before = work.list();
    run_result res = run_program(VELBATCH_BIN, r.args, work.path());
    EXPECT_EQ(res.status, 2);
    EXPECT_EQ(res.err, r.err);
    EXPECT_EQ(res.out, "");
    EXPECT_EQ(work.list(), before);
    EXPECT_EQ(work.read("data.crv"), line);
    EXPECT_EQ(work.read("old.res"), "old\n");
  }
  for (const char *arg : {"--help", "--version"}) {
    temp_dir work;
    run_result res = run_program(VELBATCH_BIN, {arg}, work.path());
    EXPECT_EQ(res.status, 0);
    EXPECT_EQ(res.out,
              arg[2] == 'h' ? usage : std::string("velbatch (velquin) ") + VELQUIN_VERSION + "\n");
  }
}

// A log that cannot be written stops the batch with the results file and the table
// holding the same datasets, each whole.
TEST(velbatch, a_log_that_cannot_be_written_keeps_reports_and_rows_in_step) {
  temp_dir work;
  work.write("data.crv", "1\n0 1.1\n1 2.9\n2 5.2\n2\n0 1\n1 3.2\n2 4.9\n3\n0 1\n1 2\n");
  mkdir(work.file("L").c_str(), 0777);
  mkdir(work.file("L/2.log").c_str(), 0777);
  run_result res = run_program(
      VELBATCH_BIN, {"-j", "2", "--log-dir", "L", "0", "data.crv", "r.res", "t.tsv", "0", "100"},
      work.path());
  EXPECT_EQ(res.status, 2);
  EXPECT_EQ(res.err, frame(true, "write_log", "Unable to open output file L/2.log"));
  EXPECT_EQ(res.out, "");
  std::string results = work.read("r.res"), table = work.read("t.tsv");
  EXPECT_EQ(results.find("Data Input.:"), results.rfind("Data Input.:"));
  EXPECT_NE(results.find("Data Input.:"), std::string::npos);
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 2);  // the header and dataset 1
  EXPECT_EQ(table.substr(table.find('\n') + 1, 2), "1\t");
}

}  // namespace

namespace {

int count_of(const std::string &text, const std::string &what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

// An interrupt starts no new fit: the fits running end, and the results file and the table
// end with their whole reports and rows, in dataset order.
TEST(velbatch, an_interrupt_leaves_whole_reports_and_rows) {
  std::string data;  // exact lines never converge: every fit runs to its limit
  for (int id = 1; id <= 300; id++) {
    data += std::to_string(id) + "\n";
    for (int i = 0; i < 1500; i++)
      data += std::to_string(i) + " " + std::to_string(2 * i + 1) + "\n";
  }
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    temp_dir work;
    work.write("data.crv", data);
    started_program p = start_program(
        VELBATCH_BIN, {"-j", "2", "0", "data.crv", "r.res", "t.tsv", "0", "2000", "2", "1"},
        work.path());
    // Wait for two rows, then interrupt.
    for (int tries = 0;
         tries < 3000 && count_of(work.exists("t.tsv") ? work.read("t.tsv") : "", "\n") < 3;
         tries++) {
      usleep(10000);
    }
    kill(p.pid, sig);
    run_result r = finish_program(p);
    EXPECT_EQ(r.status, 128 + sig);
    std::string table = work.read("t.tsv"), results = work.read("r.res");
    int rows = count_of(table, "\n") - 1;
    EXPECT_GE(rows, 2);
    EXPECT_LT(rows, 300);
    EXPECT_EQ(table.back(), '\n');
    EXPECT_EQ(count_of(results, "Data Input.:"), rows);
    EXPECT_EQ(results.substr(results.size() - 63),
              "\n\n************************************************************\n");
    EXPECT_EQ(lines_of(table).back().substr(0, std::to_string(rows).size() + 8),
              std::to_string(rows) + "\tfailed\t");
    EXPECT_EQ(r.out, "velbatch: interrupted after " + std::to_string(rows) + " datasets: 0 ok, " +
                         std::to_string(rows) + " failed, 0 refused\n");
  }
}

// T1 relaxations of 14 to 19 points, each dataset's count its own, the fits quick: a batch
// of them takes a few tenths of a second.
std::string t1_file(int datasets) {
  std::string s;
  for (int id = 1; id <= datasets; id++) {
    s += std::to_string(id) + "\n";
    for (int i = 0; i < 14 + id % 6; i++) {
      double x = 10 + 118.5 * i, noise = ((i * 7919 + id * 104729) % 201 - 100) / 100.0;
      char buf[64];
      snprintf(buf, sizeof buf, "%g %.4f\n", x, 100 * (1 - 1.9 * exp(-x / 450)) + noise);
      s += buf;
    }
  }
  return s;
}

// One of velbatch's worker processes, or -1 when it has none (yet).
int worker_of(int pid) {
  std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
  std::string children = read_file(path);
  return children.empty() ? -1 : atoi(children.c_str());
}

// A batch ended abruptly at any moment: its main process killed outright (SIGKILL), one of
// its workers killed outright, or two interrupts at once, which end the fits under way.
// Once every process of it has ended, the table holds whole rows and the results file whole
// reports of the same datasets, in order: each report's point and iteration counts are
// those of its row's dataset; with --save-starts, the saved starts are of them too. The moments are
// drawn at random, and named when a run fails.
TEST(velbatch, a_batch_ended_abruptly_leaves_whole_rows_and_reports_of_the_same_datasets) {
  const std::string data = t1_file(6000);
  const std::string rule = "************************************************************\n";
  const std::string lost = frame(true, "run_batch", "A worker process ended before its work\n");
  enum { KILL_MAIN, KILL_WORKER, HURRY };
  const char *names[] = {"the main process killed", "a worker killed", "two interrupts"};
  unsigned seed = (unsigned)time(NULL);
  srand(seed);
  for (int run = 0; run < 12; run++) {
    const char *jobs = run % 2 == 0 ? "1" : "2";
    int how = run % 3, delayUs = rand() % 400000;
    SCOPED_TRACE(std::string(names[how]) + ", -j " + jobs + ", after " + std::to_string(delayUs) +
                 " us, seed " + std::to_string(seed));
    bool saves = run % 4 < 2;
    SCOPED_TRACE(saves ? "with --save-starts" : "");
    temp_dir work;
    work.write("data.crv", data);
    std::vector<std::string> args = {"-j", jobs,   "0",  "data.crv", "r.res", "t.tsv",
                                     "4",  "1000", "80", "=1.9",     "300"};
    if (saves) args.insert(args.begin(), {"--save-starts", "s.txt"});
    started_program p = start_program(VELBATCH_BIN, args, work.path());
    usleep((useconds_t)delayUs);
    int worker = worker_of(p.pid);
    if (how == KILL_MAIN || (how == KILL_WORKER && worker < 0)) kill(p.pid, SIGKILL);
    if (how == KILL_WORKER && worker > 0) kill(worker, SIGKILL);
    if (how == HURRY) {
      kill(p.pid, SIGINT);
      kill(p.pid, SIGINT);
    }
    run_result r = finish_program(p);  // once the workers, which hold its outputs, have ended
    std::string table = work.exists("t.tsv") ? work.read("t.tsv") : "";
    std::string results = work.exists("r.res") ? work.read("r.res") : "";
    std::vector<std::string> rows = lines_of(table);
    int n = rows.empty() ? 0 : (int)rows.size() - 1, reports = count_of(results, rule);
    if (r.status == 0) {
      EXPECT_EQ(n, 6000);  // it ended before the blow
    } else if (how == KILL_MAIN || (how == KILL_WORKER && worker < 0)) {
      EXPECT_EQ(r.signal, SIGKILL);
    } else if (how == KILL_WORKER) {
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.err, lost);
    } else if (r.signal != SIGINT) {  // the second may come before the batch takes the
                                      // signals, or after it gives them back
      EXPECT_EQ(r.status, 128 + SIGINT);
      EXPECT_EQ(r.out, "velbatch: interrupted after " + std::to_string(n) +
                           " datasets: " + std::to_string(n) + " ok, 0 failed, 0 refused\n");
    }
    if (!table.empty()) {
      EXPECT_EQ(table.back(), '\n');
      EXPECT_EQ(rows[0],
                "id\tstatus\titerations\trmse\tMo\tMo_sd\tW\tW_sd\tT1\tT1_sd\tmessage\treason");
    }
    EXPECT_EQ(reports, n);
    if (saves && work.exists("s.txt")) {
      std::string starts = work.read("s.txt");
      std::vector<std::string> lines = lines_of(starts);
      ASSERT_EQ((int)lines.size() - 1, n);
      EXPECT_EQ(starts.back(), '\n');
      for (int k = 1; k <= n; k++) EXPECT_EQ(lines[k], std::to_string(k) + " 80 =1.9 300") << k;
    }
    if (!results.empty()) {  // it ends with a whole report
      EXPECT_EQ(results.substr(results.size() - std::min(results.size(), rule.size())), rule);
    }
    size_t at = 0;
    for (int k = 1; k <= n && k <= reports; k++) {
      std::vector<std::string> f = split(rows[k], '\t');
      ASSERT_EQ(f.size(), 12u) << rows[k];
      EXPECT_EQ(f[0], std::to_string(k));
      size_t end = results.find(rule, at);
      std::string report = results.substr(at, end - at);
      at = end + rule.size();
      EXPECT_NE(report.find("Num of data: " + std::to_string(14 + k % 6) + "\n"), std::string::npos)
          << k;
      EXPECT_NE(report.find("Iterations.: " + f[2] + "\n"), std::string::npos) << k;
    }
  }
}

// Two batches at once on one results file or one table would interleave their reports:
// the second is refused at its start and writes nothing, its own table included.
TEST(velbatch, a_second_batch_on_the_same_outputs_is_refused) {
  std::string data;  // exact lines never converge: every fit runs to its limit
  for (int id = 1; id <= 100; id++) {
    data += std::to_string(id) + "\n";
    for (int i = 0; i < 1500; i++) data += std::to_string(i) + " " + std::to_string(2 * i) + "\n";
  }
  temp_dir work;
  work.write("data.crv", data);
  started_program first = start_program(
      VELBATCH_BIN, {"-j", "1", "0", "data.crv", "r.res", "t.tsv", "0", "2000", "2", "0"},
      work.path());
  for (int tries = 0; tries < 3000 && !(work.exists("t.tsv") && work.read("t.tsv").size() > 0);
       tries++) {
    usleep(10000);
  }
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string err;
  } rows[] = {
      {"the same results file",
       {"--append", "0", "data.crv", "r.res", "other.tsv", "0", "10"},
       frame(true, "write_results", "Results file r.res is in use by another velbatch\n")},
      {"the same table",
       {"0", "data.crv", "other.res", "t.tsv", "0", "10"},
       frame(true, "write_table", "Table file t.tsv is in use by another velbatch\n")},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    std::string table = work.read("t.tsv");
    run_result res = run_program(VELBATCH_BIN, r.args, work.path());
    EXPECT_EQ(res.status, 2);
    EXPECT_EQ(res.err, r.err);
    EXPECT_EQ(res.out, "");
    EXPECT_FALSE(work.exists("other.tsv"));
    EXPECT_FALSE(work.exists("other.res"));
    EXPECT_EQ(work.read("t.tsv").substr(0, table.size()), table);  // only grown
  }
  kill(first.pid, SIGTERM);
  EXPECT_EQ(finish_program(first).status, 128 + SIGTERM);
}

// --append adds a second batch's reports to the first's; the table holds the second only.
TEST(velbatch, appends_reports_when_asked) {
  temp_dir work;
  work.write("data.crv", "1\n0 1.1\n1 2.9\n2 5.2\n3 6.8\n");
  const std::vector<std::string> fit = {"0", "data.crv", "r.res", "t.tsv", "0", "100", "1", "1"};
  run_result r = run_program(VELBATCH_BIN, fit, work.path());
  ASSERT_EQ(r.status, 0) << r.err;
  std::string report = work.read("r.res"), table = work.read("t.tsv");
  std::vector<std::string> again = fit;
  again.insert(again.begin(), "--append");
  r = run_program(VELBATCH_BIN, again, work.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(work.read("r.res"), report + report);
  EXPECT_EQ(work.read("t.tsv"), table);
}

// Each failed fit says why it stopped, in words, beside velquin's message.
TEST(velbatch, says_why_each_fit_failed) {
  temp_dir work;
  work.write("data.crv",
             "1\n0 1\n1 3\n2 5\n3 7\n"  // exact: the limit is reached
             "2\n0 1\n1 nan\n2 5\n"     // nan in the data, line 8
             "3\n0 1\n0 2\n0 3\n");     // x all 0: A0 has no effect
  run_result r = run_program(
      VELBATCH_BIN, {"-j", "2", "0", "data.crv", "r.res", "-", "0", "50", "1", "1"}, work.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  std::vector<std::string> rows = lines_of(r.out);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "id\tstatus\titerations\trmse\tA0\tA0_sd\tA1\tA1_sd\tmessage\treason");
  const char *reasons[] = {"the iteration limit (50) was reached at RMSE ",
                           "the RMSE is not a finite number: data line 8 holds nan or inf",
                           "the normal matrix is singular: A0 has no effect on the model"};
  for (int k = 0; k < 3; k++) {
    SCOPED_TRACE(rows[k + 1]);
    std::vector<std::string> f = split(rows[k + 1], '\t');
    ASSERT_EQ(f.size(), 10u);
    EXPECT_EQ(f[1], "failed");
    EXPECT_EQ(f[8], "velquin: Unable to converge with your starting parameters.");
    EXPECT_EQ(f[9].substr(0, strlen(reasons[k])), reasons[k]);
  }
  // The limit's RMSE is the one in the row, the last iterate's.
  std::vector<std::string> first = split(rows[1], '\t');
  EXPECT_EQ(first[9], reasons[0] + first[3]);
}

// A starts file may begin with a byte order mark; lines for datasets that the batch does not
// have are counted on standard error, the first named.
TEST(velbatch, counts_starts_lines_for_datasets_not_in_the_batch) {
  temp_dir work;
  work.write("data.crv", "1\n0 1.1\n1 2.9\n2 5.2\n3 6.8\n2\n0 1\n1 3.2\n2 4.9\n3 7.1\n");
  work.write("s.txt", "\xEF\xBB\xBF# id A0 A1\n2 =2 1\n7 1 1\n1 1 1\n12 1 1\n");
  run_result r = run_program(
      VELBATCH_BIN, {"--starts", "s.txt", "0", "data.crv", "r.res", "t.tsv", "0", "100", "1", "1"},
      work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "velbatch: 2 datasets: 2 ok, 0 failed, 0 refused\n");
  const std::string note =
      "starts file s.txt: 2 lines for datasets not in the batch, the first: line 3, dataset 7\n";
  EXPECT_EQ(r.err, note);
  std::vector<std::string> row = split(lines_of(work.read("t.tsv"))[2], '\t');
  EXPECT_EQ(row[4], "2");  // dataset 2's A0, held at its line's value
  EXPECT_EQ(row[5], "0");
  // A part of the batch counts the lines of datasets in no part, not those of other parts.
  r = run_program(VELBATCH_BIN,
                  {"--part", "1/2", "--starts", "s.txt", "0", "data.crv", "p.res", "p.tsv", "0",
                   "100", "1", "1"},
                  work.path());
  EXPECT_EQ(r.out, "velbatch: 1 datasets: 1 ok, 0 failed, 0 refused\n");
  EXPECT_EQ(r.err, note);
}

// The README's first screen: the demonstration fits the T1 example, then the titration
// table of examples/ in one batch, and prints the batch's table.
TEST(velbatch, the_demonstration_fits_the_titration_table) {
  temp_dir work;
  run_result r = run_program("/bin/sh", {EXAMPLES_DIR "/demo.sh", VELQUIN_BIN}, work.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("velbatch: 3 datasets: 3 ok, 0 failed, 0 refused\n"), std::string::npos);
  std::vector<std::string> lines = lines_of(r.out.substr(r.out.find("--- titration.tsv\n")));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].substr(0, 12), "id  status  ");
  for (int k = 1; k <= 3; k++) EXPECT_EQ(lines[k + 1].substr(0, 8), std::to_string(k) + "   ok  ");
}

// Python's csv module reads every column of the table: numbers, nan, inf, empty fields.
TEST(velbatch, python_reads_the_table) {
  if (system("python3 -c 'import csv' > /dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  temp_dir work;
  work.write("data.crv", "1\n0 1.1\n1 2.9\n2 5.2\n3 6.8\n2\n0 nan\n1 2\n3\n1 2\n4\n0 1\n1 1e308\n");
  work.write("read.py", R"(import csv, math, sys
rows = list(csv.DictReader(open(sys.argv[1], newline=""), delimiter="\t"))
for r in rows:
    nums = [r[k] for k in ("iterations", "rmse", "A0", "A0_sd", "A1", "A1_sd")]
    vals = [float(v) if v else None for v in nums]
    print(r["id"], r["status"], ["nan" if v is not None and math.isnan(v) else v for v in vals], r["message"])
)");
  run_result r = run_program(VELBATCH_BIN,
                             {"-j", "1", "0", "data.crv", "r.res", "t.tsv", "0", "500", "1", "1"},
                             work.path());
  EXPECT_EQ(r.status, 1);
  r = run_program("/usr/bin/env", {"python3", "read.py", "t.tsv"}, work.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "1 ok [69.0, 0.1431838884127767, 1.9393455733074172, 0.09055744232475214, "
            "1.089937342125178, 0.16941746150088283] \n"
            "2 failed [500.0, 'nan', 1.0, 0.0, 1.0, 0.0] "
            "velquin: Unable to converge with your starting parameters.\n"
            "3 refused [None, None, None, None, None, None] Error, Min data points is (2)\n"
            "4 failed [500.0, 'nan', 1.0, 0.0, 1.0, 0.0] "
            "velquin: Unable to converge with your starting parameters.\n");
}

}  // namespace

namespace {

// Files fitted by GNU parallel give, joined, the table of the one file that holds them all.
TEST(velbatch, tables_of_parts_join_into_the_whole) {
  temp_dir work;
  if (run_program("/usr/bin/env", {"parallel", "--version"}, work.path()).status != 0) {
    GTEST_SKIP() << "GNU parallel is not installed";
  }
  std::string whole;
  for (int part = 0; part < 3; part++) {
    std::string data;
    for (int d = 1; d <= 4; d++) {
      data += std::to_string(part * 4 + d) + "\n" + line_points(5 + d, 2, "\n", part * 4 + d);
    }
    work.write("part" + std::to_string(part) + ".crv", data);
    whole += data;
  }
  work.write("whole.crv", whole);
  run_result r = run_program(
      "/usr/bin/env",
      {"parallel", "--will-cite", "-j", "3", VELBATCH_BIN, "-j", "1", "0", "{}", "{.}.res",
       "{.}.tsv", "0", "100", "1", "1", ":::", "part0.crv", "part1.crv", "part2.crv"},
      work.path());
  EXPECT_EQ(r.status, 0) << r.err;
  r = run_program(VELBATCH_BIN, {"0", "whole.crv", "whole.res", "whole.tsv", "0", "100", "1", "1"},
                  work.path());
  EXPECT_EQ(r.status, 0);
  r = run_program("/bin/sh", {"-c", "awk 'FNR > 1 || NR == 1' part0.tsv part1.tsv part2.tsv"},
                  work.path());
  EXPECT_EQ(r.out, work.read("whole.tsv"));
}

}  // namespace
