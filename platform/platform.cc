#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

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

int read_byte_at(std::FILE* f, uint64_t off) {
  int fd = _fileno(f);
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

int read_byte_at(std::FILE* f, uint64_t off) {
  unsigned char c;
  return pread(fileno(f), &c, 1, off_t(off)) == 1 ? c : -1;
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
file_shape shape_of(std::FILE* f) {
  int fd = fileno(f);
  stat_buf st;
  if (fd < 0 || stat_fd(fd, &st) != 0) {
    return {false, 0, false};
  }
  bool sized = (st.st_mode & S_IFMT) == S_IFREG ? st.st_size > 0 : can_seek(fd);
  return {sized, uint64_t(st.st_size), (st.st_mode & S_IFMT) == S_IFDIR};
}

size_t read_some(std::FILE* f, unsigned char* buf, size_t n) {
  int fd = fileno(f);
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
