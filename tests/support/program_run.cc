#include "program_run.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

temp_dir::temp_dir() {
  const char *base = getenv("TMPDIR");
  std::string tmpl =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vqtest.XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

static void remove_tree(const std::string &path) {
  DIR *d = opendir(path.c_str());
  if (d != nullptr) {
    while (struct dirent *e = readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string child = path + "/" + name;
      struct stat st;
      if (lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        remove_tree(child);
      } else {
        unlink(child.c_str());
      }
    }
    closedir(d);
  }
  rmdir(path.c_str());
}

temp_dir::~temp_dir() { remove_tree(path_); }

void temp_dir::write(const std::string &name, const std::string &content) const {
  write_file(file(name), content);
}

std::string temp_dir::read(const std::string &name) const { return read_file(file(name)); }

bool temp_dir::exists(const std::string &name) const {
  struct stat st;
  return stat(file(name).c_str(), &st) == 0;
}

std::vector<std::string> temp_dir::list() const { return list_dir(path_); }

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

std::string read_file(const std::string &path) {
  FILE *fp = fopen(path.c_str(), "rb");
  if (fp == nullptr) return "<missing>";
  std::string content;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, fp)) > 0) content.append(buf, n);
  fclose(fp);
  return content;
}

void write_file(const std::string &path, const std::string &content) {
  FILE *fp = fopen(path.c_str(), "wb");
  if (fp == nullptr) throw std::runtime_error("cannot write " + path);
  fwrite(content.data(), 1, content.size(), fp);
  fclose(fp);
}

started_program start_program(const std::string &program, const std::vector<std::string> &args,
                              const std::string &cwd, const run_options &options) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<char *> argv;
  argv.push_back(const_cast<char *>(program.c_str()));
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(options.merge_err ? out_pipe[1] : err_pipe[1], 2);
    for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
      close(fd);
    }
    // The test process ignores SIGPIPE for its own writes to the pipes; the program gets
    // the default a shell gives, so that it is tested as a user runs it.
    signal(SIGPIPE, SIG_DFL);
    if (options.file_limit >= 0) {
      // Ignored, the signal lets the write fail with EFBIG instead of ending the process;
      // both the disposition and the limit survive exec.
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max = (rlim_t)options.file_limit;
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  signal(SIGPIPE, SIG_IGN);  // a program that ends before reading its input must not end us
  started_program p;
  p.pid = pid;
  p.in_fd = in_pipe[1];
  p.out_fd = out_pipe[0];
  p.err_fd = err_pipe[0];
  return p;
}

run_result finish_program(started_program &p, const std::string &input) {
  // Feed standard input and drain both outputs together, so no pipe fills up.
  run_result r;
  r.status = -1;
  size_t fed = 0;
  if (input.empty() && p.in_fd >= 0) {
    close(p.in_fd);
    p.in_fd = -1;
  }
  while (p.out_fd >= 0 || p.err_fd >= 0) {
    struct pollfd fds[3];
    int nfds = 0;
    if (p.out_fd >= 0) fds[nfds++] = {p.out_fd, POLLIN, 0};
    if (p.err_fd >= 0) fds[nfds++] = {p.err_fd, POLLIN, 0};
    if (p.in_fd >= 0) fds[nfds++] = {p.in_fd, POLLOUT, 0};
    if (poll(fds, nfds, -1) < 0) break;
    for (int i = 0; i < nfds; i++) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == p.in_fd) {
        ssize_t w = write(p.in_fd, input.data() + fed, input.size() - fed);
        if (w > 0) fed += (size_t)w;
        if (w <= 0 || fed == input.size()) {
          close(p.in_fd);
          p.in_fd = -1;
        }
        continue;
      }
      char buf[65536];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      bool is_out = fds[i].fd == p.out_fd;
      if (n > 0) {
        (is_out ? r.out : r.err).append(buf, (size_t)n);
      } else {
        close(fds[i].fd);
        (is_out ? p.out_fd : p.err_fd) = -1;
      }
    }
  }
  if (p.in_fd >= 0) close(p.in_fd);
  p.in_fd = -1;
  int wstatus = 0;
  waitpid(p.pid, &wstatus, 0);
  if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
  return r;
}

run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::string &cwd, const run_options &options) {
  started_program p = start_program(program, args, cwd, options);
  return finish_program(p, options.input);
}

run_result run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::string &cwd, const std::string &input) {
  run_options options;
  options.input = input;
  return run_program(program, args, cwd, options);
}
