// Tests of what the three converters share: --help and --version, the file names from the
// command line or the prompts, lines taken whole, never split, and the closing of the output;
// the programs built, and the steps called in this process, where they return, not exit.
#include "conv_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "converter_run.h"
#include "converters.h"

namespace {

const char in_prompt[] = "\n\n Please enter your datafile (qv format).\n\n";
const char out_prompt[] = "\n\n Please enter your output file.\n\n";
const char in_error[] = "\nError, cannot read input file.\n\n";
const char out_error[] = "\nError, cannot open output file.\n\n";

TEST(open_input, each_program_prompts_for_the_input_then_the_output) {
  const struct {
    const char *program, *prompt, *input, *expected;
  } cases[] = {
      {ZARN2CRV_BIN, " Please enter your datafile (Zarn format).\n", "5\n0 4\n1\n1\n1\n1\n1\n",
       "  0.000000   1.000000\n  1.000000   1.000000\n  2.000000   1.000000\n"
       "  3.000000   1.000000\n  4.000000   1.000000\n"},
      {COLCRV_BIN, " Please enter your datafile (Zarn format).\n", "2\n1 3\n",
       "1\n  2.000000   3.000000\n"},
      {QV2CRV_BIN, " Please enter your datafile (qv format).\n", "1 2 3\n",
       "1\n  2.000000   3.000000\n"},
  };
  for (const auto &row : cases) {
    SCOPED_TRACE(row.program);
    temp_dir work;
    work.write("in.txt", row.input);
    run_result r = run_program(row.program, {}, work.path(), "in.txt\nout.crv\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("\n\n") + row.prompt + "\n" + out_prompt);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(work.read("out.crv"), row.expected);
  }
}

// Names of 255 and 256 characters that exist: a 100-character folder holding files of 154
// and 155 characters, the shorter one's name the longer one's cut to 255.
struct long_names {
  std::string dir = std::string(100, 'd');
  std::string in255 = dir + "/" + std::string(154, 'i');
  std::string in256 = in255 + "i";
  std::string out255 = dir + "/" + std::string(154, 'o');
  std::string out256 = out255 + "o";
};

TEST(open_input, names_from_the_command_line_or_typed_once) {
  const long_names ln;
  const std::string converted = "1\n  2.000000   3.000000\n";
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string typed;
    int status;
    std::string out, crv;
  } cases[] = {
      // clang-format off
      {"both names given; further arguments ignored", {"in.txt", "out.crv", "x"}, "", 0, "",
       converted},
      {"a given input that cannot be opened leads to the prompt", {"none.txt", "out.crv"},
       "in.txt", 0, in_prompt, converted},
      {"a typed input that cannot be opened", {"none.txt", "out.crv"}, "none2.txt\n", 1,
       std::string(in_prompt) + in_error, "<missing>"},
      {"input at its end leaves the name as it was", {"none.txt", "out.crv"}, "", 1,
       std::string(in_prompt) + in_error, "<missing>"},
      {"no names and nothing typed", {}, " \n", 1, std::string(in_prompt) + in_error, "<missing>"},
      {"a given output that cannot be opened leads to the prompt", {"in.txt", "no/out.crv"},
       " \n\t out.crv  \n", 0, out_prompt, converted},
      {"a typed output that cannot be opened", {"in.txt", "no/out.crv"}, "no/out2.crv", 1,
       std::string(out_prompt) + out_error, "<missing>"},
      {"input at its end at the output prompt", {"in.txt", "no/out.crv"}, "", 1,
       std::string(out_prompt) + out_error, "<missing>"},
      {"only the input given", {"in.txt"}, "out.crv", 0, out_prompt, converted},
      {"an input name of 255 characters opens", {ln.in255, "out.crv"}, "", 0, "",
       "1\n  7.000000   7.000000\n"},
      {"a given input name of 256 characters is not cut but refused",
       {ln.in256, "out.crv"}, "in.txt", 0, in_prompt, converted},
      {"a typed input name of 255 characters opens", {}, ln.in255 + "\nout.crv\n", 0,
       std::string(in_prompt) + out_prompt, "1\n  7.000000   7.000000\n"},
      {"a typed input name of 256 characters is refused", {}, ln.in256 + "\nout.crv\n", 1,
       std::string(in_prompt) + in_error, "<missing>"},
      {"an output name of 255 characters opens", {"in.txt", ln.out255}, "", 0, "", "<missing>"},
      {"a given output name of 256 characters is refused", {"in.txt", ln.out256}, "out.crv", 0,
       out_prompt, converted},
      {"a typed output name of 256 characters is refused", {"in.txt"}, ln.out256, 1,
       std::string(out_prompt) + out_error, "<missing>"},
      // clang-format on
  };
  for (const auto &row : cases) {
    SCOPED_TRACE(row.name);
    temp_dir work;
    work.write("in.txt", "1 2 3\n");
    mkdir(work.file(ln.dir).c_str(), 0755);
    work.write(ln.in255, "1 7 7\n");
    work.write(ln.in256, "1 8 8\n");
    run_result r = run_program(QV2CRV_BIN, row.args, work.path(), row.typed);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(work.read("out.crv"), row.crv);
    // Only an output name that fits is ever created, and never one cut short.
    EXPECT_EQ(work.exists(ln.out255), row.args.size() > 1 && row.args[1] == ln.out255);
    EXPECT_FALSE(work.exists(ln.out256));
  }
}

// --help and --version answer only alone, and touch no file; otherwise they are names.
TEST(answer_info, help_and_version_alone_answer_at_once) {
  const std::string version = std::string(" (velquin) ") + VELQUIN_VERSION + "\n";
  const std::string options =
      "  outputFile  curve data file to write; asked for when missing or unwritable\n"
      "  --help      print this text\n"
      "  --version   print the program's name and version\n";
  const std::string failed =
      "Exit status: 0 converted; 1 nothing written: a file could not be opened,\n"
      "read or written, the output named the input, ";
  const std::string zarn_usage =
      "usage: zarn2crv [inputFile [outputFile]]\n"
      "  inputFile   Zarn-format file to read; asked for when missing or unreadable\n" +
      options + "Converts a Zarn-format file into a curve data file read with dataset id 0.\n" +
      failed + "or the input was refused.\n";
  const std::string colcrv_usage =
      "usage: colcrv [inputFile [outputFile]]\n"
      "  inputFile   column table to read; asked for when missing or unreadable\n" +
      options + "Converts a column table into a curve data file, one dataset per table row.\n" +
      failed + "or a line was too long.\n";
  const std::string qv_usage =
      "usage: qv2crv [inputFile [outputFile]]\n"
      "  inputFile   qv-format file to read; asked for when missing or unreadable\n" +
      options + "Converts points tagged with dataset ids into a curve data file.\n" + failed +
      "or a line was too long.\n";
  const struct {
    const char *program;
    std::vector<std::string> args;
    int status;
    std::string out;
  } rows[] = {
      {ZARN2CRV_BIN, {"--help"}, 0, zarn_usage},
      {COLCRV_BIN, {"--help"}, 0, colcrv_usage},
      {QV2CRV_BIN, {"--help"}, 0, qv_usage},
      {ZARN2CRV_BIN, {"--version"}, 0, "zarn2crv" + version},
      {COLCRV_BIN, {"--version"}, 0, "colcrv" + version},
      {QV2CRV_BIN, {"--version"}, 0, "qv2crv" + version},
      {COLCRV_BIN,
       {"--help", "out.crv"},
       1,
       "\n\n Please enter your datafile (Zarn format).\n\n" + std::string(in_error)},
      {QV2CRV_BIN, {"in.txt", "--version"}, 0, ""},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.program + (" " + row.args[0]));
    temp_dir work;
    work.write("in.txt", "1 2 3\n");
    run_result r = run_program(row.program, row.args, work.path());
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(r.err, "");
    std::vector<std::string> files = {"in.txt"};
    if (row.args.size() == 2 && row.status == 0) files.insert(files.begin(), row.args[1]);
    EXPECT_EQ(work.list(), files);
  }
}

