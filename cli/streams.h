// The tool's output streams. Text and control lines of a message go to the
// routed streams, each of which is either the discard stream or stdout.
#ifndef STORLOOK_CLI_STREAMS_H_
#define STORLOOK_CLI_STREAMS_H_

#include <cstdio>

/// Stream on the null device; open from start-up to exit.
extern std::FILE* null_out;
/// Where message text lines and the text markers go.
extern std::FILE* body_out;
/// Where control lines go.
extern std::FILE* ctrl_out;

/// Name of the platform's null device.
extern const char* const kNullDevice;

/// Opens the null device into `null_out` and routes both streams to it.
/// Returns false, with errno set, when the device cannot be opened.
bool open_null_out();

/// Applies an option argument (one that starts with '-') to the routing.
/// Returns false when the option is not known.
bool apply_option(const char* arg);

/// Writes one diagnostic line to stderr, first flushing stdout so that a
/// combined stream keeps the order in which lines were produced.
#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void diag(const char* fmt, ...);

#endif  // STORLOOK_CLI_STREAMS_H_
