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

/// Writes one diagnostic line to stderr, first flushing stdout so that a
/// combined stream keeps the order in which lines were produced.
#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void diag(const char* fmt, ...);

#endif  // STORLOOK_DUMP_OUTPUT_H_
