// Program tests of a batch cut into parts: the parts' results files one after the other,
// their tables joined by velbatch --join, and their logs are the whole batch's, byte for
// byte, for several part counts, with and without --ids; and what --part and --join refuse,
// before anything is written.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "program_run.h"
#include "velquin_texts.h"

namespace {

// Noisy straight lines with gaps between their ids, data before the first id line, a
// repeated id, a fit that fails (exact data: it never converges), a refused dataset.
std::string parts_file() {
  std::string s = "0 1.05\n1 2.98\n2 5.01\n";
  for (int d = 1; d <= 40; d++) {
    int id = d * d % 97 + d;  // gaps of every size
    s += std::to_string(id) + "\n";
    if (d == 9) {
      s += "0 1\n1 3\n2 5\n3 7\n";
    } else if (d == 17) {
      s += "0 1\nabc\n";
    } else {
      for (int i = 0; i < 6; i++) {
        char buf[64];
        snprintf(buf, sizeof buf, "%d %.3f\n", i,
                 2.0 * i + 1 + ((i * 31 + d * 17) % 13 - 6) / 60.0);
        s += buf;
      }
    }
    if (d == 20) s += "5\n0 9\n1 9\n";  // id 5 again: only its first dataset is read
  }
  return s;
}

std::vector<std::string> with(std::vector<std::string> head, const std::vector<std::string> &tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

int row_count(const std::string &table) {
  int n = 0;
  for (char c : table) n += c == '\n';
  return n - 1;
}

TEST(velbatch, parts_joined_are_the_whole_batch) {
  const std::vector<std::string> fit = {"0", "100", "1", "1"};
  const std::vector<std::vector<std::string>> selections = {{}, {"--ids", "40-60,5,5,0,31,999"}};
  for (const auto &ids : selections) {
    SCOPED_TRACE(ids.empty() ? "every dataset" : "listed ids");
    temp_dir work;
    work.write("data.crv", parts_file());
    run_result whole =
        run_program(VELBATCH_BIN,
                    with(with(ids, {"--log-dir", "whole", "--save-starts", "whole.starts", "0",
                                    "data.crv", "whole.res", "whole.tsv"}),
                         fit),
                    work.path());
    ASSERT_EQ(whole.status, 1) << whole.out;  // a failed and a refused dataset
    const int rows = row_count(work.read("whole.tsv"));
    for (int n : {1, 2, 3, 7}) {
      SCOPED_TRACE(std::to_string(n) + " parts");
      std::string results, starts, logs = "parts" + std::to_string(n);
      std::vector<std::string> join = {"--join", "joined.tsv"};
      int smallest = rows, largest = 0;
      for (int k = 0; k < n; k++) {
        std::string part = logs + "-" + std::to_string(k);
        run_result r = run_program(
            VELBATCH_BIN,
            with(with(ids, {"-j", "2", "--part", std::to_string(k) + "/" + std::to_string(n),
                            "--log-dir", logs, "--save-starts", part + ".starts", "0", "data.crv",
                            part + ".res", part + ".tsv"}),
                 fit),
            work.path());
        EXPECT_TRUE(r.status == 0 || r.status == 1) << r.out;
        results += work.read(part + ".res");
        // The saved starts join as the tables do: the first part's header line kept.
        std::string own = work.read(part + ".starts");
        starts += k == 0 ? own : own.substr(own.find('\n') + 1);
        join.push_back(part + ".tsv");
        int size = row_count(work.read(part + ".tsv"));
        smallest = std::min(smallest, size);
        largest = std::max(largest, size);
      }
      EXPECT_LE(largest - smallest, 1);
      EXPECT_TRUE(results == work.read("whole.res"));  // reports too long to show
      EXPECT_EQ(starts, work.read("whole.starts"));
      run_result j = run_program(VELBATCH_BIN, join, work.path());
      EXPECT_EQ(j.status, 0) << j.out;
      EXPECT_EQ(j.out, "");
      EXPECT_EQ(work.read("joined.tsv"), work.read("whole.tsv"));
      std::vector<std::string> names = list_dir(work.file("whole"));
      EXPECT_EQ(list_dir(work.file(logs)), names);
      for (const std::string &name : names) {
        EXPECT_EQ(work.read(logs + "/" + name), work.read("whole/" + name)) << name;
      }
    }
  }
}

// More parts than datasets: a part without any is done, with a table of its header alone.
TEST(velbatch, a_part_without_datasets_is_done) {
  temp_dir work;
  work.write("data.crv", "3\n0 1\n1 3.1\n2 4.9\n8\n0 2\n1 2.9\n2 4.1\n");
  run_result r = run_program(
      VELBATCH_BIN, {"--part", "2/7", "0", "data.crv", "r.res", "t.tsv", "0", "100", "1", "1"},
      work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "velbatch: 0 datasets: 0 ok, 0 failed, 0 refused\n");
  EXPECT_EQ(work.read("r.res"), "");
  EXPECT_EQ(work.read("t.tsv"),
            "id\tstatus\titerations\trmse\tA0\tA0_sd\tA1\tA1_sd\tmessage\treason\n");
  work.write("empty.crv", "# nothing\n");
  r = run_program(VELBATCH_BIN,
                  {"--part", "0/2", "0", "empty.crv", "e.res", "e.tsv", "0", "100", "1", "1"},
                  work.path());
  EXPECT_EQ(r.status, 1);  // as for the whole of a file without datasets
}

// A bad part or join touches no file: each row a command line, what it prints on standard
// error and status 2, with nothing on standard output.
TEST(velbatch, part_and_join_refusals_touch_no_file) {
  const std::string h0 = "id\tstatus\titerations\trmse\tA0\tA0_sd\tA1\tA1_sd\tmessage\treason\n";
  const std::string h4 =
      "id\tstatus\titerations\trmse\tMo\tMo_sd\tW\tW_sd\tT1\tT1_sd\tmessage\treason\n";
  const std::string row = "1\tok\t3\t0.5\t1\t0\t2\t0\t\t\n";
  auto join = [](const std::string &m) { return frame(true, "join_tables", m); };
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string err;
  } rows[] = {
      {"a part beyond the count",
       {"--part", "3/3", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "get_batch_args", "Invalid part 3/3: K/N, K from 0 to N-1, such as 3/20\n")},
      {"a part without its count",
       {"--part=1", "0", "data.crv", "r.res", "t.tsv", "0", "10"},
       frame(true, "get_batch_args", "Invalid part 1: K/N, K from 0 to N-1, such as 3/20\n")},
      {"a part without a value",
       {"--part"},
       frame(true, "get_batch_args", "Option --part needs a value\n")},
      {"a join without parts", {"--join", "old.tsv"}, ""},
      {"parts of two models",
       {"--join", "old.tsv", "a.tsv", "t1.tsv"},
       join("Part table t1.tsv has another header than a.tsv\n")},
      {"a part cut short",
       {"--join", "old.tsv", "a.tsv", "cut.tsv"},
       join("Part table cut.tsv is not whole: its last line has no line feed\n")},
      {"an empty part",
       {"--join", "old.tsv", "empty.tsv"},
       join("Part table empty.tsv is empty\n")},
      {"a part that is no table",
       {"--join", "old.tsv", "data.crv"},
       join("Part table data.crv does not begin with the header of a velbatch table\n")},
      {"a missing part",
       {"--join", "old.tsv", "a.tsv", "none.tsv"},
       join("Unable to open part table none.tsv\n")},
      {"the output among the parts",
       {"--join", "a.tsv", "t1.tsv", "./a.tsv"},
       join("Output file a.tsv is the part table ./a.tsv\n")},
      {"an output in a missing folder",
       {"--join", "none/j.tsv", "a.tsv"},
       join("Unable to open output file none/j.tsv")},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    temp_dir work;
    work.write("data.crv", "1\n0 1.1\n1 2.9\n2 5.2\n");
    work.write("old.tsv", "old\n");
    work.write("a.tsv", h0 + row);
    work.write("t1.tsv", h4);
    work.write("cut.tsv", h0 + row.substr(0, 7));
    work.write("empty.tsv", "");
    std::vector<std::string> before = work.list();
    run_result res = run_program(VELBATCH_BIN, r.args, work.path());
    EXPECT_EQ(res.status, 2);
    EXPECT_EQ(res.out, "");
    if (r.err.empty()) {
      EXPECT_EQ(res.err.rfind("usage: velbatch", 0), 0u) << res.err;
    } else {
      EXPECT_EQ(res.err, r.err);
    }
    EXPECT_EQ(work.list(), before);
    EXPECT_EQ(work.read("old.tsv"), "old\n");
    EXPECT_EQ(work.read("a.tsv"), h0 + row);
  }
}

}  // namespace
