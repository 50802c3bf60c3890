// Unit tests of velbatch's command line: what it reads, and each slip it refuses with the
// argument named, before any file is touched.
#include "batch_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "models.h"
#include "show_err.h"

namespace {

// get_batch_args on the words of a command line after the program's name; the message
// of its report, or "" when it made none. The words last until the next call, as the
// options point into them.
int parse(const std::vector<std::string> &words, batch_options *o, std::string *message) {
  static std::vector<std::string> args;
  args = words;
  args.insert(args.begin(), "velbatch");
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  errQuiet = 1;
  errMessage[0] = '\0';
  int got = get_batch_args((int)args.size(), argv.data(), o);
  errQuiet = 0;
  *message = errMessage;
  return got;
}

TEST(get_batch_args, reads_whole_numbers_and_the_options) {
  batch_options o;
  std::string message;
  ASSERT_EQ(parse({"-j2", "--append", "--ids=3,5-9", "-1.5e0", "d.crv", "r.res", "-", "5", "+100",
                   "-0x10", "=2.5"},
                  &o, &message),
            ARGS_OK)
      << message;
  EXPECT_EQ(o.jobs + o.append + o.model + o.maxIt, 2 + 1 + 5 + 100);
  EXPECT_STREQ(o.idList, "3,5-9");
  EXPECT_EQ(o.dataOffset, -1.5);
  EXPECT_EQ(o.parms[0] + o.held[0], -16.0);
  EXPECT_EQ(o.parms[1] + o.held[1], 2.5 + 1);
  // After "--", a name that begins with "-" is a position.
  ASSERT_EQ(parse({"--", "0", "-d.crv", "r.res", "t.tsv", "0", "10"}, &o, &message), ARGS_OK);
  EXPECT_STREQ(o.dataFile, "-d.crv");
  // Model 12 has no labels, and takes what velquin passes on.
  EXPECT_EQ(parse({"0", "d", "r", "t", "12", "10", "1", "2", "3", "4", "5"}, &o, &message),
            ARGS_OK);
}

TEST(get_batch_args, refuses_each_slip_naming_it) {
  const struct {
    const char *name;
    std::vector<std::string> args;
    const char *message;
  } rows[] = {
      {"a letter O in a number",
       {"0", "d", "r", "t", "5", "1OO"},
       "Argument maxIterations is not an integer: 1OO\n"},
      {"a model with a letter",
       {"0", "d", "r", "t", "5x", "100"},
       "Argument model is not an integer: 5x\n"},
      {"a decimal comma",
       {"1,5", "d", "r", "t", "5", "100"},
       "Argument dataOffset is not a number: 1,5\n"},
      {"an iteration limit in exponent form",
       {"0", "d", "r", "t", "5", "1e3"},
       "Argument maxIterations is not an integer: 1e3\n"},
      {"a parameter with a letter",
       {"0", "d", "r", "t", "5", "100", "1", "=4O"},
       "Parameter T2 is not a number: =4O\n"},
      {"a lone hold mark",
       {"0", "d", "r", "t", "4", "100", "="},
       "Parameter Mo is not a number: =\n"},
      {"a parameter of model 12",
       {"0", "d", "r", "t", "12", "100", "1", "x"},
       "Parameter 2 is not a number: x\n"},
      {"more parameters than the model takes",
       {"0", "d", "r", "t", "5", "100", "1", "2", "3"},
       "Model 5 (T2 Relaxation) takes 2 parameters: Mo T2; 3 given\n"},
      {"more than model 12 passes on",
       {"0", "d", "r", "t", "12", "100", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
       "Model 12 takes 10 parameters; 11 given\n"},
      {"an option after the positions",
       {"0", "d", "r", "t", "5", "100", "--ids", "3"},
       "Option --ids stands after the positions: options go before the positions\n"},
      {"a job count with a blank",
       {"-j", " 4", "0", "d", "r", "t", "5", "100"},
       "Invalid number of jobs  4: 1 to 64\n"},
  };
  fill_catalogue();
  for (const auto &r : rows) {
    SCOPED_TRACE(r.name);
    batch_options o;
    std::string message;
    EXPECT_EQ(parse(r.args, &o, &message), ARGS_BAD);
    EXPECT_EQ(message, r.message);
  }
}

}  // namespace
