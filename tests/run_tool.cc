#include "tests/run_tool.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace fs = std::filesystem;

namespace {

std::vector<std::string> temp_dirs;

void remove_temp_dirs() {
  for (const auto& d : temp_dirs) {
    std::error_code ec;
    fs::remove_all(d, ec);
  }
}

#ifdef _WIN32
// Standard output and error are text streams on Windows: every newline goes
// out as CR LF. Turns them back into LF, so the expectations read the same on
// both systems; a lone LF or CR is left marked so it cannot pass unseen.
std::string from_native(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      out += '\n';
      ++i;
    } else if (s[i] == '\n' || s[i] == '\r') {
      out += s[i] == '\n' ? "<bare LF>" : "<bare CR>";
    } else {
      out += s[i];
    }
  }
  return out;
}

// Quotes one argument by the rules the C runtime uses to split a command line.
std::string quote_arg(const std::string& a) {
  std::string q = "\"";
  size_t backslashes = 0;
  for (char c : a) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    q.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    q += c;
  }
  q.append(backslashes * 2, '\\');
  return q + '"';
}

int spawn(const std::vector<std::string>& args, const run_options& opts,
          const std::string& out_path, const std::string& err_path) {
  std::vector<std::string> quoted{quote_arg(STORLOOK_BIN)};
  for (const auto& a : args) {
    quoted.push_back(quote_arg(a));
  }
  std::vector<const char*> argv;
  for (const auto& q : quoted) {
    argv.push_back(q.c_str());
  }
  argv.push_back(nullptr);

  // The child inherits each descriptor's mode: open them as a console or a
  // shell's redirection would give them, in text mode.
  const int mode = _O_WRONLY | _O_CREAT | _O_TRUNC | _O_TEXT;
  const char* in_path =
      opts.stdin_file.empty() ? "NUL" : opts.stdin_file.c_str();
  int in = _open(in_path, _O_RDONLY | _O_BINARY);
  int out = _open(out_path.c_str(), mode, _S_IREAD | _S_IWRITE);
  int err = opts.merge_stderr
                ? out
                : _open(err_path.c_str(), mode, _S_IREAD | _S_IWRITE);
  std::fflush(stdout);
  std::fflush(stderr);
  int saved[3] = {_dup(0), _dup(1), _dup(2)};
  _dup2(in, 0);
  _dup2(out, 1);
  _dup2(err, 2);
  fs::path old_cwd = fs::current_path();
  if (!opts.cwd.empty()) {
    fs::current_path(opts.cwd);
  }
  errno = 0;
  intptr_t code = _spawnv(_P_WAIT, STORLOOK_BIN, argv.data());
  bool failed = code == -1 && errno != 0;
  fs::current_path(old_cwd);
  for (int fd = 0; fd < 3; ++fd) {
    _dup2(saved[fd], fd);
    _close(saved[fd]);
  }
  for (int fd : {in, out, err}) {
    if (fd > 2 && (fd != err || err != out)) {
      _close(fd);
    }
  }
  // Exit statuses are kept modulo 256, as a Unix shell sees them.
  return failed ? 127 : int(code & 0xFF);
}
#else
int spawn(const std::vector<std::string>& args, const run_options& opts,
          const std::string& out_path, const std::string& err_path) {
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
    const char* in_path =
        opts.stdin_file.empty() ? "/dev/null" : opts.stdin_file.c_str();
    int in = opts.stdin_pipe ? in_pipe[0] : open(in_path, O_RDONLY);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = opts.merge_stderr
                  ? out
                  : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    if (opts.max_memory_kb > 0) {
      rlimit lim{rlim_t(opts.max_memory_kb) * 1024,
                 rlim_t(opts.max_memory_kb) * 1024};
      setrlimit(RLIMIT_AS, &lim);
    }
    alarm(opts.timeout_s);
    std::vector<std::string> words = tool_command();
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) {
      argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
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
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}
#endif

}  // namespace

std::vector<std::string> tool_command() {
  std::vector<std::string> words;
  std::istringstream emulator(STORLOOK_EMULATOR);
  for (std::string w; emulator >> w;) {
    words.push_back(w);
  }
  words.push_back(STORLOOK_BIN);
  return words;
}

std::string tool_shell_command() {
  std::string cmd;
  for (const auto& w : tool_command()) {
    cmd += (cmd.empty() ? "" : " ") + w;
  }
  return cmd;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string make_temp_dir() {
  static std::mt19937_64 rng{std::random_device{}()};
  fs::path dir;
  do {
    dir = fs::temp_directory_path() /
          ("storlook-" + std::to_string(rng() % 1000000000));
  } while (!fs::create_directory(dir));
  if (temp_dirs.empty()) {
    std::atexit(remove_temp_dirs);
  }
  temp_dirs.push_back(dir.string());
  return dir.string();
}

run_result run_storlook(const std::vector<std::string>& args,
                        const run_options& opts) {
  static const std::string scratch = make_temp_dir();
  std::string out_path =
      opts.stdout_path.empty() ? scratch + "/out" : opts.stdout_path;
  std::string err_path = scratch + "/err";
  run_result r;
  r.status = spawn(args, opts, out_path, err_path);
  if (opts.stdout_path.empty()) {
    r.raw_out = read_file(out_path);
  }
  if (!opts.merge_stderr) {
    r.raw_err = read_file(err_path);
  }
#ifdef _WIN32
  r.out = from_native(r.raw_out);
  r.err = from_native(r.raw_err);
#else
  r.out = r.raw_out;
  r.err = r.raw_err;
#endif
  return r;
}
