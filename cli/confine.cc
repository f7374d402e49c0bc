#include "cli/confine.h"

#if defined(__linux__) && !defined(STORLOOK_NO_CONFINE)
#include <dirent.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/futex.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

#include "cli/landlock.h"

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#else
#define RUNNING_ON_VALGRIND 0
#endif

namespace {

// The architecture whose system call numbers the filter is written in.
#if defined(__x86_64__) && !defined(__ILP32__)
constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__i386__)
constexpr uint32_t kArch = AUDIT_ARCH_I386;
#elif defined(__aarch64__) && !defined(__AARCH64EB__)
constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#elif defined(__arm__) && !defined(__ARMEB__)
constexpr uint32_t kArch = AUDIT_ARCH_ARM;
#elif defined(__s390x__)
constexpr uint32_t kArch = AUDIT_ARCH_S390X;
#elif defined(__riscv) && __riscv_xlen == 64
constexpr uint32_t kArch = AUDIT_ARCH_RISCV64;
#elif defined(__powerpc64__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr uint32_t kArch = AUDIT_ARCH_PPC64LE;
#else
#define STORLOOK_NO_FILTER
#endif

#ifndef STORLOOK_NO_FILTER

constexpr uint32_t kAllow = SECCOMP_RET_ALLOW;
constexpr uint32_t kRefuse = SECCOMP_RET_ERRNO | EPERM;
constexpr uint32_t kUnknown = SECCOMP_RET_ERRNO | ENOSYS;

// The calls allowed whatever their arguments, none of which reaches beyond
// the process; per-file calls first.
// clang-format off
constexpr int kAllowed[] = {
#if __SIZEOF_LONG__ == 4
    SYS_fstat64, SYS_fstatat64, SYS_ppoll_time64,
#else
    SYS_newfstatat, SYS_fstat,
#endif
    SYS_statx,                          // a file's kind and size
    SYS_close,                          // drops the process's own reference
    SYS_brk, SYS_munmap,                // its own memory
    SYS_mremap,                         // moves its own pages, as they are
    SYS_ppoll,                          // waits: it changes no file
    SYS_getpid, SYS_gettid,             // ask
    SYS_rt_sigprocmask, SYS_rt_sigaction, SYS_rt_sigreturn,
    SYS_restart_syscall,                // the process's own signal state
    SYS_exit, SYS_exit_group,
#ifdef SYS_poll
    SYS_poll,
#endif
#ifdef SYS_sigreturn
    SYS_sigreturn,
#endif
#ifdef STORLOOK_SANITIZED  // threads of its own, traced by each other
    SYS_clone, SYS_ptrace, SYS_wait4, SYS_prctl, SYS_sched_yield,
    SYS_sigaltstack, SYS_getdents64, SYS_getppid,
#ifdef SYS_getdents
    SYS_getdents,
#endif
#endif
};
// clang-format on

// Calls on a descriptor's file or its shared offset, for the tool's own
// files only; the 32-bit names where they differ.
constexpr int kOwnFilesOnly[] = {SYS_read, SYS_readv, SYS_pread64, SYS_lseek,
#ifdef SYS__llseek
                                 SYS__llseek,
#endif
};
constexpr int kFcntl[] = {SYS_fcntl,
#if defined(SYS_fcntl64) && SYS_fcntl64 != SYS_fcntl
                          SYS_fcntl64,
#endif
};
constexpr int kFutex[] = {SYS_futex,
#ifdef SYS_futex_time64
                          SYS_futex_time64,
#endif
};

// Advice the C libraries give: glibc's trim and free (DONTNEED), its
// hugepage tunable (HUGEPAGE), musl's free (FREE); a sanitizer's shadow.
constexpr uint32_t kAdvice[] = {MADV_DONTNEED, MADV_FREE, MADV_HUGEPAGE,
#ifdef STORLOOK_SANITIZED
                                MADV_NOHUGEPAGE, MADV_DONTDUMP,
#endif
};

