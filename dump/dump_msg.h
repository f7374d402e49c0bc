// Dumping one stored message file: the header report on stdout, then the
// message text on the routed streams.
#ifndef STORLOOK_DUMP_DUMP_MSG_H_
#define STORLOOK_DUMP_DUMP_MSG_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

/// Dumps the message file open on `fd` (from open_to_read), positioned at
/// its start. `path` only prefixes diagnostics. Problems are reported on
/// stderr, a directory as "<path>: Is a directory"; `fd` stays open.
void dump_msg(int fd, const char* path);
/// The same from a stream, which may have no descriptor (one in memory).
void dump_msg(std::FILE* f, const char* path);

/// A message file as far as the header phase has read it. Its bytes are
/// read once, from the start: a file of known size as far as needed, any
/// other input to its end.
struct msg_file {
  int fd = -1;
  std::FILE* f = nullptr;  // read through stdio where `fd` is -1
  bool directory = false;  // not a message file at all
  bool sized = false;      // the rest can still be read from `f`
  uint64_t len = 0;        // the file's length in bytes
  int last = -1;           // its final byte; -1 when it cannot be read
  bool kept_whole = true;  // false when memory ran out keeping the text
  /// The bytes read from the start: a file of known size as one block,
  /// other input up to the first NUL of the text.
  unsigned char* head = nullptr;
  size_t head_size = 0;
  std::vector<unsigned char> kept;  // holds the head of other input
};

/// Reads the start of the file: at least the header, and the file's length and
/// final byte.
void read_msg_start(msg_file* m);

/// The body phase: writes the message text between its markers, text lines
/// to body_out and control lines to ctrl_out, then closes the report.
void dump_msg_body(msg_file* m);

#endif  // STORLOOK_DUMP_DUMP_MSG_H_