TEST(read_line, lines_are_taken_whole) {
  const std::string long_comment = "# " + std::string(3000, 'c') + "\n";
  const std::string fits = "1 2 3" + std::string(992, ' ') + "\n";      // 998 with the line feed
  const std::string too_long = "1 2 3" + std::string(993, ' ') + "\n";  // 999 with the line feed
  const std::string zarn_values = "1\n2\n3\n4\n5\n";
  const struct {
    const char *name, *program;
    std::string input;
    int status;
    std::string out, crv;
  } cases[] = {
      {"a line of 998 characters fits", QV2CRV_BIN, fits, 0, "", "1\n  2.000000   3.000000\n"},
      {"998 characters without a line feed fit", QV2CRV_BIN, fits.substr(0, 998), 0, "",
       "1\n  2.000000   3.000000\n"},
      {"a line of 999 characters ends the run", QV2CRV_BIN, "# a\n1 2 3\n" + too_long + "1 4 4\n",
       1, "Error, line 3 is too long.\n", "<missing>"},
      {"999 characters without a line feed", QV2CRV_BIN, too_long.substr(0, 999), 1,
       "Error, line 1 is too long.\n", "<missing>"},
      {"a long comment is copied whole", QV2CRV_BIN, long_comment + "1 2 3\n", 0, "",
       long_comment + "1\n  2.000000   3.000000\n"},
      {"a long comment is copied whole by colcrv", COLCRV_BIN, "2\n" + long_comment + "1 3\n", 0,
       "", long_comment + "1\n  2.000000   3.000000\n"},
      {"a long header row", COLCRV_BIN, std::string(600, '1') + " " + std::string(600, '2') + "\n",
       1, "Error, line 1 is too long.\n", "<missing>"},
      {"long comments are skipped whole by zarn2crv", ZARN2CRV_BIN,
       long_comment + "5\n0 4\n" + long_comment + zarn_values, 0, "",
       "  0.000000   5.000000\n  1.000000   4.000000\n  2.000000   3.000000\n"
       "  3.000000   2.000000\n  4.000000   1.000000\n"},
      {"a long value line refuses the whole Zarn file", ZARN2CRV_BIN,
       "5\n0 4\n1\n2\n3\n4\n" + too_long, 1, "Error, line 7 is too long.\n", "<missing>"},
      {"a long range line", ZARN2CRV_BIN, "5\n0 4" + too_long + zarn_values, 1,
       "Error, line 2 is too long.\n", "<missing>"},
      {"a long count line", ZARN2CRV_BIN, "5" + too_long + "0 4\n" + zarn_values, 1,
       "Error, line 1 is too long.\n", "<missing>"},
  };
  for (const auto &row : cases) {
    SCOPED_TRACE(row.name);
    expect_conversion(convert(row.program, row.input), row.status, row.out, row.crv);
  }
}

