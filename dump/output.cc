#include "dump/output.h"

#include <cstdarg>

std::FILE* null_out = nullptr;
std::FILE* body_out = nullptr;
std::FILE* ctrl_out = nullptr;

void diag(const char* fmt, ...) {
  std::fflush(stdout);
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
  // Unbuffered, yet the Windows C library may hold back a text-mode newline.
  std::fflush(stderr);
}
