// Dumping one stored message file: the header report on stdout, then the
// message text on the routed streams.
#ifndef STORLOOK_DUMP_DUMP_MSG_H_
#define STORLOOK_DUMP_DUMP_MSG_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

/// Dumps the message file open on `f`, positioned at its start. `path` only
/// prefixes diagnostics. Problems are reported on stderr; `f` stays open.
void dump_msg(std::FILE* f, const char* path);

/// Loads the text of a seekable message file of `len` bytes and writes it out.
void dump_msg_body(std::FILE* f, uint64_t len);

/// Writes `n` bytes of message text, which hold no NUL, to the routed
/// streams: text lines to body_out, control lines to ctrl_out.
void walk_msg_text(const unsigned char* text, size_t n);

#endif  // STORLOOK_DUMP_DUMP_MSG_H_