// The rename cannot be made to fail from outside a run: here a folder takes the output's
// name while the conversion writes. The temporary file goes, and the folder stays.
TEST(close_output, a_failed_rename_leaves_no_temporary_file) {
  temp_dir work;
  work.write("in.txt", "1 2 3\n");
  std::string in = work.file("in.txt"), out = work.file("out.crv");
  char *argv[] = {const_cast<char *>("qv2crv"), &in[0], &out[0]};
  reset_conv_io();
  FILE *infp = open_input(3, argv, "");
  FILE *outfp = open_output(3, argv);
  fputs("1\n", outfp);
  ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(close_output(outfp, 0), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nError, cannot write output file.\n\n");
  EXPECT_EQ(work.list(), (std::vector<std::string>{"in.txt", "out.crv"}));
  EXPECT_EQ(list_dir(out), std::vector<std::string>{});
  fclose(infp);
}

// The steps below run in this process, in a folder of their own, with standard input typed
// from a text and standard output captured.
struct in_process {
  std::string typed, saved_dir;
  FILE *saved_stdin;
  in_process(const temp_dir &work, const std::string &text) : typed(text), saved_stdin(stdin) {
    char cwd[4096];
    saved_dir = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
    EXPECT_EQ(chdir(work.path().c_str()), 0);
    stdin = fmemopen(&typed[0], typed.size(), "r");
    reset_conv_io();
    testing::internal::CaptureStdout();
  }
  std::string out() { return testing::internal::GetCapturedStdout(); }
  ~in_process() {
    fclose(stdin);
    stdin = saved_stdin;
    EXPECT_EQ(chdir(saved_dir.c_str()), 0);
  }
};

std::vector<char *> argv_of(const char *program, std::vector<std::string> &args) {
  std::vector<char *> argv = {const_cast<char *>(program)};
  for (std::string &arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  return argv;
}

// The folder's files, a temporary file of this process shown as "<temp>".
std::vector<std::string> files_of(const temp_dir &work) {
  const std::string temp = ".velquin-" + std::to_string(getpid()) + "-";
  std::vector<std::string> names = work.list();
  for (std::string &name : names) {
    bool ours = name.compare(0, temp.size(), temp) == 0 && name.size() > temp.size() + 4 &&
                name.compare(name.size() - 4, 4, ".tmp") == 0;
    if (ours) name = "<temp>";
  }
  return names;
}

// Each refusal returns NULL after its message and leaves the folder as it was; a name that
// opens leaves the temporary file it writes, or none for a device, which close_output with a
// failed conversion's status removes without a word.
TEST(open_output, refusals_return_null_after_their_message) {
  const std::string none = "\nError, cannot read input file.\n\n";
  const std::string is_input = "\nError, output file is the input file.\n\n";
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string typed;
    int input_opens, output_opens;
    std::string out;
    std::vector<std::string> files;  // while the output is open
  } rows[] = {
      // clang-format off
      {"no input, nothing typed", {"none.txt", "out.crv"}, "", 0, 0, "\n\nP\n" + none, {}},
      {"no names, a missing name typed", {}, "none.txt\n", 0, 0, "\n\nP\n" + none, {}},
      {"the output is the input", {"in.txt", "in.txt"}, "", 1, 0, is_input, {}},
      {"the output is a link to the input", {"in.txt", "link"}, "", 1, 0, is_input, {}},
      {"the typed output is the input", {"in.txt", "sub"}, "in.txt", 1, 0,
       std::string(out_prompt) + is_input, {}},
      {"the output a folder, nothing typed", {"in.txt", "sub"}, "", 1, 0,
       std::string(out_prompt) + out_error, {}},
      {"a name typed for each", {}, "in.txt out.crv", 1, 1,
       "\n\nP\n" + std::string(out_prompt), {"<temp>"}},
      {"an earlier output is written beside", {"in.txt", "old.crv"}, "", 1, 1, "", {"<temp>"}},
      {"a device is written in place", {"in.txt", "/dev/null"}, "", 1, 1, "", {}},
      // clang-format on
  };
  for (auto row : rows) {
    SCOPED_TRACE(row.name);
    temp_dir work;
    work.write("in.txt", "1 2 3\n");
    work.write("old.crv", "old\n");
    ASSERT_EQ(symlink("in.txt", work.file("link").c_str()), 0);
    ASSERT_EQ(mkdir(work.file("sub").c_str(), 0755), 0);
    const std::vector<std::string> before = work.list();
    std::vector<char *> argv = argv_of("qv2crv", row.args);
    int argc = (int)argv.size() - 1;
    in_process run(work, row.typed);
    FILE *in = open_input(argc, argv.data(), "P");
    FILE *out = in != nullptr ? open_output(argc, argv.data()) : nullptr;
    std::vector<std::string> expected = before;
    expected.insert(expected.end(), row.files.begin(), row.files.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files_of(work), expected);
    int closed = out != nullptr ? close_output(out, 1) : -1;
    EXPECT_EQ(run.out(), row.out);
    EXPECT_EQ(in != nullptr, row.input_opens == 1);
    EXPECT_EQ(out != nullptr, row.output_opens == 1);
    EXPECT_EQ(closed, out != nullptr ? 1 : -1);
    EXPECT_EQ(work.list(), before);
    if (in != nullptr) fclose(in);
  }
}

// The runs of each converter in this process, one after another, against the built program
// on the same command line and input: the same status, messages and files, so no run keeps
// anything of the one before.
TEST(run_converter, runs_in_one_process_as_the_program_runs) {
  const struct {
    const converter *c;
    const char *program;
    std::vector<std::string> args;
    std::string input, typed;
  } rows[] = {
      // clang-format off
      {&zarn2crv_converter, ZARN2CRV_BIN, {"in.txt", "out.crv"}, "5\n0 4\n1\n2\n3\n4\n5\n", ""},
      {&zarn2crv_converter, ZARN2CRV_BIN, {"in.txt", "out.crv"}, "4\n0 3\n1\n2\n3\n4\n", ""},
      // Fewer x values than the table before: none of its columns may stay.
      {&colcrv_converter, COLCRV_BIN, {"in.txt", "out.crv"}, "1 2 3\n5 6 7 8\n# c\n", ""},
      {&colcrv_converter, COLCRV_BIN, {"in.txt", "out.crv"}, "9\n5 6 7 8\n", ""},
      {&colcrv_converter, COLCRV_BIN, {"--version"}, "", ""},
      {&qv2crv_converter, QV2CRV_BIN, {"in.txt", "/dev/full"}, "1 2 3\n", ""},
      {&qv2crv_converter, QV2CRV_BIN, {"in.txt", "in.txt"}, "1 2 3\n", ""},
      {&qv2crv_converter, QV2CRV_BIN, {}, "1 2 3\nx\n", "in.txt\nout.crv\n"},
      {&qv2crv_converter, QV2CRV_BIN, {"in.txt"}, "1 2 3\n" + std::string(999, '1'), "out.crv"},
      // clang-format on
  };
  for (auto row : rows) {
    SCOPED_TRACE(row.program + (" " + row.input));
    temp_dir program_work, here;
    program_work.write("in.txt", row.input);
    here.write("in.txt", row.input);
    run_result expected = run_program(row.program, row.args, program_work.path(), row.typed);
    std::vector<char *> argv = argv_of(row.program, row.args);
    int status;
    std::string out;
    {
      in_process run(here, row.typed);
      status = run_converter((int)argv.size() - 1, argv.data(), row.c);
      out = run.out();
    }
    EXPECT_EQ(status, expected.status);
    EXPECT_EQ(out, expected.out);
    EXPECT_EQ(here.list(), program_work.list());
    EXPECT_EQ(here.read("out.crv"), program_work.read("out.crv"));
  }
}

// The result of each call, the lines copied and the messages, over files that end in every
// way a line can.
TEST(read_line, results_copies_and_messages) {
  const std::string long_comment = "!" + std::string(2000, 'c') + "\n";
  const std::string fits = std::string(997, '1') + "\n";
  const struct {
    const char *name;
    std::string input;
    const char *results;  // R read, C comment, X refused, E end, one letter per call
    std::string copied, out, first;
  } rows[] = {
      // clang-format off
      {"an empty file", "", "E", "", "", ""},
      {"comments copied at their place", "# a\n1 2\n! b", "CRCE", "# a\n! b", "", "# a\n"},
      {"a long comment copied whole, its start kept", long_comment + "1\n", "CRE", long_comment,
       "", long_comment.substr(0, 998)},
      {"998 bytes fit", fits + fits.substr(0, 997), "RRE", "", "", fits},
      {"999 bytes do not", "1\n" + fits.substr(0, 1) + fits, "RXE", "",
       "Error, line 2 is too long.\n", "1\n"},
      // clang-format on
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    FILE *in = fmemopen(const_cast<char *>(row.input.data()), row.input.size(), "r");
    char copied[4096] = "";
    FILE *copy = fmemopen(copied, sizeof copied, "w");
    char buf[CONV_LINE_SIZE] = "", first[CONV_LINE_SIZE] = "";
    int line_no = 0;
    std::string results;
    testing::internal::CaptureStdout();
    for (const char *r = row.results; *r != '\0'; r++) {
      int got = read_line(in, copy, buf, &line_no);
      results += "RCXE"[got == LINE_READ      ? 0
                        : got == LINE_COMMENT ? 1
                        : got == LINE_REFUSED ? 2
                                              : 3];
      if (r == row.results) memcpy(first, buf, sizeof first);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.out);
    fclose(copy);
    fclose(in);
    EXPECT_EQ(results, row.results);
    EXPECT_EQ(std::string(copied), row.copied);
    EXPECT_EQ(std::string(first), row.first);
  }
  // A folder opens for reading, but its first read fails: an error, never the end.
  temp_dir work;
  FILE *folder = fopen(work.path().c_str(), "r");
  ASSERT_NE(folder, nullptr);
  char buf[CONV_LINE_SIZE];
  int line_no = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(read_line(folder, nullptr, buf, &line_no), LINE_REFUSED);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nError, cannot read input file.\n\n");
  EXPECT_EQ(line_no, 1);
  fclose(folder);
}

}  // namespace
