#include "cli/confine.h"

namespace {

// Landlock's file-system rights, with the ABI version that brought them.
// ABI 1: execute, write, read file, read dir, remove dir and file, make
// char device, dir, regular file, socket, FIFO, block device, symlink.
constexpr uint64_t kFsAbi1 = (1ull << 13) - 1;
constexpr uint64_t kFsRead = 1ull << 2 | 1ull << 3;  // files, directories
constexpr uint64_t kFsRefer = 1ull << 13;            // ABI 2
constexpr uint64_t kFsTruncate = 1ull << 14;         // ABI 3
constexpr uint64_t kFsIoctlDev = 1ull << 15;         // ABI 5
constexpr uint64_t kNetTcp = 3;    // ABI 4: bind, connect
constexpr uint64_t kScopes = 3;    // ABI 6: abstract Unix sockets, signals

}  // namespace

landlock_rights landlock_rights_for(long abi) {
  return {(kFsAbi1 & ~kFsRead) | (abi >= 2 ? kFsRefer : 0) |
              (abi >= 3 ? kFsTruncate : 0) | (abi >= 5 ? kFsIoctlDev : 0),
          abi >= 4 ? kNetTcp : 0, abi >= 6 ? kScopes : 0};
}

#ifdef __linux__
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <initializer_list>
#include <vector>

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

// Sanitizer builds look for leaks at exit from a thread that stops the world
// with ptrace, and take their memory their own way.
#if defined(__SANITIZE_ADDRESS__)
#define STORLOOK_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define STORLOOK_SANITIZED
#endif
#endif

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
bool under_valgrind() {
  return RUNNING_ON_VALGRIND;
}
#else
bool under_valgrind() {
  return false;
}
#endif

bool restrict_file_system(long max_abi, bool filtered) {
  constexpr unsigned kVersion = 1;  // LANDLOCK_CREATE_RULESET_VERSION
  long abi = syscall(444, nullptr, 0, kVersion);  // landlock_create_ruleset
  if (abi < 1 || max_abi < 1) {
    return false;  // no Landlock in this kernel, or it is turned off
  }
  // Any right handled makes a domain, which no process outside can be
  // traced from, nor its memory read through /proc. Without the filter,
  // every right the kernel knows is handled; no rule grants one back.
  landlock_rights attr = filtered ? landlock_rights{kFsAbi1 & ~kFsRead, 0, 0}
                                  : landlock_rights_for(abi < max_abi ? abi : max_abi);
  long fd = syscall(444, &attr, sizeof attr, 0u);
  bool done = fd >= 0 && syscall(446, fd, 0u) == 0;  // landlock_restrict_self
  if (fd >= 0) {
    close(int(fd));
  }
  return done;
}

#ifndef STORLOOK_NO_FILTER

constexpr uint32_t kAllow = SECCOMP_RET_ALLOW;
constexpr uint32_t kRefuse = SECCOMP_RET_ERRNO | EPERM;
constexpr uint32_t kUnknown = SECCOMP_RET_ERRNO | ENOSYS;

// The calls the tool makes, and its C library on its behalf, whatever their
// arguments: read and seek, learn a file's size and kind, close, take and
// give back memory, wait on a FIFO, handle its own signals, and end.
// clang-format off
constexpr int kAllowed[] = {
    SYS_read, SYS_readv, SYS_pread64, SYS_lseek, SYS_close, SYS_brk,
    SYS_munmap, SYS_mremap, SYS_madvise, SYS_ppoll, SYS_getpid, SYS_gettid,
    SYS_rt_sigprocmask, SYS_rt_sigaction, SYS_rt_sigreturn,
    SYS_restart_syscall, SYS_exit, SYS_exit_group,
#ifdef SYS_fstat
    SYS_fstat,
#endif
#ifdef SYS_newfstatat
    SYS_newfstatat,
#endif
#ifdef SYS_fstat64
    SYS_fstat64, SYS_fstatat64,
#endif
#ifdef SYS_statx
    SYS_statx,
#endif
#ifdef SYS__llseek
    SYS__llseek,
#endif
#ifdef SYS_poll
    SYS_poll,
#endif
#ifdef SYS_ppoll_time64
    SYS_ppoll_time64,
#endif
#ifdef SYS_sigreturn
    SYS_sigreturn,
#endif
#ifdef STORLOOK_SANITIZED
    SYS_clone, SYS_ptrace, SYS_wait4, SYS_prctl, SYS_futex, SYS_sched_yield,
    SYS_sigaltstack, SYS_mprotect,
#endif
};
// clang-format on

// Where the low 32 bits of a call's argument lie in struct seccomp_data.
constexpr uint32_t arg_low(int i) {
  return uint32_t(offsetof(seccomp_data, args) + 8 * size_t(i) +
                  (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0));
}

