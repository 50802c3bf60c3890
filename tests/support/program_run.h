// Helpers for tests that run a built program in a temporary folder and compare its
// exit status, standard output and files byte for byte.
#ifndef VELQUIN_TESTS_PROGRAM_RUN_H
#define VELQUIN_TESTS_PROGRAM_RUN_H

#include <string>
#include <vector>

struct run_result {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
  int signal = 0;   // the signal that ended it, or 0
};

// A fresh, empty folder under the system's temporary folder, removed with its content
// when the object goes.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir &) = delete;
  temp_dir &operator=(const temp_dir &) = delete;
  const std::string &path() const { return path_; }
  std::string file(const std::string &name) const { return path_ + "/" + name; }
  void write(const std::string &name, const std::string &content) const;
  std::string read(const std::string &name) const;
  bool exists(const std::string &name) const;
  std::vector<std::string> list() const;  // names of the files in the folder, sorted

 private:
  std::string path_;
};

// How a program is run besides its arguments and folder.
struct run_options {
  std::string input;       // standard input, written while the program runs
  long file_limit = -1;    // every file it writes may grow to this size only (-1: no limit)
  bool merge_err = false;  // standard error into standard output, in order
};

// A program started in the background, its standard streams on pipes.
struct started_program {
  int pid = -1;
  int in_fd = -1, out_fd = -1, err_fd = -1;
};

// Starts program with args inside folder cwd. The child gets the signal dispositions a
// shell gives (SIGPIPE's default among them), and with a file limit, writes beyond it fail
// with EFBIG as writes to a full disk fail with ENOSPC.
started_program start_program(const std::string &program, const std::vector<std::string> &args,
                              const std::string &cwd, const run_options &options = {});

// Feeds input, collects both outputs until the program closes them, and waits for it.
run_result finish_program(started_program &p, const std::string &input = "");

// Runs program with args inside folder cwd, feeding input on standard input.
run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::string &cwd, const std::string &input = "");
run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::string &cwd, const run_options &options);

// Names of the entries of the folder at path, sorted; empty when it cannot be read.
std::vector<std::string> list_dir(const std::string &path);
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &content);

#endif  // VELQUIN_TESTS_PROGRAM_RUN_H
