// The least a program can do to show message files: for each one named,
// open it, read it with one read, write those bytes to stdout and close it.
// storlook's cost per file is measured against this.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  static char buf[1 << 20];
  for (int i = 1; i < argc; ++i) {
    int fd = open(argv[i], O_RDONLY);
    if (fd < 0) {
      std::perror(argv[i]);
      continue;
    }
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0 && write(1, buf, size_t(n)) != n) {
      return 1;
    }
    close(fd);
  }
  return 0;
}
