#include "tests/run_tool.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> temp_dirs;

void remove_temp_dirs() {
  for (const auto& d : temp_dirs) {
    std::string cmd = "rm -rf '" + d + "'";
    if (std::system(cmd.c_str()) != 0) {
      continue;
    }
  }
}

}  // namespace

std::string make_temp_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base ? base : "/tmp") + "/storlook-XXXXXX";
  if (!mkdtemp(&tmpl[0])) {
    std::abort();
  }
  if (temp_dirs.empty()) {
    std::atexit(remove_temp_dirs);
  }
  temp_dirs.push_back(tmpl);
  return tmpl;
}

run_result run_storlook(const std::vector<std::string>& args,
                        const run_options& opts) {
  static const std::string scratch = make_temp_dir();
  std::string out_path = opts.stdout_path.empty() ? scratch + "/out" : opts.stdout_path;
  std::string err_path = scratch + "/err";
  int in_pipe[2] = {-1, -1};
  if (opts.stdin_pipe && pipe(in_pipe) != 0) {
    std::abort();
  }
  std::signal(SIGPIPE, SIG_IGN);  // the tool may exit without reading stdin

  pid_t pid = fork();
  if (pid == 0) {
    if (!opts.cwd.empty() && chdir(opts.cwd.c_str()) != 0) {
      _exit(126);
    }
    const char* in_path = opts.stdin_file.empty() ? "/dev/null" : opts.stdin_file.c_str();
    int in = opts.stdin_pipe ? in_pipe[0] : open(in_path, O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = opts.merge_stderr ? out : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (int fd : {in, out, err}) {
      if (fd > 2) {
        close(fd);
      }
    }
    if (opts.stdin_pipe) {
      close(in_pipe[1]);
    }
    signal(SIGPIPE, SIG_DFL);
    if (opts.max_fds > 0) {
      rlimit lim{rlim_t(opts.max_fds), rlim_t(opts.max_fds)};
      setrlimit(RLIMIT_NOFILE, &lim);
    }
    alarm(opts.timeout_s);
    std::vector<char*> argv{const_cast<char*>(STORLOOK_BIN)};
    for (const auto& a : args) {
      argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execv(STORLOOK_BIN, argv.data());
    _exit(127);
  }
  if (opts.stdin_pipe) {
    close(in_pipe[0]);
    const char* p = opts.stdin_data.data();
    size_t left = opts.stdin_data.size();
    while (left > 0) {
      ssize_t n = write(in_pipe[1], p, left);
      if (n <= 0) {
        break;
      }
      p += n;
      left -= size_t(n);
    }
    close(in_pipe[1]);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);

  run_result r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  if (opts.stdout_path.empty()) {
    r.out = slurp(out_path);
  }
  if (!opts.merge_stderr) {
    r.err = slurp(err_path);
  }
  return r;
}