// A seccomp program, one call or check at a time.
class filter {
 public:
  void load(uint32_t offset) {
    add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset));
  }
  void ret(uint32_t action) { add(BPF_STMT(BPF_RET | BPF_K, action)); }
  /// Returns `action` when the loaded word passes `op` against `k`.
  void on(uint32_t k, uint32_t action, uint16_t op = BPF_JEQ) {
    add(BPF_JUMP(BPF_JMP | op | BPF_K, k, 0, 1));
    ret(action);
  }
  /// Returns `action` unless the loaded word is `k`.
  void unless(uint32_t k, uint32_t action) {
    add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, k, 1, 0));
    ret(action);
  }
  /// Call `nr` is allowed when its argument `arg` is one of `values`, and
  /// refused otherwise.
  void allow_if_one_of(int nr, int arg, std::initializer_list<uint32_t> values) {
    size_t begin = begin_args(nr, arg);
    for (uint32_t v : values) {
      on(v, kAllow);
    }
    end_args(begin);
  }
  /// Call `nr` is allowed when its argument `arg` has none of `bits`.
  void allow_if_none_of(int nr, int arg, uint32_t bits) {
    size_t begin = begin_args(nr, arg);
    on(bits, kRefuse, BPF_JSET);
    ret(kAllow);
    end_args(begin);
  }
  bool install() {
    sock_fprog fprog{static_cast<unsigned short>(prog_.size()), prog_.data()};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &fprog, 0, 0) == 0;
  }

 private:
  void add(sock_filter f) { prog_.push_back(f); }
  // A check of call `nr`'s argument, which a call of another number skips.
  size_t begin_args(int nr, int arg) {
    add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 0, 0));
    load(arg_low(arg));
    return prog_.size() - 2;
  }
  void end_args(size_t begin) {
    ret(kRefuse);
    prog_[begin].jf = uint8_t(prog_.size() - begin - 1);
  }
  std::vector<sock_filter> prog_;
};

bool filter_system_calls(int output_fd) {
  filter f;
  // Calls in another architecture's numbering (32-bit calls from a 64-bit
  // process, x32) are refused.
  f.load(offsetof(seccomp_data, arch));
  f.unless(kArch, kRefuse);
  f.load(offsetof(seccomp_data, nr));
#ifdef __x86_64__
  f.on(0x40000000, kRefuse, BPF_JGE);  // the x32 call bit
#endif
  for (int nr : kAllowed) {
    f.on(uint32_t(nr), kAllow);
  }
  // Files are opened for reading: not for writing, created, truncated, or
  // made as unnamed temporary files.
  constexpr uint32_t kWriting = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC |
                                (O_TMPFILE & ~O_DIRECTORY);
  f.allow_if_none_of(SYS_openat, 2, kWriting);
#ifdef SYS_open
  f.allow_if_none_of(SYS_open, 1, kWriting);
#endif
  // Writes go to the tool's own streams, not to what else the caller left
  // open.
  const auto out = uint32_t(output_fd);
  f.allow_if_one_of(SYS_write, 0, {1, 2, out});
  f.allow_if_one_of(SYS_writev, 0, {1, 2, out});
  // Of the terminal requests, only the queries that tell whether output
  // goes to a person: no typing into a shell, no changing a terminal.
  f.allow_if_one_of(SYS_ioctl, 1, {TCGETS, TIOCGWINSZ});
  // Signals go to the process itself (abort's), and fcntl takes no locks
  // and makes no descriptors.
  const auto self = uint32_t(getpid());
  for (int nr : {SYS_kill, SYS_tkill, SYS_tgkill}) {
    f.allow_if_one_of(nr, 0, {self});
  }
  for (int nr : {SYS_fcntl,
#ifdef SYS_fcntl64
                 SYS_fcntl64
#endif
       }) {
    f.allow_if_one_of(nr, 1, {F_GETFD, F_SETFD, F_GETFL, F_SETFL});
  }
  // Memory of its own: no file mapped shared, which could be written
  // through. s390x's mmap takes its arguments in memory, out of the
  // filter's sight: there it fails, and malloc takes memory with brk.
#if defined(SYS_mmap2)
  f.allow_if_none_of(SYS_mmap2, 3, MAP_SHARED);
#elif !defined(__s390x__)
  f.allow_if_none_of(SYS_mmap, 3, MAP_SHARED);
#endif
  f.ret(kUnknown);
  return f.install();
}

#endif  // !STORLOOK_NO_FILTER

}  // namespace

bool confine_process(int output_fd, long max_abi) {
#ifdef STORLOOK_NO_CONFINE
  return false;  // a build to measure what confinement costs
#endif
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    return false;
  }
#ifdef STORLOOK_NO_FILTER
  restrict_file_system(max_abi, false);
  return false;
#else
  // valgrind makes its own calls from the same process, through the filter.
  const bool filtered = !under_valgrind();
  bool landlocked = restrict_file_system(max_abi, filtered);
  return filtered && filter_system_calls(output_fd) && landlocked;
#endif
}

#else

bool confine_process(int, long) {
  return false;
}

#endif
