// storlook: dumps FidoNet stored message (*.MSG) files.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/confine.h"
#include "cli/streams.h"
#include "dump/dump_msg.h"
#include "platform/platform.h"
#include "storlook_version.h"

namespace {

const char kRevisionKeyword[] = STORLOOK_REVISION_KEYWORD;
const char kUsage[] =
    "usage: storlook [-body | -ctrl] <file1.msg> [file2.msg] [...]\n";

// Flushes and closes stdout; a report that did not reach its destination
// must not end in success. The reason given is that of the first write that
// failed, wherever it failed.
bool close_stdout() {
  flush_report();
  write_failure w = report_write_failure();
  if (std::fclose(stdout) != 0 && !w.failed) {
    w = {true, errno};
  }
  if (w.failed && w.cause != 0) {
    std::fprintf(stderr, "write error: %s\n", std::strerror(w.cause));
  } else if (w.failed) {
    std::fputs("write error\n", stderr);
  }
  return !w.failed;
}

int run(int argc, char** argv) {
  // Reports go out in large blocks unless a person is watching them.
  static char out_buffer[64 * 1024];
  if (!is_terminal(stdout)) {
    std::setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
  }
  char revision[16] = "";
  std::sscanf(kRevisionKeyword, "%*s %15s", revision);
  diag("storlook rev %s - Dump FidoNet Stored Messages\n\n", revision);

  if (argc < 2) {
    diag("%s", kUsage);
    return -1;
  }
  const char* why = nullptr;
  if (!open_null_out(&why)) {
    diag("%s: %s\n", kNullDevice, why);
    return -1;
  }
  // Every output is open: from here on the tool only reads what it was
  // named.
  std::vector<const char*> named;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') {
      named.push_back(argv[i]);
    }
  }
  confine_process(fileno(null_out), named);
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] == '-') {
      if (!apply_option(arg)) {
        std::printf("%s", kUsage);
        return 0;
      }
      continue;
    }
    std::fputs("Opening ", stdout);
    std::fputs(arg, stdout);
    std::putc('\n', stdout);
    note_write_error();
    int fd = open_to_read(arg);
    if (fd < 0) {
      diag("%s: %s\n", arg, std::strerror(errno));
      continue;
    }
    dump_msg(fd, arg);
    close_input(fd);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  hold_standard_fds();
  int status = run(argc, argv);
  if (!close_stdout()) {
    return -1;
  }
  return status;
}
