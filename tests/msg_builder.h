// Builds stored message files field by field for the tests.
#ifndef STORLOOK_TESTS_MSG_BUILDER_H_
#define STORLOOK_TESTS_MSG_BUILDER_H_

#include <cstdint>
#include <string>

#include "format/msg_header.h"

class msg_builder {
 public:
  /// A well-formed netmail header from Sysop at 2:345/67.8 to All at
  /// 1:234/56.0, with no text after it.
  msg_builder();

  /// Writes `s` into a text field from its start, zero-filling the rest.
  /// `s` may fill the field completely, leaving it unterminated.
  msg_builder& set_text(text_field f, const std::string& s);
  msg_builder& set_u16(size_t off, uint16_t v);
  msg_builder& set_byte(size_t off, unsigned char v);
  /// The bytes after the header, as they stand (add the final NUL yourself).
  msg_builder& body(const std::string& text);
  msg_builder& truncate(size_t n);

  const std::string& bytes() const { return bytes_; }
  /// Writes the file into `dir` and returns its path.
  std::string write(const std::string& dir, const std::string& name) const;

 private:
  std::string bytes_;
};

#endif  // STORLOOK_TESTS_MSG_BUILDER_H_
