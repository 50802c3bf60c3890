// Program tests of the built velquin: exit status, standard output and every file of
// the working folder after the run, byte for byte.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

std::vector<std::string> list_dir(const std::string &path) {
  std::vector<std::string> names;
  DIR *d = opendir(path.c_str());
  if (d == nullptr) return names;
  while (struct dirent *e = readdir(d)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> read_lines(const std::string &path) {
  std::vector<std::string> lines;
  std::string content = read_file(path), line;
  for (char c : content) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Each folder of tests/data/runs is one recorded run: input/ (the files before it), args
// (one argument a line), expected/ (the files after it), expected.stdout and
// expected.status. The recordings cover a fit of every model, data-file cases and
// command-line cases.
TEST(velquin, recorded_runs_reproduce_byte_for_byte) {
  std::string runs = std::string(TEST_DATA_DIR) + "/runs";
  std::vector<std::string> cases = list_dir(runs);
  ASSERT_GE(cases.size(), 43u);
  for (const std::string &name : cases) {
    SCOPED_TRACE(name);
    std::string dir = runs + "/" + name;
    temp_dir work;
    for (const std::string &f : list_dir(dir + "/input")) {
      work.write(f, read_file(dir + "/input/" + f));
    }
    run_result r = run_program(VELQUIN_BIN, read_lines(dir + "/args"), work.path());
    EXPECT_EQ(std::to_string(r.status) + "\n", read_file(dir + "/expected.status"));
    EXPECT_EQ(r.out, read_file(dir + "/expected.stdout"));
    EXPECT_EQ(r.err, "");
    std::vector<std::string> expected = list_dir(dir + "/expected");
    EXPECT_EQ(work.list(), expected);
    for (const std::string &f : expected) {
      SCOPED_TRACE(f);
      EXPECT_EQ(work.read(f), read_file(dir + "/expected/" + f));
    }
  }
}

}  // namespace
