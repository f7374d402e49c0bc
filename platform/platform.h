// What differs between POSIX systems and Windows: the null device, file
// descriptors, and how a message file's bytes are reached.
#ifndef STORLOOK_PLATFORM_PLATFORM_H_
#define STORLOOK_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

/// Name of the platform's null device.
extern const char* const kNullDevice;

/// How a file's bytes are read: a file of known size is read as far as
/// needed, anything else (a pipe, a socket, a terminal, a stream in memory,
/// or a procfs file that reports no size) to its end.
struct file_shape {
  bool sized;
  uint64_t size;
  bool directory;
};
file_shape shape_of(std::FILE* f);

/// Reads up to `n` bytes from the current position; fewer only at the end
/// of the file or on an error.
size_t read_some(std::FILE* f, unsigned char* buf, size_t n);

/// The byte at `off`, read without moving the position, or -1.
int read_byte_at(std::FILE* f, uint64_t off);

bool is_terminal(std::FILE* f);

/// A closed standard stream would be taken by the next file opened, and the
/// report written into it. Holds each place with the null device opened for
/// reading only, so that writes to a closed stdout fail and are reported.
void hold_standard_fds();

#endif  // STORLOOK_PLATFORM_PLATFORM_H_
