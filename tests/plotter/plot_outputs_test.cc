// Unit tests of velplot's files without gnuplot: the test draws the pictures itself, into
// the temporary files that open_outputs makes, and sees what each ending leaves.
#include "plot_outputs.h"

#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "program_run.h"
#include "show_err.h"

namespace {

TEST(output_name, numbers_the_files_of_a_grid_only) {
  struct row {
    const char *fname;
    int k, files;
    const char *expected;
  };
  const row rows[] = {
      {"fit.svg", 1, 0, "fit.svg"},
      {"all.png", 1, 1, "all.png"},
      {"all.PNG", 2, 3, "all-2.PNG"},
      {"d.svg/x.svg", 12, 12, "d.svg/x-12.svg"},
  };
  for (const row &r : rows) {
    char buf[64];
    output_name(buf, sizeof buf, r.fname, r.k, r.files);
    EXPECT_EQ(std::string(buf), r.expected) << r.fname;
  }
}

enum { COMMIT, GNUPLOT_FAILED };

// Runs the outputs of fname in work as velplot does, with "gnuplot" writing each picture
// but picture empty (from 0; -1 none) and the run ending as ending says. Returns the
// message of the failure, or "" when the pictures appeared.
std::string run_outputs(const temp_dir &work, const char *fname, int files, int empty, int ending) {
  char here[4096];
  EXPECT_NE(getcwd(here, sizeof here), nullptr);
  EXPECT_EQ(chdir(work.path().c_str()), 0);
  errQuiet = 1;
  errMessage[0] = '\0';
  FILE *fp = open_outputs(fname, files);
  if (fp != NULL) {
    EXPECT_EQ(strncmp(script_path(), "./", 2), 0) << script_path();
    fputs("the script\n", fp);
    EXPECT_EQ(close_script(fp), 1);
    EXPECT_EQ(work.list().size(), (size_t)(files > 0 ? files : 1) + 1) << "beside the outputs";
    for (int k = 0; k < (files > 0 ? files : 1); k++) {
      if (k == empty) continue;
      if (files == 0) {
        EXPECT_EQ(write(picture_fd(), "picture", 7), 7);
      } else {
        EXPECT_EQ(picture_fd(), -1);
        write_file(output_parts()[k].temp, "picture " + std::to_string(k + 1));
      }
    }
    if (ending == COMMIT) {
      commit_outputs();
    } else {
      discard_outputs();
    }
  }
  errQuiet = 0;
  EXPECT_EQ(chdir(here), 0);
  return errMessage;
}

TEST(open_outputs, pictures_appear_whole_all_together_or_none) {
  struct row {
    const char *name;
    const char *fname;
    int files;
    const char *folder;  // made first in the way of a picture, or nullptr
    int empty;           // the picture that gnuplot leaves empty, or -1
    int ending;
    std::string message;
    std::vector<std::string> after;  // what the folder holds at the end
  };
  const row rows[] = {
      {"one picture", "-o.svg", 0, nullptr, -1, COMMIT, "", {"-o.svg"}},
      {"a grid in one file", "g.png", 1, nullptr, -1, COMMIT, "", {"g.png"}},
      {"three grid files", "g.PNG", 3, nullptr, -1, COMMIT, "", {"g-1.PNG", "g-2.PNG", "g-3.PNG"}},
      {"a folder in the way of the second",
       "g.png",
       3,
       "g-2.png",
       -1,
       COMMIT,
       "Unable to write output file g-2.png\n",
       {"g-2.png"}},
      {"a folder in the way of one picture",
       "o.svg",
       0,
       "o.svg",
       -1,
       COMMIT,
       "Unable to write output file o.svg\n",
       {"o.svg"}},
      {"a missing folder",
       "none/o.svg",
       0,
       nullptr,
       -1,
       COMMIT,
       "Unable to open output file none/o.svg\n",
       {}},
      {"an empty grid file",
       "g.png",
       3,
       nullptr,
       1,
       COMMIT,
       "gnuplot wrote no picture; g.png is not written\n",
       {}},
      {"an empty picture",
       "o.svg",
       0,
       nullptr,
       0,
       COMMIT,
       "gnuplot wrote no picture; o.svg is not written\n",
       {}},
      {"gnuplot failed", "g.png", 2, nullptr, -1, GNUPLOT_FAILED, "", {}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    temp_dir work;
    if (r.folder != nullptr) mkdir(work.file(r.folder).c_str(), 0777);
    EXPECT_EQ(run_outputs(work, r.fname, r.files, r.empty, r.ending), r.message);
    EXPECT_EQ(work.list(), r.after);
    if (r.message.empty() && r.ending == COMMIT) {
      for (size_t k = 0; k < r.after.size(); k++) {
        EXPECT_EQ(work.read(r.after[k]),
                  r.files == 0 ? "picture" : "picture " + std::to_string(k + 1));
      }
    }
  }
}

// open_beside names only so many temporary files in one folder at a time.
TEST(open_outputs, a_grid_may_have_more_files_than_open_beside_names_at_once) {
  temp_dir work;
  const int files = TEMP_TRIES + 2;
  EXPECT_EQ(run_outputs(work, "g.svg", files, -1, COMMIT), "");
  EXPECT_EQ(work.list().size(), (size_t)files);
  EXPECT_EQ(work.read("g-" + std::to_string(files) + ".svg"), "picture " + std::to_string(files));
}

}  // namespace
