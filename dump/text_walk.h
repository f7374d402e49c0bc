// Splitting message text into text lines and control lines.
#ifndef STORLOOK_DUMP_TEXT_WALK_H_
#define STORLOOK_DUMP_TEXT_WALK_H_

#include <cstddef>

/// Walks message text that arrives in blocks, writing text lines to body_out
/// and control lines, as "@" and their content, to ctrl_out. A line may run
/// across blocks. Only the first byte of the text, or the byte after a CR,
/// can open a control line.
class text_walker {
 public:
  /// The next `n` bytes of text; they hold no NUL. The CRs of text lines are
  /// turned into newlines where they stand.
  void feed(unsigned char* p, size_t n);
  /// The text has ended: a control line cut short still gets its newline.
  void finish();

 private:
  bool line_start_ = true;
  bool in_ctrl_line_ = false;
};

#endif  // STORLOOK_DUMP_TEXT_WALK_H_
