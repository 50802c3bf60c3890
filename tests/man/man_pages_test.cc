// The manual pages: each renders without a warning and has the sections a reader looks
// for, and the two program pages show the synopsis that the programs' usage texts print.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_run.h"

namespace {

const char *const pages[] = {"velquin.1", "velbatch.1", "zarn2crv.1",    "colcrv.1",
                             "qv2crv.1",  "velplot.1",  "velquin-crv.5", "velquin-models.7"};

std::string page_path(const char *page) { return std::string(MAN_DIR) + "/" + page; }

TEST(man_pages, render_without_warnings) {
  temp_dir work;
  if (run_program("/usr/bin/env", {"groff", "--version"}, work.path()).status == 127) {
    GTEST_SKIP() << "groff is not installed";
  }
  for (const char *page : pages) {
    SCOPED_TRACE(page);
    // -ww: every warning; -z: format, but print nothing.
    run_result r = run_program(
        "/usr/bin/env", {"groff", "-man", "-Tutf8", "-ww", "-z", page_path(page)}, work.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");
  }
}

TEST(man_pages, have_every_section) {
  const char *const sections[] = {".SH NAME\n",      ".SH SYNOPSIS\n", ".SH DESCRIPTION\n",
                                  ".SH ARGUMENTS\n", ".SH FILES\n",    ".SH EXIT STATUS\n",
                                  ".SH EXAMPLES\n",  ".SH SEE ALSO\n"};
  for (const char *page : pages) {
    SCOPED_TRACE(page);
    std::string text = read_file(page_path(page));
    ASSERT_NE(text, "<missing>");
    size_t last = 0;
    for (const char *section : sections) {
      size_t at = text.find(section);
      EXPECT_NE(at, std::string::npos) << section;
      if (at == std::string::npos) continue;
      EXPECT_GT(at, last) << section << " out of order";
      last = at;
    }
  }
}

// The usage texts list the arguments in the order the synopsis gives them.
TEST(man_pages, synopsis_matches_the_usage_text) {
  struct row {
    const char *page, *program, *synopsis;
  };
  const row rows[] = {
      {"velquin.1", VELQUIN_BIN,
       ".I dataOffset datasetId dataFile resultsFile logFile model maxIterations\n"},
      {"velplot.1", VELPLOT_BIN, ".I dataOffset datasetId dataFile logFile model outputFile\n"},
      {"velbatch.1", VELBATCH_BIN,
       ".I dataOffset dataFile resultsFile tableFile model maxIterations\n"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.page);
    EXPECT_NE(read_file(page_path(r.page)).find(r.synopsis), std::string::npos);
    temp_dir work;
    run_result run = run_program(r.program, {}, work.path());
    std::string usage = run.out + run.err;  // velbatch's usage error is on standard error
    std::string args = std::string(r.synopsis).substr(3);  // after ".I "
    args.pop_back();
    EXPECT_NE(usage.find(args), std::string::npos) << usage;
  }
}

}  // namespace
