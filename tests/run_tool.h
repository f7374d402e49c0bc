// Runs the built storlook binary and captures what it writes.
#ifndef STORLOOK_TESTS_RUN_TOOL_H_
#define STORLOOK_TESTS_RUN_TOOL_H_

#include <string>
#include <vector>

struct run_result {
  std::string out;  // stdout; with merge_stderr, both streams in order
  std::string err;
  std::string raw_out, raw_err;  // as written; out and err have LF newlines
  int status = -1;               // exit status, or 128 + signal
};

struct run_options {
  std::string cwd;          // working directory; the current one if empty
  bool stdin_pipe = false;  // feed stdin_data through a pipe
  std::string stdin_data;
  std::string stdin_file;     // else read stdin from this file
  bool merge_stderr = false;  // 2>&1
  std::string stdout_path;    // send stdout to this file instead
  int max_fds = 0;            // RLIMIT_NOFILE for the tool, if set
  long max_memory_kb = 0;     // RLIMIT_AS for the tool, if set
  unsigned timeout_s = 60;    // killed by SIGALRM (status 142) after this
};

/// The command that starts the built tool, as words: the emulator comes
/// first where the tool was built for another machine.
std::vector<std::string> tool_command();
/// The same, as a shell command's first words.
std::string tool_shell_command();

run_result run_storlook(const std::vector<std::string>& args,
                        const run_options& opts = {});

/// The whole content of a file.
std::string read_file(const std::string& path);

/// A fresh empty directory, removed with its files at exit.
std::string make_temp_dir();

#endif  // STORLOOK_TESTS_RUN_TOOL_H_
