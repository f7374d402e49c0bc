#include "cli/confine.h"

landlock_rights landlock_rights_for(long abi) {
  // ABI 1: execute, write, read file and dir (left out), remove dir and file,
  // make char device, dir, regular file, socket, FIFO, block device, symlink.
  uint64_t fs = ((1ull << 13) - 1) & ~(1ull << 2 | 1ull << 3);
  fs |= abi >= 2 ? 1ull << 13 : 0;  // refer: link and rename across dirs
  fs |= abi >= 3 ? 1ull << 14 : 0;  // truncate
  fs |= abi >= 5 ? 1ull << 15 : 0;  // ioctl on devices
  // ABI 4: TCP bind and connect; ABI 6: abstract Unix sockets and signals.
  return {fs, abi >= 4 ? 3u : 0u, abi >= 6 ? 3u : 0u};
}

#if defined(__linux__) && !defined(STORLOOK_NO_CONFINE)
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <initializer_list>
#include <vector>

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

// Handles every right of ABI `max_abi` that the kernel knows.
bool restrict_file_system(long max_abi) {
  long abi = syscall(444, nullptr, 0, 1u);  // landlock_create_ruleset: ABI
  if (abi < 1 || max_abi < 1) {
    return false;  // no Landlock in this kernel, or it is turned off
  }
  landlock_rights attr = landlock_rights_for(abi < max_abi ? abi : max_abi);
  int fd = int(syscall(444, &attr, sizeof attr, 0u));
  bool done = fd >= 0 && syscall(446, fd, 0u) == 0;  // landlock_restrict_self
  return close(fd), done;
}

#ifndef STORLOOK_NO_FILTER

constexpr uint32_t kAllow = SECCOMP_RET_ALLOW;
constexpr uint32_t kRefuse = SECCOMP_RET_ERRNO | EPERM;
constexpr uint32_t kUnknown = SECCOMP_RET_ERRNO | ENOSYS;

// The calls the tool makes, and its C library for it, whatever their
// arguments: stat, read, close, seek, memory (a first exception wakes a
// futex), wait on a FIFO, its own signals, the end; per-file calls first.
// clang-format off
constexpr int kAllowed[] = {
#if __SIZEOF_LONG__ == 4
    SYS_statx, SYS_fstat64, SYS_fstatat64, SYS__llseek, SYS_ppoll_time64,
    SYS_futex_time64,
#else
    SYS_newfstatat, SYS_fstat, SYS_statx,
#endif
    SYS_read, SYS_close, SYS_readv, SYS_pread64, SYS_lseek, SYS_brk,
    SYS_munmap, SYS_mremap, SYS_madvise, SYS_futex, SYS_ppoll, SYS_getpid,
    SYS_gettid, SYS_rt_sigprocmask, SYS_rt_sigaction, SYS_rt_sigreturn,
    SYS_restart_syscall, SYS_exit, SYS_exit_group,
#ifdef SYS_poll
    SYS_poll,
#endif
#ifdef SYS_sigreturn
    SYS_sigreturn,
#endif
#ifdef STORLOOK_SANITIZE  // the leak check stops the world from a thread
    SYS_clone, SYS_ptrace, SYS_wait4, SYS_prctl, SYS_sched_yield,
    SYS_sigaltstack, SYS_mprotect, SYS_getdents64, SYS_getppid,
#ifdef SYS_getdents
    SYS_getdents,
#endif
#endif
};
// clang-format on

