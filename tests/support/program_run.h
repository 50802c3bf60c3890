// Helpers for tests that run a built program in a temporary folder and compare its
// exit status, standard output and files byte for byte.
#ifndef VELQUIN_TESTS_PROGRAM_RUN_H
#define VELQUIN_TESTS_PROGRAM_RUN_H

#include <string>
#include <vector>

struct run_result {
  int status;       // exit status, or -1 when the program did not exit normally
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
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

// Runs program with args inside folder cwd, feeding input on standard input.
run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::string &cwd, const std::string &input = "");

// Names of the entries of the folder at path, sorted; empty when it cannot be read.
std::vector<std::string> list_dir(const std::string &path);
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &content);

#endif  // VELQUIN_TESTS_PROGRAM_RUN_H
