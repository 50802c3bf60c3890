// Program tests of velbatch --guess and --save-starts: the start saved is the one each
// fit began from, so that --starts and velquin alone give the same bytes again; the same
// bytes for any number of workers; a starts line wins over the guess. What they refuse is
// among velbatch's refusals (velbatch_test.cc).
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "models.h"
#include "program_run.h"

namespace {

// The pKa, Sa and Sah of the titrations, one dataset each, ids 1 to 4.
const double titration_parms[4][3] = {
    {4.1, 8.4, 8.95}, {6.4, 7.2, 7.85}, {9.2, 8.1, 7.6}, {5.0, 7.9, 8.9}};

// Titrations over pH 2 to 12 made by the model itself, with a deterministic noise of at
// most 0.005; then dataset 5 of one point, which the reader refuses.
std::string titrations() {
  fill_catalogue();
  std::string s;
  for (int d = 0; d < 4; d++) {
    s += std::to_string(d + 1) + "\n";
    double p[MAX_PARMS] = {titration_parms[d][0], titration_parms[d][1], titration_parms[d][2],
                           1.0};
    for (int i = 0; i < 21; i++) {
      double x = 2.0 + 0.5 * i, y;
      fnf(9, &y, x, 0.0, p);
      double noise = ((i * 7919 + d * 104729) % 201 - 100) / 20000.0;
      char buf[64];
      snprintf(buf, sizeof buf, "%g %.5f\n", x, y + noise);
      s += buf;
    }
  }
  return s + "5\n3 8.1\n";
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> words_of(const std::string &line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// velbatch's fit positions for the titrations: HC held at 1, nothing else given.
const std::vector<std::string> fit = {"0",   "t.crv", "r.res", "t.tsv", "9",
                                      "500", "0",     "0",     "0",     "=1"};

run_result velbatch(const temp_dir &work, std::vector<std::string> options,
                    const std::vector<std::string> &positions = fit) {
  options.insert(options.end(), positions.begin(), positions.end());
  return run_program(VELBATCH_BIN, options, work.path());
}

// The start saved for each dataset is the one its fit began from: velbatch --starts with
// the saved file gives the same results file and table, and velquin from each saved line
// the same report and log.
TEST(velbatch_guess, saved_starts_give_the_same_bytes_again) {
  temp_dir work;
  work.write("t.crv", titrations());
  run_result r = velbatch(work, {"--guess", "--save-starts", "s.txt", "--log-dir", "L"});
  EXPECT_EQ(r.status, 1);  // dataset 5 is refused
  EXPECT_EQ(r.out, "velbatch: 5 datasets: 4 ok, 0 failed, 1 refused\n");
  EXPECT_EQ(r.err, "");
  std::vector<std::string> starts = lines_of(work.read("s.txt"));
  ASSERT_EQ(starts.size(), 5u);  // the header and the four datasets fitted
  EXPECT_EQ(starts[0], "# id pKa Sa Sah HC");
  std::string reports;
  for (int d = 0; d < 4; d++) {
    SCOPED_TRACE(starts[d + 1]);
    std::vector<std::string> w = words_of(starts[d + 1]);
    ASSERT_EQ(w.size(), 5u);
    EXPECT_EQ(w[0], std::to_string(d + 1));
    EXPECT_EQ(w[4], "=1");
    EXPECT_NEAR(strtod(w[1].c_str(), NULL), titration_parms[d][0], 0.5);  // guessed, not 0
    std::vector<std::string> args = {"0", w[0], "t.crv", "v.res", w[0] + ".log", "9", "500"};
    args.insert(args.end(), w.begin() + 1, w.end());
    EXPECT_EQ(run_program(VELQUIN_BIN, args, work.path()).status, 0);
    EXPECT_EQ(work.read(w[0] + ".log"), work.read("L/" + w[0] + ".log"));
  }
  EXPECT_EQ(work.read("v.res"), work.read("r.res"));
  std::vector<std::string> again = fit;
  again[2] = "r2.res", again[3] = "t2.tsv";
  r = velbatch(work, {"--starts", "s.txt", "--save-starts", "s2.txt"}, again);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(work.read("r2.res"), work.read("r.res"));
  EXPECT_EQ(work.read("t2.tsv"), work.read("t.tsv"));
  EXPECT_EQ(work.read("s2.txt"), work.read("s.txt"));  // without --guess, the same starts
}

// One dataset after another in one worker or three, the guesses and fits are the same.
TEST(velbatch_guess, every_number_of_workers_gives_the_same_bytes) {
  temp_dir one, three;
  for (const temp_dir *w : {&one, &three}) {
    w->write("t.crv", titrations());
    velbatch(*w, {"-j", w == &one ? "1" : "3", "--guess", "--save-starts", "s.txt"});
  }
  for (const char *f : {"r.res", "t.tsv", "s.txt"}) {
    SCOPED_TRACE(f);
    EXPECT_EQ(one.read(f), three.read(f));
  }
}

// A dataset with a line in the starts file starts from it, unguessed; the others are
// guessed.
TEST(velbatch_guess, a_starts_line_wins_over_the_guess) {
  temp_dir work;
  work.write("t.crv", titrations());
  work.write("in.txt", "# a start of our own for dataset 2\n2 6 7 8 =1\n");
  velbatch(work, {"--guess", "--starts", "in.txt", "--save-starts", "s.txt", "--ids", "1-2"});
  std::vector<std::string> starts = lines_of(work.read("s.txt"));
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_NE(starts[1], "1 0 0 0 =1");
  EXPECT_EQ(starts[2], "2 6 7 8 =1");
  run_program(VELQUIN_BIN, {"0", "2", "t.crv", "v.res", "v.log", "9", "500", "6", "7", "8", "=1"},
              work.path());
  std::string results = work.read("r.res");
  EXPECT_EQ(results.substr(results.size() - work.read("v.res").size()), work.read("v.res"));
}

}  // namespace
