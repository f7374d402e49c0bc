// Feeds arbitrary bytes, as the content of a message file, through the whole
// dump: once from a regular file and once through a pipe. Everything the dump
// writes is captured (the report on stdout, the diagnostics on stderr and the
// routed streams, which the input's length routes as -body, -ctrl or
// neither), and the two readings must write the same bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dump/dump_msg.h"
#include "dump/output.h"

namespace {

// What fits in a pipe's buffer, so the write end never blocks.
constexpr size_t kMaxPiped = 60 * 1024;

struct captured {
  std::string out, err;
  bool operator!=(const captured& o) const {
    return out != o.out || err != o.err;
  }
};

// A stream in memory, read back into `into` when closed.
struct memory_stream {
  char* text = nullptr;
  size_t len = 0;
  std::FILE* f = open_memstream(&text, &len);
  void close_into(std::string* into) {
    std::fclose(f);
    into->assign(text, len);
    std::free(text);
  }
};

// Runs the dump with stdout and stderr (glibc lets both be reassigned) in
// memory; the routed streams go to the same place as stdout or nowhere.
captured dump_captured(std::FILE* in, size_t routing) {
  static std::FILE* discard = std::fopen("/dev/null", "w");
  memory_stream out, err;
  std::FILE* real_out = stdout;
  std::FILE* real_err = stderr;
  stdout = out.f;
  stderr = err.f;
  null_out = discard;
  body_out = routing == 0 ? out.f : discard;
  ctrl_out = routing < 2 ? out.f : discard;
  dump_msg(in, "fuzz.msg");
  stdout = real_out;
  stderr = real_err;
  captured c;
  out.close_into(&c.out);
  err.close_into(&c.err);
  return c;
}

std::FILE* open_piped(const uint8_t* data, size_t size) {
  int fds[2];
  if (pipe(fds) != 0) {
    std::abort();
  }
  if (size > 0 && write(fds[1], data, size) != ssize_t(size)) {
    std::abort();
  }
  close(fds[1]);
  return fdopen(fds[0], "rb");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxPiped) {
    return -1;
  }
  static std::FILE* file = std::tmpfile();
  if (ftruncate(fileno(file), 0) != 0 ||
      pwrite(fileno(file), data, size, 0) != ssize_t(size)) {
    std::abort();
  }
  std::rewind(file);
  const size_t routing = size % 3;
  captured from_file = dump_captured(file, routing);
  std::FILE* piped_in = open_piped(data, size);
  captured piped = dump_captured(piped_in, routing);
  std::fclose(piped_in);
  if (piped != from_file) {
    std::fprintf(stderr, "pipe and file readings differ\n");
    std::abort();
  }
  return 0;
}
