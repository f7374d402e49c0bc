#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>

const char* const kNullDevice = "NUL";

namespace {
using stat_buf = struct _stati64;
int stat_fd(int fd, stat_buf* st) {
  return _fstati64(fd, st);
}
bool can_seek(int fd) {
  return _lseeki64(fd, 0, SEEK_CUR) >= 0;
}
long long read_fd(int fd, void* buf, size_t n) {
  return _read(fd, buf, unsigned(n < 0x40000000 ? n : 0x40000000));
}
}  // namespace

std::FILE* open_null_device(const char** why) {
  std::FILE* f = std::fopen(kNullDevice, "w");
  *why = f ? nullptr : std::strerror(errno);
  return f;
}

int open_to_read(const char* path) {
  return _open(path, _O_RDONLY | _O_BINARY);
}

void close_input(int fd) {
  _close(fd);
}

void await_input(int, bool) {}

int read_byte_at(int fd, uint64_t off) {
  long long here = _lseeki64(fd, 0, SEEK_CUR);
  unsigned char c;
  bool got = _lseeki64(fd, static_cast<long long>(off), SEEK_SET) >= 0 &&
             _read(fd, &c, 1) == 1;
  _lseeki64(fd, here, SEEK_SET);
  return got ? c : -1;
}

bool is_terminal(std::FILE* f) {
  return _isatty(_fileno(f));
}

void hold_standard_fds() {}

#else
#include <poll.h>
#include <unistd.h>

const char* const kNullDevice = "/dev/null";

namespace {
using stat_buf = struct stat;
int stat_fd(int fd, stat_buf* st) {
  return fstat(fd, st);
}
bool can_seek(int fd) {
  return lseek(fd, 0, SEEK_CUR) >= 0;
}
ssize_t read_fd(int fd, void* buf, size_t n) {
  return read(fd, buf, n);
}
}  // namespace

// Neither created nor truncated: where /dev holds no null device (a bare
// chroot or container), or a file stands in its place, nothing is written.
std::FILE* open_null_device(const char** why) {
  int fd = open(kNullDevice, O_WRONLY | O_NOCTTY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    *why = std::strerror(errno);
  } else if (!S_ISCHR(st.st_mode)) {
    *why = "not a character device";
  } else if (std::FILE* f = fdopen(fd, "w")) {
    return f;
  } else {
    *why = std::strerror(errno);
  }
  if (fd >= 0) {
    close(fd);
  }
  return nullptr;
}

int open_to_read(const char* path) {
  return open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
}

void close_input(int fd) {
  close(fd);
}

// A FIFO opened without waiting reads as ended until a writer comes; poll
// waits for one, as a blocking open would, and for its first bytes or its
// going away.
void await_input(int fd, bool fifo) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || !(flags & O_NONBLOCK)) {
    return;
  }
  if (fifo) {
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
  }
  fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

int read_byte_at(int fd, uint64_t off) {
  unsigned char c;
  return pread(fd, &c, 1, off_t(off)) == 1 ? c : -1;
}

bool is_terminal(std::FILE* f) {
  return isatty(fileno(f));
}

void hold_standard_fds() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      open("/dev/null", O_RDONLY);
    }
  }
}

#endif

// A regular file's size comes from one stat. A device that can seek
// (/dev/zero) is sized too, by its reported size, so it is never read
// without end; procfs reports 0 for files with content.
file_shape shape_of(int fd) {
  stat_buf st;
  if (fd < 0 || stat_fd(fd, &st) != 0) {
    return {false, 0, false, false, false};
  }
  bool regular = (st.st_mode & S_IFMT) == S_IFREG;
  bool sized = regular ? st.st_size > 0 : can_seek(fd);
  return {sized, uint64_t(st.st_size), (st.st_mode & S_IFMT) == S_IFDIR,
          regular, (st.st_mode & S_IFMT) == S_IFIFO};
}

size_t read_some(int fd, std::FILE* f, unsigned char* buf, size_t n) {
  if (fd < 0) {
    return std::fread(buf, 1, n, f);
  }
  size_t got = 0;
  while (got < n) {
    auto r = read_fd(fd, buf + got, n - got);
    if (r > 0) {
      got += size_t(r);
    } else if (r == 0 || errno != EINTR) {
      break;
    }
  }
  return got;
}
