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
void text_walker::append_without_lf(const unsigned char* p,
                                    const unsigned char* eol,
                                    const unsigned char* end) {
  while (p < eol) {
    if (next_lf_ < p) {
      next_lf_ = static_cast<const unsigned char*>(
          std::memchr(p, kLF, size_t(end - p)));
      if (!next_lf_) {
        next_lf_ = end;
      }
    }
    const unsigned char* stop = next_lf_ < eol ? next_lf_ : eol;
    body_.append(p, size_t(stop - p));
    p = stop == eol ? eol : stop + 1;
  }
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
    auto cr =
        static_cast<const unsigned char*>(std::memchr(p, kCR, size_t(end - p)));
    const unsigned char* eol = cr ? cr : end;
    if (in_ctrl_line_) {
      ctrl_->append(p, size_t(eol - p));  // LFs stay in control lines
    } else if (!body_.discards()) {
      append_without_lf(p, eol, end);
    }
    if (!cr) {
      break;
    }
    (in_ctrl_line_ ? *ctrl_ : body_).put('\n');
    line_start_ = true;
    p = cr + 1;
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
