#include "dump/text_walk.h"

#include <cstring>

#include "dump/output.h"

namespace {

constexpr unsigned char kCR = 0x0D;
constexpr unsigned char kLF = 0x0A;
constexpr unsigned char kCtrlMark = 0x01;

}  // namespace

block_writer::block_writer(std::FILE* f)
    : f_(f), discards_(f == nullptr || f == null_out) {}

void block_writer::append_long(const unsigned char* p, size_t n) {
  flush();
  if (n >= sizeof buf_) {
    if (!discards_) {
      std::fwrite(p, 1, n, f_);
    }
    return;
  }
  std::memcpy(buf_, p, n);
  n_ = n;
}

void block_writer::append_lines(const unsigned char* p, size_t n) {
  while (n > 0) {
    if (n_ == sizeof buf_) {
      flush();
    }
    size_t k = n < sizeof buf_ - n_ ? n : sizeof buf_ - n_;
    unsigned char* out = buf_ + n_;
    for (size_t i = 0; i < k; ++i) {
      out[i] = p[i] == kCR ? kLF : p[i];
    }
    n_ += k;
    p += k;
    n -= k;
  }
}

void block_writer::flush() {
  if (n_ > 0 && !discards_) {
    std::fwrite(buf_, 1, n_, f_);
  }
  n_ = 0;
}

text_walker::text_walker()
    : body_(body_out),
      ctrl_own_(ctrl_out == body_out ? nullptr : ctrl_out),
      ctrl_(ctrl_out == body_out ? &body_ : &ctrl_own_) {}

// Text lines lose their LFs. The next LF of the block is looked for once,
// not once a line: most text has none.
void text_walker::append_text_lines(const unsigned char* p,
                                    const unsigned char* stop,
                                    const unsigned char* end) {
  while (p < stop) {
    if (next_lf_ < p) {
      next_lf_ = static_cast<const unsigned char*>(
          std::memchr(p, kLF, size_t(end - p)));
      if (!next_lf_) {
        next_lf_ = end;
      }
    }
    const unsigned char* cut = next_lf_ < stop ? next_lf_ : stop;
    body_.append_lines(p, size_t(cut - p));
    p = cut == stop ? stop : cut + 1;
  }
}

// The CR before the next control mark that opens a line, or `end`. Control
// marks are rare, so they are what is looked for.
static const unsigned char* next_control_line(const unsigned char* p,
                                              const unsigned char* end) {
  for (const unsigned char* q = p; q < end; ++q) {
    q = static_cast<const unsigned char*>(
        std::memchr(q, kCtrlMark, size_t(end - q)));
    if (!q) {
      break;
    }
    if (q > p && q[-1] == kCR) {
      return q - 1;
    }
  }
  return end;
}

void text_walker::feed(const unsigned char* p, size_t n) {
  const unsigned char* end = p + n;
  next_lf_ = nullptr;
  while (p < end) {
    if (line_start_) {
      line_start_ = false;
      in_ctrl_line_ = *p == kCtrlMark;
      if (in_ctrl_line_) {
        ctrl_->put('@');
        ++p;
        continue;
      }
    }
    if (in_ctrl_line_) {
      // A control line keeps its LFs and ends at its CR.
      auto cr = static_cast<const unsigned char*>(
          std::memchr(p, kCR, size_t(end - p)));
      ctrl_->append(p, size_t((cr ? cr : end) - p));
      if (!cr) {
        break;
      }
      ctrl_->put('\n');
      line_start_ = true;
      p = cr + 1;
      continue;
    }
    // Text lines run on to the CR that opens a control line.
    const unsigned char* stop = next_control_line(p, end);
    if (stop < end) {
      ++stop;  // that CR ends the last text line
    }
    if (!body_.discards()) {
      append_text_lines(p, stop, end);
    }
    line_start_ = stop[-1] == kCR;
    p = stop;
  }
}

void text_walker::finish() {
  if (in_ctrl_line_ && !line_start_) {
    ctrl_->put('\n');
  }
  body_.flush();
  ctrl_->flush();
  line_start_ = true;
  in_ctrl_line_ = false;
}
