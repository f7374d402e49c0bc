// storlook: dumps FidoNet stored message (*.MSG) files.
#include <cerrno>
#include <cstdio>
#include <cstring>

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
// must not end in success. The system's reason is given only when it is the
// failure's own: a write that failed earlier left none behind.
bool close_stdout() {
  bool failed = std::ferror(stdout) != 0;
  int err = 0;
  if (std::fflush(stdout) != 0) {
    failed = true;
    err = errno;
  }
  if (std::fclose(stdout) != 0 && !failed) {
    failed = true;
    err = errno;
  }
  if (failed && err != 0) {
    std::fprintf(stderr, "write error: %s\n", std::strerror(err));
  } else if (failed) {
    std::fputs("write error\n", stderr);
  }
  return !failed;
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
  if (!open_null_out()) {
    diag("%s: %s\n", kNullDevice, std::strerror(errno));
    return -1;
  }
  // Every output is open: from here on the tool only reads.
  confine_process();
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
    std::FILE* f = std::fopen(arg, "rb");
    if (!f) {
      diag("%s: %s\n", arg, std::strerror(errno));
      continue;
    }
    dump_msg(f, arg);
    std::fclose(f);
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