// A seccomp program, a check at a time. Conditional jumps go one or a few
// instructions ahead; a call's rules are skipped by one 32-bit jump.
class filter {
 public:
  void load(uint32_t at) { add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at)); }
  void ret(uint32_t action) { add(BPF_STMT(BPF_RET | BPF_K, action)); }
  /// Returns `action` if the loaded word passes `op` against `k` (fails it).
  void on(uint32_t k, uint32_t action, uint16_t op = BPF_JEQ, bool when = 1) {
    add(BPF_JUMP(BPF_JMP | op | BPF_K, k, uint8_t(!when), uint8_t(when)));
    ret(action);
  }
  /// Starts the rules on the arguments of call `nr`; each refuses with
  /// EPERM, and allow() ends them.
  filter& call(int nr) {
    add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 1, 0));
    skip_ = prog_.size();
    add(BPF_JUMP(BPF_JMP | BPF_JA, 0, 0, 0));
    return *this;
  }
  template <size_t N>
  filter& one_of(int arg, const uint32_t (&v)[N]) {
    static_assert(N < 256, "a conditional jump reaches 255 ahead");
    load_arg(arg);
    for (size_t i = 0; i < N; ++i) {
      add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, v[i], uint8_t(N - i), 0));
    }
    ret(kRefuse);
    return *this;
  }
  /// Argument `arg` has `bits` all clear (`set` false) or, one bit, set.
  filter& bits(int arg, uint32_t bits, bool set) {
    load_arg(arg);
    on(bits, kRefuse, BPF_JSET, !set);
    return *this;
  }
  /// Argument `arg` is a descriptor the tool opened itself: above `held`,
  /// the highest it held when confined but for those in `above`.
  filter& own(int arg, uint32_t held, const std::vector<uint32_t>& above) {
    load_arg(arg);
    on(held, kRefuse, BPF_JGT, false);
    for (uint32_t fd : above) {
      on(fd, kRefuse);
    }
    return *this;
  }
  void allow() {
    ret(kAllow);
    prog_[skip_].k = uint32_t(prog_.size() - skip_ - 1);
  }
  bool install(uint32_t otherwise) {
    ret(otherwise);
    sock_fprog prog{static_cast<unsigned short>(prog_.size()), prog_.data()};
    return prog_.size() <= BPF_MAXINSNS &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog, 0, 0) == 0;
  }

 private:
  void add(sock_filter f) { prog_.push_back(f); }
  // The low 32 bits: every argument checked is an int to the kernel, or a
  // word whose high bits it ignores.
  void load_arg(int arg) {
    load(uint32_t(offsetof(seccomp_data, args) + 8 * size_t(arg) +
                  (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0)));
  }
  std::vector<sock_filter> prog_;
  size_t skip_ = 0;
};

// The descriptors above `held` that the process holds: those its caller
// left open, which it shares.
std::vector<uint32_t> held_above(int held) {
  std::vector<uint32_t> fds;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d)) {
      int fd = std::atoi(e->d_name);
      if (fd > held && fd != dirfd(d) && fds.size() < 1000) {
        fds.push_back(uint32_t(fd));
      }
    }
    closedir(d);
  }
  return fds;
}

// A pipe the caller shares can be opened again through /proc/self/fd,
// which Landlock does not govern, and read from under the caller: each one
// the command line did not name is swapped for the null device, open only
// for writing. 1 and 2 stay: the report goes there.
void hide_unnamed_pipes(int null_fd, const std::vector<uint32_t>& above,
                        const std::vector<file_id>& named) {
  std::vector<uint32_t> shared = above;
  shared.push_back(0);
  for (uint32_t fd : shared) {
    struct stat st;
    if (fstat(int(fd), &st) == 0 && S_ISFIFO(st.st_mode) &&
        std::find(named.begin(), named.end(),
                  file_id{uint64_t(st.st_dev), uint64_t(st.st_ino)}) ==
            named.end()) {
      dup2(null_fd, int(fd));
    }
  }
}

