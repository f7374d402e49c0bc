// Where the dump writes. The front end opens the discard stream and routes
// the two message streams; the dump only reads them.
#ifndef STORLOOK_DUMP_OUTPUT_H_
#define STORLOOK_DUMP_OUTPUT_H_

#include <cstdio>

/// Stream on the null device; open from start-up to exit.
extern std::FILE* null_out;
/// Where message text lines and the text markers go.
extern std::FILE* body_out;
/// Where control lines go.
extern std::FILE* ctrl_out;

/// Notes the first failed write to stdout, with the error it left in errno.
/// A write fails unseen inside a buffered call, so this is called before
/// anything else can leave an error of its own there (opening, reading or
/// allocating), and after each flush.
void note_write_error();
/// Flushes stdout, noting a failure.
void flush_report();
/// Whether a write to stdout failed, and its error (0 where none was given).
struct write_failure {
  bool failed;
  int cause;
};
write_failure report_write_failure();

/// Writes one diagnostic line to stderr, first flushing stdout so that a
/// combined stream keeps the order in which lines were produced.
#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void diag(const char* fmt, ...);

#endif  // STORLOOK_DUMP_OUTPUT_H_
