#include "cli/streams.h"

#include <cstdarg>

std::FILE* null_out = nullptr;
std::FILE* body_out = nullptr;
std::FILE* ctrl_out = nullptr;

#ifdef _WIN32
const char* const kNullDevice = "NUL";
#else
const char* const kNullDevice = "/dev/null";
#endif

bool open_null_out() {
  null_out = std::fopen(kNullDevice, "w+");
  body_out = null_out;
  ctrl_out = null_out;
  return null_out != nullptr;
}

bool apply_option(const char* arg) {
  switch (arg[1]) {
    case 'b':
    case 'B':
      body_out = stdout;
      ctrl_out = stdout;
      return true;
    case 'c':
    case 'C':
      ctrl_out = stdout;
      return true;
    default:
      return false;
  }
}

void diag(const char* fmt, ...) {
  std::fflush(stdout);
  va_list ap;
  va_start(ap, fmt);
  std::vfprintf(stderr, fmt, ap);
  va_end(ap);
  // Unbuffered, yet the Windows C library may hold back a text-mode newline.
  std::fflush(stderr);
}
