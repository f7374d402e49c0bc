#include "dump/output.h"

#include <cerrno>
#include <cstdarg>

std::FILE* null_out = nullptr;
std::FILE* body_out = nullptr;
std::FILE* ctrl_out = nullptr;

namespace {
write_failure first_failure{false, 0};
}  // namespace

void note_write_error() {
  if (!first_failure.failed && std::ferror(stdout)) {
    first_failure = {true, errno};
  }
}

void flush_report() {
  std::fflush(stdout);
  note_write_error();
}

write_failure report_write_failure() {
  return first_failure;
}

void diag(const char* fmt, ...) {
  flush_report();
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
  // Unbuffered, yet the Windows C library may hold back a text-mode newline.
  std::fflush(stderr);
}
