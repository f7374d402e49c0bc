#include "dump/text_walk.h"

#include <cstdio>
#include <cstring>

#include "dump/output.h"

namespace {

constexpr unsigned char kCR = 0x0D;
constexpr unsigned char kLF = 0x0A;
constexpr unsigned char kCtrlMark = 0x01;

// The CR before the next control mark that opens a line, or `end`. Control
// marks are rare, so they are what is looked for.
unsigned char* next_control_line(unsigned char* p, unsigned char* end) {
  for (unsigned char* q = p; q < end; ++q) {
    q = static_cast<unsigned char*>(std::memchr(q, kCtrlMark, size_t(end - q)));
    if (!q) {
      break;
    }
    if (q > p && q[-1] == kCR) {
      return q - 1;
    }
  }
  return end;
}

// Writes text lines without their LFs, each CR turned into a newline.
void write_text_lines(unsigned char* p, unsigned char* end) {
  while (p < end) {
    auto lf = static_cast<unsigned char*>(std::memchr(p, kLF, size_t(end - p)));
    unsigned char* cut = lf ? lf : end;
    for (unsigned char* q = p; q < cut; ++q) {
      *q = *q == kCR ? kLF : *q;
    }
    std::fwrite(p, 1, size_t(cut - p), body_out);
    p = lf ? lf + 1 : end;
  }
}

}  // namespace

void text_walker::feed(unsigned char* p, size_t n) {
  unsigned char* end = p + n;
  while (p < end) {
    if (line_start_) {
      line_start_ = false;
      in_ctrl_line_ = *p == kCtrlMark;
      if (in_ctrl_line_) {
        std::putc('@', ctrl_out);
        ++p;
        continue;
      }
    }
    if (in_ctrl_line_) {
      // A control line keeps its LFs and ends at its CR.
      auto cr =
          static_cast<unsigned char*>(std::memchr(p, kCR, size_t(end - p)));
      std::fwrite(p, 1, size_t((cr ? cr : end) - p), ctrl_out);
      if (!cr) {
        break;
      }
      std::putc('\n', ctrl_out);
      line_start_ = true;
      p = cr + 1;
      continue;
    }
    // Text lines run on to the CR that opens a control line.
    unsigned char* stop = next_control_line(p, end);
    if (stop < end) {
      ++stop;  // that CR ends the last text line
    }
    line_start_ = stop[-1] == kCR;
    if (body_out != null_out) {
      write_text_lines(p, stop);
    }
    p = stop;
  }
}

void text_walker::finish() {
  if (in_ctrl_line_ && !line_start_) {
    std::putc('\n', ctrl_out);
  }
}