// Every descriptor up to the null device's is held: it took the lowest.
bool filter_system_calls(int output_fd, const std::vector<uint32_t>& above) {
  const auto held = uint32_t(output_fd);
  filter f;
  // Calls in another architecture's numbering (32-bit, x32) are refused.
  f.load(offsetof(seccomp_data, arch));
  f.on(kArch, kRefuse, BPF_JEQ, false);
  f.load(offsetof(seccomp_data, nr));
#ifdef __x86_64__
  f.on(0x40000000, kRefuse, BPF_JGE);  // the x32 call bit
#endif
  // Files are opened to be read, not written, created or truncated.
  constexpr uint32_t kWriting =
      O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | (O_TMPFILE & ~O_DIRECTORY);
  f.call(SYS_openat).bits(2, kWriting, false).allow();
#ifdef SYS_open
  f.call(SYS_open).bits(1, kWriting, false).allow();
#endif
  // Of what the caller shares, the tool writes to its output streams and
  // nothing else: it reads, seeks and sets the flags of its own files only.
  for (int nr : {SYS_write, SYS_writev}) {
    f.call(nr).one_of(0, {1, 2, held}).allow();
  }
  for (int nr : kOwnFilesOnly) {
    f.call(nr).own(0, held, above).allow();
  }
  for (int nr : kAllowed) {
    f.on(uint32_t(nr), kAllow);
  }
  for (int nr : kFcntl) {
    f.call(nr).own(0, held, above)
        .one_of(1, {F_GETFD, F_SETFD, F_GETFL, F_SETFL}).allow();
  }
  // Of the terminal requests, the queries whether output goes to a person.
  f.call(SYS_ioctl).one_of(0, {0, 1, 2}).one_of(1, {TCGETS, TIOCGWINSZ}).allow();
  // Signals go to the process itself (abort's).
  for (int nr : {SYS_kill, SYS_tkill, SYS_tgkill}) {
    f.call(nr).one_of(0, {uint32_t(getpid())}).allow();
  }
  // Memory of its own: no page poisoned or taken offline, no futex keyed to
  // a file, anonymous and private mappings, never executable.
  f.call(SYS_madvise).one_of(2, kAdvice).allow();
  for (int nr : kFutex) {
    f.call(nr).bits(1, FUTEX_PRIVATE_FLAG, true).allow();
  }
  f.call(SYS_mprotect).bits(2, PROT_EXEC, false).allow();
  // The mmap of s390x takes its arguments in memory, out of the filter's
  // sight: there it fails, and malloc takes memory with brk.
#if defined(SYS_mmap2) || !defined(__s390x__)
#ifdef SYS_mmap2
  f.call(SYS_mmap2)
#else
  f.call(SYS_mmap)
#endif
      .bits(3, MAP_SHARED, false).bits(3, MAP_ANONYMOUS, true)
      .bits(2, PROT_EXEC, false).allow();
#endif
  return f.install(kUnknown);
}

#endif  // !STORLOOK_NO_FILTER

}  // namespace

#endif

bool confine_process([[maybe_unused]] int output_fd,
                     [[maybe_unused]] const std::vector<const char*>& named,
                     [[maybe_unused]] long max_abi) {
#if !defined(__linux__) || defined(STORLOOK_NO_CONFINE)
  return false;  // not Linux, or a build to measure what confinement costs
#else
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    return false;
  }
  // Landlock holds whether or not the filter can be installed after it.
  std::vector<file_id> pipes;
#ifdef STORLOOK_NO_FILTER
  restrict_file_system(max_abi, named, &pipes);
  return false;
#else
  // What the caller shares is listed before Landlock closes /proc.
  const std::vector<uint32_t> above = held_above(output_fd);
  bool landlocked = restrict_file_system(max_abi, named, &pipes);
  if (landlocked) {
    hide_unnamed_pipes(output_fd, above, pipes);
  }
  // valgrind makes its own calls through the filter.
  return !RUNNING_ON_VALGRIND && filter_system_calls(output_fd, above) &&
         landlocked;
#endif
#endif
}
