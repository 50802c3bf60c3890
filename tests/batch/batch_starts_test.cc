// Unit tests of the starts file: the lines it refuses, and the values a dataset gets.
#include "batch_starts.h"

#include <gtest/gtest.h>

#include <string>

#include "models.h"
#include "program_run.h"
#include "show_err.h"

namespace {

// The starts file: refused lines with their line and word, a byte order mark that is no
// line, and the values a dataset gets.
TEST(load_starts, checks_every_line) {
  const struct {
    const char *name;
    std::string content;
    int model;
    const char *message;  // after the file's name
  } rows[] = {
      {"a mark before the first line", "\xEF\xBB\xBF# c\n1 2 =3\nx 1\n", 5,
       "Line 3 of starts file S does not begin with a dataset id\n"},
      {"a word that is not a number", "1 2 3\n2 1 2O\n", 5,
       "Line 2 of starts file S: word 3 (parameter T2) is not a number: 2O\n"},
      {"more values than the model takes", "# id Mo T2\n7 1 2 3\n", 5,
       "Line 2 of starts file S: Model 5 (T2 Relaxation) takes 2 parameters: Mo T2; 3 given\n"},
      {"a line of a mark and its values",
       "\xEF\xBB\xBF"
       "4 1 =2\n",
       5, ""},
  };
  fill_catalogue();
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    temp_dir dir;
    dir.write("s.txt", r.content);
    std::string path = dir.file("s.txt"), want = r.message;
    if (want.find(" S") != std::string::npos) want.replace(want.find(" S"), 2, " " + path);
    reset_starts();
    errQuiet = 1;
    errMessage[0] = '\0';
    EXPECT_EQ(load_starts(path.c_str(), r.model), want.empty() ? 1 : 0);
    errQuiet = 0;
    EXPECT_EQ(std::string(errMessage), want);
  }
  double parms[MAX_PARMS];
  int held[MAX_PARMS];
  ASSERT_EQ(starts_for(4, parms, held), 1);
  EXPECT_EQ(parms[0], 1.0);
  EXPECT_EQ(held[0], 0);
  EXPECT_EQ(parms[1], 2.0);
  EXPECT_EQ(held[1], 1);
  EXPECT_EQ(starts_for(5, parms, held), 0);
}

}  // namespace
