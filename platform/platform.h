// What differs between POSIX systems and Windows: the null device, file
// descriptors, and how a message file's bytes are reached.
#ifndef STORLOOK_PLATFORM_PLATFORM_H_
#define STORLOOK_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

/// Name of the platform's null device.
extern const char* const kNullDevice;

/// Opens the null device for writing. Returns nullptr, and in `why` the
/// reason, when it cannot be opened or is not a device.
std::FILE* open_null_device(const char** why);

/// Opens `path` for reading without waiting on it: a FIFO that no one
/// writes to yet opens at once (see await_input). Returns a descriptor, or
/// -1 with errno set.
int open_to_read(const char* path);
void close_input(int fd);

/// How a file's bytes are read: a file of known size is read as far as
/// needed, anything else (a pipe, a socket, a terminal, or a procfs file
/// that reports no size) to its end. A descriptor of -1 stands for a stream
/// without one (in memory), read through stdio to its end.
struct file_shape {
  bool sized;
  uint64_t size;
  bool directory;
  bool regular;
  bool fifo;
};
file_shape shape_of(int fd);

/// Waits on input that is not a regular file as a blocking open would have
/// (a FIFO for its first writer), then lets its reads block.
void await_input(int fd, bool fifo);

/// Reads up to `n` bytes from the current position of `fd`, or of `f` when
/// `fd` is -1; fewer only at the end of the file or on an error.
size_t read_some(int fd, std::FILE* f, unsigned char* buf, size_t n);

/// The byte at `off`, read without moving the position, or -1.
int read_byte_at(int fd, uint64_t off);

bool is_terminal(std::FILE* f);

/// A closed standard stream would be taken by the next file opened, and the
/// report written into it. Holds each place with the null device opened for
/// reading only, so that writes to a closed stdout fail and are reported.
void hold_standard_fds();

#endif  // STORLOOK_PLATFORM_PLATFORM_H_
