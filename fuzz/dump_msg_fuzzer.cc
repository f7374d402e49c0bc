// Feeds arbitrary bytes, as the content of a message file, through the whole
// dump: once from a regular file and once through a pipe. Both routed streams
// are captured, and the two readings must show the same text.
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

std::string dump_routed(std::FILE* in) {
  char* text = nullptr;
  size_t len = 0;
  std::FILE* out = open_memstream(&text, &len);
  body_out = ctrl_out = out;
  dump_msg(in, "fuzz.msg");
  std::fclose(out);
  std::string shown(text, len);
  std::free(text);
  return shown;
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
  std::string from_file = dump_routed(file);
  std::FILE* piped_in = open_piped(data, size);
  std::string piped = dump_routed(piped_in);
  std::fclose(piped_in);
  if (piped != from_file) {
    std::fprintf(stderr, "pipe and file readings differ\n");
    std::abort();
  }
  return 0;
}
