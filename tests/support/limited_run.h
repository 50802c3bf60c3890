// Runs a built program as if the disk filled up: every file it writes may grow to a given
// size only, and a write beyond it fails (EFBIG) as a write to a full disk fails (ENOSPC).
// Unlike /dev/full, the files are real, so a test can see what such a run leaves in them.
#ifndef VELQUIN_TESTS_LIMITED_RUN_H
#define VELQUIN_TESTS_LIMITED_RUN_H

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "program_run.h"

// Runs program with args inside folder cwd, standard input empty, every file it writes
// limited to max_bytes. Standard error is sent to standard output, into out.
inline run_result run_with_file_limit(const std::string &program,
                                      const std::vector<std::string> &args, const std::string &cwd,
                                      long max_bytes) {
  int out_pipe[2];
  if (pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(program.c_str()));
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    dup2(out_pipe[1], 1);
    dup2(out_pipe[1], 2);
    close(out_pipe[0]);
    close(out_pipe[1]);
    // Ignored, the signal lets the write fail with EFBIG instead of ending the process;
    // both the disposition and the limit survive exec.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = (rlim_t)max_bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || chdir(cwd.c_str()) != 0) _exit(126);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  run_result r{-1, "", ""};
  char buf[4096];
  ssize_t n;
  while ((n = read(out_pipe[0], buf, sizeof buf)) > 0) r.out.append(buf, (size_t)n);
  close(out_pipe[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
  return r;
}

#endif  // VELQUIN_TESTS_LIMITED_RUN_H
