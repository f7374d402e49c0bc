// Splitting message text into text lines and control lines.
#ifndef STORLOOK_DUMP_TEXT_WALK_H_
#define STORLOOK_DUMP_TEXT_WALK_H_

#include <cstddef>
#include <cstdio>
#include <cstring>

/// Gathers what goes to one stream and writes it in large blocks. Writing to
/// the discard stream is skipped altogether.
class block_writer {
 public:
  explicit block_writer(std::FILE* f);
  ~block_writer() { flush(); }
  block_writer(const block_writer&) = delete;
  block_writer& operator=(const block_writer&) = delete;

  bool discards() const { return discards_; }
  void put(unsigned char c) {
    if (n_ == sizeof buf_) {
      flush();
    }
    buf_[n_++] = c;
  }
  void append(const unsigned char* p, size_t n) {
    if (n > sizeof buf_ - n_) {
      append_long(p, n);
      return;
    }
    std::memcpy(buf_ + n_, p, n);
    n_ += n;
  }
  /// Appends text with each CR written as a newline.
  void append_lines(const unsigned char* p, size_t n);
  void flush();

 private:
  void append_long(const unsigned char* p, size_t n);

  std::FILE* f_;
  bool discards_;
  size_t n_ = 0;
  unsigned char buf_[64 * 1024];
};

/// Walks message text that arrives in blocks, writing text lines to body_out
/// and control lines, as "@" and their content, to ctrl_out. A line may run
/// across blocks. Only the first byte of the text, or the byte after a CR,
/// can open a control line.
class text_walker {
 public:
  text_walker();

  /// The next `n` bytes of text; they hold no NUL.
  void feed(const unsigned char* p, size_t n);
  /// The text has ended: a control line cut short still gets its newline.
  void finish();

 private:
  void append_text_lines(const unsigned char* p, const unsigned char* stop,
                         const unsigned char* end);

  block_writer body_;
  block_writer ctrl_own_;
  block_writer* ctrl_;  // &body_ when both streams are one
  bool line_start_ = true;
  bool in_ctrl_line_ = false;
  const unsigned char* next_lf_ = nullptr;  // in the block being fed
};

#endif  // STORLOOK_DUMP_TEXT_WALK_H_
