#include "cli/landlock.h"

landlock_rights landlock_rights_for(long abi) {
  // ABI 1: execute, write, read file and dir, remove dir and file, make
  // char device, dir, regular file, socket, FIFO, block device, symlink.
  uint64_t fs = (1ull << 13) - 1;
  fs |= abi >= 2 ? 1ull << 13 : 0;  // refer: link and rename across dirs
  fs |= abi >= 3 ? 1ull << 14 : 0;  // truncate
  fs |= abi >= 5 ? 1ull << 15 : 0;  // ioctl on devices
  // ABI 4: TCP bind and connect; ABI 6: abstract Unix sockets and signals.
  return {fs, abi >= 4 ? 3u : 0u, abi >= 6 ? 3u : 0u};
}

#ifdef __linux__
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>

namespace {

using grant_fn = std::function<void(int fd, bool list)>;

// Grants what `name` leads to, links and /proc/self/fd's entries followed.
void grant_target(int dirfd, const char* name, const grant_fn& grant) {
  int fd = openat(dirfd, name, O_PATH | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) == 0) {
    grant(fd, S_ISDIR(st.st_mode));
  }
  if (fd >= 0) {
    close(fd);
  }
}

// Grants a named entry that is not a regular file by what it leads to, and
// tells whether it was one. One that is not there may yet come as a file.
bool grant_odd(int dirfd, const char* name, unsigned type,
               const grant_fn& grant) {
  struct stat st;
  if (type == DT_UNKNOWN) {
    bool there = fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    type = there ? unsigned(IFTODT(st.st_mode)) : unsigned(DT_REG);
  }
  if (type == DT_REG) {
    return false;
  }
  grant_target(dirfd, name, grant);
  return true;
}

// A folder is listed once; only its entries that are not regular files are
// looked up among the names, which are sorted when the first such comes.
void grant_folder(const std::string& dir, std::vector<std::string_view>& names,
                  const grant_fn& grant) {
  int dirfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* list = dirfd >= 0 ? fdopendir(dirfd) : nullptr;
  if (!list) {  // searchable but not listable: each name is looked at
    if (dirfd < 0) {
      dirfd = open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (dirfd < 0) {
      return;  // nothing beneath it opens either
    }
  }
  bool sorted = false;
  auto sort = [&] {
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    sorted = true;
  };
  size_t odd = 0;
  while (dirent* e = list ? readdir(list) : nullptr) {
    std::string_view name = e->d_name;
    if (e->d_type == DT_REG || name == "." || name == "..") {
      continue;
    }
    if (!sorted) {
      sort();
    }
    if (std::binary_search(names.begin(), names.end(), name)) {
      odd += grant_odd(dirfd, e->d_name, e->d_type, grant);
    }
  }
  if (!list) {
    sort();
    for (std::string_view name : names) {
      odd += grant_odd(dirfd, name.data(), DT_UNKNOWN, grant);
    }
  }
  if (odd < names.size()) {
    grant(dirfd, false);
  }
  list ? closedir(list) : close(dirfd);
}

}  // namespace

#ifdef SYS_landlock_restrict_self
constexpr uint64_t kReadFile = 1u << 2, kReadDir = 1u << 3;

bool restrict_file_system(long max_abi, const std::vector<const char*>& named,
                          std::vector<file_id>* pipes) {
  long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, 1u);  // ABI
  if (abi < 1 || max_abi < 1) {
    return false;  // no Landlock in this kernel, or it is turned off
  }
  landlock_rights attr = landlock_rights_for(abi < max_abi ? abi : max_abi);
  int set = int(syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0u));
  if (set < 0) {
    return false;
  }
  auto grant = [set](int fd, uint64_t rights) {
    struct __attribute__((packed)) {
      uint64_t allowed;
      int32_t parent_fd;
    } beneath{rights, fd};
    syscall(SYS_landlock_add_rule, set, 1 /* path beneath */, &beneath, 0u);
  };
  for_each_named_place(named, [&](int fd, bool list) {
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
      pipes->push_back({uint64_t(st.st_dev), uint64_t(st.st_ino)});
    }
    grant(fd, list ? kReadDir : kReadFile);
  });
#ifdef STORLOOK_SANITIZED
  int self = open("/proc/self", O_PATH | O_CLOEXEC);
  grant(self, kReadFile | kReadDir);
  close(self);
#endif
  bool done = syscall(SYS_landlock_restrict_self, set, 0u) == 0;
  close(set);
  return done;
}
#else
bool restrict_file_system(long, const std::vector<const char*>&,
                          std::vector<file_id>*) {
  return false;  // headers from before Landlock: a build without it
}
#endif

void for_each_named_place(const std::vector<const char*>& paths,
                          const grant_fn& grant) {
  // Names are taken by folder; a run of names in one folder costs one
  // look-up. Every base name is the end of its path, so ends in a NUL.
  std::unordered_map<std::string_view, std::vector<std::string_view>> folders;
  std::vector<std::string_view>* names = nullptr;
  std::string_view last;
  for (const char* path : paths) {
    std::string_view p = path, dir = ".", base = p;
    size_t slash = p.rfind('/');
    if (slash != std::string_view::npos) {
      dir = p.substr(0, std::max<size_t>(slash, 1));
      base = p.substr(slash + 1);
    }
    if (base.empty() || base == "." || base == "..") {
      grant_target(AT_FDCWD, path, grant);  // a folder named as itself
      continue;
    }
    if (!names || dir != last) {
      names = &folders[dir];
      last = dir;
    }
    names->push_back(base);
  }
  for (auto& [dir, in_dir] : folders) {
    grant_folder(std::string(dir), in_dir, grant);
  }
}

#else
bool restrict_file_system(long, const std::vector<const char*>&,
                          std::vector<file_id>*) {
  return false;
}
void for_each_named_place(const std::vector<const char*>&,
                          const std::function<void(int, bool)>&) {}
#endif