// A seccomp program, a check at a time.
class filter {
 public:
  void load(uint32_t at) { add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at)); }
  void ret(uint32_t action) { add(BPF_STMT(BPF_RET | BPF_K, action)); }
  /// Returns `action` if the loaded word passes `op` against `k` (fails it).
  void on(uint32_t k, uint32_t action, uint16_t op = BPF_JEQ, bool when = 1) {
    add(BPF_JUMP(BPF_JMP | op | BPF_K, k, uint8_t(!when), uint8_t(when)));
    ret(action);
  }
  /// Call `nr` is allowed when its argument `arg` is one of `v`.
  void allow_if_one_of(int nr, int arg, std::initializer_list<uint32_t> v) {
    size_t begin = begin_args(nr, arg);
    for (uint32_t k : v) {
      on(k, kAllow);
    }
    end_args(begin, kRefuse);
  }
  /// Call `nr` is allowed when its argument `arg` has none of `bits`.
  void allow_if_none_of(int nr, int arg, uint32_t bits) {
    size_t begin = begin_args(nr, arg);
    on(bits, kRefuse, BPF_JSET);
    end_args(begin, kAllow);
  }
  bool install(uint32_t otherwise) {
    ret(otherwise);
    sock_fprog prog{static_cast<unsigned short>(prog_.size()), prog_.data()};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog, 0, 0) == 0;
  }

 private:
  void add(sock_filter f) { prog_.push_back(f); }
  // A check of the low 32 bits of call `nr`'s argument, which other calls
  // skip.
  size_t begin_args(int nr, int arg) {
    add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 0, 0));
    load(uint32_t(offsetof(seccomp_data, args) + 8 * size_t(arg) +
                  (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0)));
    return prog_.size() - 2;
  }
  void end_args(size_t begin, uint32_t otherwise) {
    ret(otherwise);
    prog_[begin].jf = uint8_t(prog_.size() - begin - 1);
  }
  std::vector<sock_filter> prog_;
};

bool filter_system_calls(int output_fd) {
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
  f.allow_if_none_of(SYS_openat, 2, kWriting);
#ifdef SYS_open
  f.allow_if_none_of(SYS_open, 1, kWriting);
#endif
  // Writes reach the tool's own streams, not what else the caller left open.
  for (int nr : {SYS_write, SYS_writev}) {
    f.allow_if_one_of(nr, 0, {1, 2, uint32_t(output_fd)});
  }
  for (int nr : kAllowed) {
    f.on(uint32_t(nr), kAllow);
  }
  // Of the terminal requests, the queries whether output goes to a person.
  f.allow_if_one_of(SYS_ioctl, 1, {TCGETS, TIOCGWINSZ});
  // Signals go to the process itself (abort's); fcntl takes no lock.
  for (int nr : {SYS_kill, SYS_tkill, SYS_tgkill}) {
    f.allow_if_one_of(nr, 0, {uint32_t(getpid())});
  }
#ifndef SYS_fcntl64
#define SYS_fcntl64 SYS_fcntl
#endif
  for (int nr : {SYS_fcntl, SYS_fcntl64}) {
    f.allow_if_one_of(nr, 1, {F_GETFD, F_SETFD, F_GETFL, F_SETFL});
  }
  // Memory of its own: no file mapped shared, to be written through. The
  // mmap of s390x takes its arguments in memory, out of the filter's sight:
  // there it fails, and malloc takes memory with brk.
#if defined(SYS_mmap2)
  f.allow_if_none_of(SYS_mmap2, 3, MAP_SHARED);
#elif !defined(__s390x__)
  f.allow_if_none_of(SYS_mmap, 3, MAP_SHARED);
#endif
  return f.install(kUnknown);
}

#endif  // !STORLOOK_NO_FILTER

}  // namespace

#endif

bool confine_process([[maybe_unused]] int output_fd,
                     [[maybe_unused]] long max_abi) {
#if !defined(__linux__) || defined(STORLOOK_NO_CONFINE)
  return false;  // not Linux, or a build to measure what confinement costs
#else
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    return false;
  }
#ifdef STORLOOK_NO_FILTER
  restrict_file_system(max_abi);
  return false;
#else
  // With the filter, the rights of ABI 1 are enough: they make a Landlock
  // domain, from which no process outside can be traced, nor its memory
  // read through /proc. valgrind makes its own calls through the filter.
  const bool filtered = !RUNNING_ON_VALGRIND;
  bool landlocked = restrict_file_system(filtered && max_abi > 1 ? 1 : max_abi);
  return filtered && filter_system_calls(output_fd) && landlocked;
#endif
#endif
}
