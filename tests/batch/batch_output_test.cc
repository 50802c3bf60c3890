// Unit tests of the batch's outputs: results written whole in the order given, a block at a
// time or a dataset at a time alike, a piece that a full disk cuts short taken back with the
// rest of its dataset, outputs that cannot all be opened, are held by another batch or hold
// earlier reports leaving nothing new behind, the saved starts kept in step with the table,
// and the lines of the summary and of unused
// starts.
#include "batch_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "batch_index.h"
#include "batch_starts.h"
#include "models.h"
#include "program_run.h"
#include "show_err.h"

namespace {

const char header[] = "id\tstatus\titerations\trmse\tA0\tA0_sd\tA1\tA1_sd\tmessage\treason\n";

// A dataset's results as a worker leaves them; a report of "-" did not fit its buffer.
struct piece {
  int id, status;
  std::string report, log, row;
  std::string start = "";  // the start line, with --save-starts
};

// Every file and folder under path, sorted, with the content of each file.
std::string folder_text(const std::string &path, const std::string &prefix = "") {
  std::string s;
  for (const std::string &name : list_dir(path)) {
    struct stat st;
    stat((path + "/" + name).c_str(), &st);
    if (S_ISDIR(st.st_mode)) {
      s += prefix + name + "/|" + folder_text(path + "/" + name, prefix + name + "/");
    } else {
      s += prefix + name + "=" + read_file(path + "/" + name) + "|";
    }
  }
  return s;
}

// While it lasts, the current folder is path, and every file may grow to limit bytes only
// (0: no limit), a write past it failing as on a full disk.
struct outputs_place {
  std::string home;
  struct rlimit saved;
  outputs_place(const std::string &path, long limit) {
    char buf[4096];
    home = getcwd(buf, sizeof buf) != NULL ? buf : "/";
    EXPECT_EQ(chdir(path.c_str()), 0);
    getrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = saved;
    if (limit > 0) lim.rlim_cur = (rlim_t)limit;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~outputs_place() {
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(chdir(home.c_str()), 0);
  }
};

const std::string data = "data.crv=1\n0 1\n1 3\n|", old = "old.res=old\n|";

TEST(write_block, writes_whole_datasets_or_takes_back_their_pieces) {
  const std::string r40(39, 'r'), w20(19, 'w'), s120(119, 's'), H = header, S = "# id A0 A1\n";
  struct row {
    const char *name;
    const char *logDir, *results, *table;
    int append;
    const char *locked;         // a file that another batch holds, or NULL
    long limit;                 // the size a file may grow to, 0: no limit
    std::vector<piece> pieces;  // written in order while each is written whole
    int whole;                  // how many are; -1: the outputs could not be opened (or, for
                                // the header, started)
    const char *message;        // the last framed report's message, "" when none
    std::string files;          // the folder after
    int interrupted;
    const char *summary;
    int allOk;
    const char *saveStarts = nullptr;
  } rows[] = {
      // clang-format off
      {"whole results in the order given, a refused dataset without report or log",
       "L/new", "old.res", "t.tsv", 1, nullptr, 0,
       {{1, BATCH_OK, "report 1\n", "log 1\n", "1\tok\n"},
        {2, BATCH_REFUSED, "", "", "2\trefused\tno\n"},
        {3, BATCH_FAILED, "report 3\n", "log 3\n", "3\tfailed\tno\n"}},
       3, "",
       "L/|L/new/|L/new/1.log=log 1\n|L/new/1.res=report 1\n|L/new/3.log=log 3\n|"
           "L/new/3.res=report 3\n|" + data +
           "old.res=old\nreport 1\nreport 3\n|t.tsv=" + H +
           "1\tok\n2\trefused\tno\n3\tfailed\tno\n|",
       0, "velbatch: 3 datasets: 1 ok, 1 failed, 1 refused\n", 0},
      {"a report cut short is taken back and its row not written",
       nullptr, "old.res", "t.tsv", 1, nullptr, 100,
       {{1, BATCH_OK, r40 + "\n", "", "1\tok\n"}, {2, BATCH_OK, r40 + "\n", "", "2\tok\n"},
        {3, BATCH_OK, r40 + "\n", "", "3\tok\n"}},
       2, "Unable to write output file old.res",
       data + "old.res=old\n" + r40 + "\n" + r40 + "\n|t.tsv=" + H + "1\tok\n2\tok\n|",
       0, "velbatch: 2 datasets: 2 ok, 0 failed, 0 refused\n", 1},
      {"a row cut short takes its report back",
       nullptr, "r.res", "t.tsv", 0, nullptr, 100,
       {{1, BATCH_FAILED, "report 1\n", "", w20 + "\n"},
        {2, BATCH_OK, "report 2\n", "", w20 + "\n"}, {3, BATCH_OK, "report 3\n", "", w20 + "\n"}},
       2, "Unable to write output file t.tsv",
       data + old + "r.res=report 1\nreport 2\n|t.tsv=" + H + w20 + "\n" + w20 + "\n|",
       1, "velbatch: interrupted after 2 datasets: 1 ok, 1 failed, 0 refused\n", 0},
      {"results that did not fit their buffers are not written",
       nullptr, "r.res", "t.tsv", 0, nullptr, 0,
       {{1, BATCH_OK, "report 1\n", "", "1\tok\n"}, {2, BATCH_OK, "-", "", "2\tok\n"}},
       1, "The results of dataset 2 do not fit their buffers\n",
       data + old + "r.res=report 1\n|t.tsv=" + H + "1\tok\n|",
       0, "velbatch: 1 datasets: 1 ok, 0 failed, 0 refused\n", 1},
      {"a table that cannot be opened takes back the new results file and folders",
       "L/new", "r.res", "none/t.tsv", 0, nullptr, 0, {},
       -1, "Unable to open output file none/t.tsv", data + old,
       0, "velbatch: 0 datasets: 0 ok, 0 failed, 0 refused\n", 0},
      {"a header cut short takes back the new table, an earlier results file stays",
       "L", "old.res", "t.tsv", 1, nullptr, 30, {},
       -1, "Unable to write output file t.tsv", data + old,
       0, "velbatch: 0 datasets: 0 ok, 0 failed, 0 refused\n", 0},
      {"a results file of earlier reports without --append",
       "L/new", "old.res", "t.tsv", 0, nullptr, 0, {},
       -1, "Results file old.res holds earlier reports: remove it, or give --append\n",
       data + old, 0, "velbatch: 0 datasets: 0 ok, 0 failed, 0 refused\n", 0},
      {"a results file that another batch holds",
       "L/new", "old.res", "t.tsv", 1, "old.res", 0, {},
       -1, "Results file old.res is in use by another velbatch\n",
       data + old, 0, "velbatch: 0 datasets: 0 ok, 0 failed, 0 refused\n", 0},
      {"a table that another batch holds keeps its rows",
       "L/new", "r.res", "t.tsv", 0, "t.tsv", 0, {},
       -1, "Table file t.tsv is in use by another velbatch\n",
       data + old + "t.tsv=in use\n|", 0, "velbatch: 0 datasets: 0 ok, 0 failed, 0 refused\n", 0},
      {"a start line for each dataset fitted, none for a refused one",
       nullptr, "r.res", "t.tsv", 0, nullptr, 0,
       {{1, BATCH_OK, "report 1\n", "", "1\tok\n", "1 1 2\n"},
        {2, BATCH_REFUSED, "", "", "2\trefused\n"},
        {3, BATCH_FAILED, "report 3\n", "", "3\tfailed\n", "3 =1 -0\n"}},
       3, "",
       data + old + "r.res=report 1\nreport 3\n|s.txt=" + S + "1 1 2\n3 =1 -0\n|t.tsv=" + H +
           "1\tok\n2\trefused\n3\tfailed\n|",
       0, "velbatch: 3 datasets: 1 ok, 1 failed, 1 refused\n", 0, "s.txt"},
      {"a start line cut short goes before its report and row",
       nullptr, "r.res", "t.tsv", 0, nullptr, 100,
       {{1, BATCH_OK, "report 1\n", "", "1\tok\n", s120 + "\n"}},
       0, "Unable to write output file s.txt",
       data + old + "r.res=|s.txt=" + S + "|t.tsv=" + H + "|",
       0, "velbatch: 0 datasets: 0 ok, 0 failed, 0 refused\n", 0, "s.txt"},
      {"a row cut short takes back its start line",
       nullptr, "r.res", "t.tsv", 0, nullptr, 100,
       {{1, BATCH_OK, "report 1\n", "", "1\tok\n", "1 1 2\n"},
        {2, BATCH_OK, "report 2\n", "", r40 + "\n", "2 3 4\n"}},
       1, "Unable to write output file t.tsv",
       data + old + "r.res=report 1\n|s.txt=" + S + "1 1 2\n|t.tsv=" + H + "1\tok\n|",
       0, "velbatch: 1 datasets: 1 ok, 0 failed, 0 refused\n", 1, "s.txt"},
      {"a saved-starts file that another batch holds keeps its lines",
       nullptr, "r.res", "t.tsv", 0, "s.txt", 0, {},
       -1, "Saved-starts file s.txt is in use by another velbatch\n",
       data + old + "s.txt=in use\n|", 0, "velbatch: 0 datasets: 0 ok, 0 failed, 0 refused\n", 0,
       "s.txt"},
      // clang-format on
  };
  fill_catalogue();
  reset_index();
  errQuiet = 1;
  static out_block b;
  for (const row &c : rows) {
    // Each dataset a block of its own, then all in one block: the same files.
    for (int perBlock : {1, (int)BLOCK_DATASETS}) {
      SCOPED_TRACE(std::string(c.name) + (perBlock == 1 ? ", a block each" : ", one block"));
      temp_dir work;
      work.write("data.crv", "1\n0 1\n1 3\n");
      work.write("old.res", "old\n");
      batch_options o;
      memset(&o, 0, sizeof o);
      o.logDir = c.logDir;
      o.append = c.append;
      o.dataFile = "data.crv";
      o.resultsFile = c.results;
      o.tableFile = c.table;
      o.saveStarts = c.saveStarts;
      errMessage[0] = '\0';
      int whole = -1;
      char *summary = NULL;
      size_t summaryLen = 0;
      int lockFd = -1;
      if (c.locked != nullptr) {
        if (!work.exists(c.locked)) work.write(c.locked, "in use\n");
        lockFd = open(work.file(c.locked).c_str(), O_RDONLY);
        ASSERT_EQ(flock(lockFd, LOCK_EX), 0);
      }
      {
        outputs_place place(work.path(), c.limit);
        if (open_outputs(&o) && start_outputs(&o)) {
          whole = 0;
          for (size_t at = 0; at < c.pieces.size(); at += perBlock) {
            block_start(&b, (long long)at);
            for (size_t i = at; i < c.pieces.size() && i < at + perBlock; i++) {
              const piece &p = c.pieces[i];
              int len[BLOCK_TEXTS];
              len[TEXT_REPORT] = p.report == "-" ? -1 : (int)p.report.size();
              len[TEXT_ROW] = (int)p.row.size();
              len[TEXT_START] = (int)p.start.size();
              len[TEXT_LOG] = (int)p.log.size();
              memcpy(block_text(&b, TEXT_REPORT), p.report.data(), p.report.size());
              memcpy(block_text(&b, TEXT_ROW), p.row.data(), p.row.size());
              memcpy(block_text(&b, TEXT_START), p.start.data(), p.start.size());
              memcpy(block_text(&b, TEXT_LOG), p.log.data(), p.log.size());
              block_add(&b, p.id, p.status, len);
            }
            if (!write_block(&o, &b)) break;
            whole += b.count;
          }
          close_outputs();
        }
        FILE *fp = open_memstream(&summary, &summaryLen);
        write_summary(fp, c.interrupted);
        fclose(fp);
      }
      if (lockFd >= 0) close(lockFd);
      // In one block, the datasets written whole are counted by the summary.
      if (perBlock == 1 || c.whole < 0) {
        EXPECT_EQ(whole, c.whole);
      }
      EXPECT_STREQ(errMessage, c.message);
      EXPECT_EQ(folder_text(work.path()), c.files);
      EXPECT_EQ(std::string(summary, summaryLen), c.summary);
      EXPECT_EQ(outputs_all_ok(), c.allOk);
      free(summary);
    }
  }
  errQuiet = 0;
}

// The line on the starts file's lines for datasets that the batch does not have.
TEST(write_starts_note, counts_the_lines_and_names_the_first) {
  temp_dir work;
  work.write("s.txt", "# id A0 A1\n1 1 1\n9 1 1\n12 2 2\n");
  const struct {
    std::string data, note;
  } rows[] = {
      {"1\n1 2\n",
       "starts file s.txt: 2 lines for datasets not in the batch, the first: line 3, dataset 9\n"},
      {"12\n1 2\n1\n1 2\n",
       "starts file s.txt: 1 line for a dataset not in the batch: line 3, dataset 9\n"},
      {"9\n1 2\n1\n12\n", ""},
  };
  fill_catalogue();
  for (const auto &r : rows) {
    SCOPED_TRACE(r.data);
    work.write("d.crv", r.data);
    reset_index();
    ASSERT_EQ(load_starts(work.file("s.txt").c_str(), 0), 1);
    ASSERT_EQ(index_open(work.file("d.crv").c_str()), 1);
    batch_dataset ds;
    while (index_next(&ds) == 1) {
    }
    char *text = NULL;
    size_t len = 0;
    FILE *fp = open_memstream(&text, &len);
    write_starts_note(fp, "s.txt");
    fclose(fp);
    EXPECT_EQ(std::string(text, len), r.note);
    free(text);
  }
  reset_index();
}

}  // namespace
