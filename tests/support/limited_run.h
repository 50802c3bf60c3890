// Runs a built program as if the disk filled up: every file it writes may grow to a given
// size only, and a write beyond it fails (EFBIG) as a write to a full disk fails (ENOSPC).
// Unlike /dev/full, the files are real, so a test can see what such a run leaves in them.
#ifndef VELQUIN_TESTS_LIMITED_RUN_H
#define VELQUIN_TESTS_LIMITED_RUN_H

#include <string>
#include <vector>

#include "program_run.h"

// Runs program with args inside folder cwd, standard input empty, every file it writes
// limited to max_bytes. Standard error is sent to standard output, into out.
inline run_result run_with_file_limit(const std::string &program,
                                      const std::vector<std::string> &args, const std::string &cwd,
                                      long max_bytes) {
  run_options options;
  options.file_limit = max_bytes;
  options.merge_err = true;
  return run_program(program, args, cwd, options);
}

#endif  // VELQUIN_TESTS_LIMITED_RUN_H
