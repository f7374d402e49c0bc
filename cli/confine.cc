#include "cli/confine.h"

#ifdef __linux__
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Landlock's system calls and rights, from the kernel's stable interface;
// the C library's headers may predate the later ones.
#ifndef __NR_landlock_create_ruleset
#define __NR_landlock_create_ruleset 444
#define __NR_landlock_restrict_self 446
#endif
constexpr unsigned kCreateRulesetVersion = 1u << 0;

// File-system rights, with the ABI version that brought them.
// ABI 1: execute, write, read file, read dir, remove dir and file, make
// char device, dir, regular file, socket, FIFO, block device, symlink.
constexpr uint64_t kFsAbi1 = (1ull << 13) - 1;
constexpr uint64_t kFsReadFile = 1ull << 2;
constexpr uint64_t kFsReadDir = 1ull << 3;
constexpr uint64_t kFsRefer = 1ull << 13;     // ABI 2: link, rename across dirs
constexpr uint64_t kFsIoctlDev = 1ull << 15;  // ABI 5
// ABI 3 brought truncation, which is left to the system call filter: when
// handled, the kernel walks the path of every file opened up to the root.
// ABI 4: TCP bind and connect.
constexpr uint64_t kNetBindTcp = 1ull << 0;
constexpr uint64_t kNetConnectTcp = 1ull << 1;
// ABI 6: abstract Unix sockets and signals outside the domain.
constexpr uint64_t kScopeAbstractUnix = 1ull << 0;
constexpr uint64_t kScopeSignal = 1ull << 1;

}  // namespace

landlock_rights landlock_rights_for(long abi) {
  landlock_rights r{kFsAbi1, 0, 0};
  if (abi >= 2) {
    r.fs |= kFsRefer;
  }
  if (abi >= 4) {
    r.net = kNetBindTcp | kNetConnectTcp;
  }
  if (abi >= 5) {
    r.fs |= kFsIoctlDev;
  }
  if (abi >= 6) {
    r.scoped = kScopeAbstractUnix | kScopeSignal;
  }
  // Every handled right is denied, as no rule grants one back; reading is
  // left unhandled, so any file the user can read can still be read.
  r.fs &= ~(kFsReadFile | kFsReadDir);
  return r;
}

namespace {

bool restrict_file_system(long max_abi) {
  long abi =
      syscall(__NR_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
  if (abi < 1) {
    return false;  // no Landlock in this kernel, or it is turned off
  }
  // An older kernel takes the ABI 6 structure whole, as long as the fields
  // it does not know are 0.
  landlock_rights attr = landlock_rights_for(abi < max_abi ? abi : max_abi);
  long fd = syscall(__NR_landlock_create_ruleset, &attr, sizeof attr, 0u);
  if (fd < 0) {
    return false;
  }
  bool done = syscall(__NR_landlock_restrict_self, fd, 0u) == 0;
  close(int(fd));
  return done;
}

// The architecture whose system call numbers the filter is written in.
#if defined(__x86_64__) && !defined(__ILP32__)
constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
// Calls numbered from here on are the x32 ABI's (the kernel's
// __X32_SYSCALL_BIT, which not every C library's headers bring).
constexpr uint32_t kX32CallBit = 0x40000000;
#elif defined(__i386__)
constexpr uint32_t kArch = AUDIT_ARCH_I386;
#elif defined(__aarch64__) && !defined(__AARCH64EB__)
constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#elif defined(__arm__) && !defined(__ARMEB__)
constexpr uint32_t kArch = AUDIT_ARCH_ARM;
#elif defined(__s390x__)
constexpr uint32_t kArch = AUDIT_ARCH_S390X;
#else
#define STORLOOK_NO_FILTER
#endif

#ifndef STORLOOK_NO_FILTER

// Calls newer than Debian 12's headers. Numbers from 424 on are the same on
// every architecture above.
#ifndef __NR_fchmodat2
#define __NR_fchmodat2 452
#endif
#ifndef __NR_setxattrat
#define __NR_setxattrat 463
#endif
#ifndef __NR_removexattrat
#define __NR_removexattrat 466
#endif
#ifndef __NR_file_setattr
#define __NR_file_setattr 469
#endif

// Sanitizer builds stop the world with ptrace to look for leaks at exit.
#if defined(__SANITIZE_ADDRESS__)
#define STORLOOK_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define STORLOOK_SANITIZED
#endif
#endif

constexpr uint32_t kAllow = SECCOMP_RET_ALLOW;
constexpr uint32_t kRefuse = SECCOMP_RET_ERRNO | EPERM;
constexpr uint32_t kUnknown = SECCOMP_RET_ERRNO | ENOSYS;

// The calls the tool makes for every file come first.
constexpr int kFastPath[] = {
    SYS_read,       SYS_write, SYS_pread64, SYS_close,      SYS_lseek,
    SYS_munmap,     SYS_brk,   SYS_exit,    SYS_exit_group,
#ifdef SYS_fstat
    SYS_fstat,
#endif
#ifdef SYS_newfstatat
    SYS_newfstatat,
#endif
#ifdef SYS_fstat64
    SYS_fstat64,
#endif
#ifdef SYS_fstatat64
    SYS_fstatat64,
#endif
#ifdef SYS_statx
    SYS_statx,
#endif
#ifdef SYS__llseek
    SYS__llseek,
#endif
#ifdef SYS_mmap
    SYS_mmap,
#endif
#ifdef SYS_mmap2
    SYS_mmap2,
#endif
};

// What the tool never does, and code that took it over must not: change a
// file through a descriptor it holds or by name (size, mode, owner, times,
// attributes), open a socket, run a program, or reach into a process.
// clang-format off
constexpr int kRefused[] = {
    SYS_truncate, SYS_ftruncate, SYS_fallocate,
    SYS_fchmod, SYS_fchmodat, __NR_fchmodat2, SYS_fchown, SYS_fchownat,
    SYS_utimensat,
    SYS_setxattr, SYS_lsetxattr, SYS_fsetxattr, __NR_setxattrat,
    SYS_removexattr, SYS_lremovexattr, SYS_fremovexattr, __NR_removexattrat,
    __NR_file_setattr,
    SYS_socket, SYS_socketpair,
    SYS_execve, SYS_execveat,
    SYS_process_vm_readv, SYS_process_vm_writev,
#ifndef STORLOOK_SANITIZED
    SYS_ptrace,
#endif
#ifdef SYS_truncate64
    SYS_truncate64, SYS_ftruncate64,
#endif
#ifdef SYS_creat
    SYS_creat,
#endif
#ifdef SYS_chmod
    SYS_chmod,
#endif
#ifdef SYS_chown
    SYS_chown, SYS_lchown,
#endif
#ifdef SYS_chown32
    SYS_chown32, SYS_lchown32, SYS_fchown32,
#endif
#ifdef SYS_utime
    SYS_utime,
#endif
#ifdef SYS_utimes
    SYS_utimes,
#endif
#ifdef SYS_futimesat
    SYS_futimesat,
#endif
#ifdef SYS_utimensat_time64
    SYS_utimensat_time64,
#endif
#ifdef SYS_socketcall
    SYS_socketcall,
#endif
    // What a process run as root could still do to the whole system: load
    // modules or a kernel, mount, enter namespaces, set clocks and names,
    // reach keys, kernel programs and other processes' files by handle.
    SYS_init_module, SYS_finit_module, SYS_delete_module, SYS_kexec_load,
    SYS_reboot, SYS_swapon, SYS_swapoff, SYS_acct, SYS_quotactl,
    SYS_mount, SYS_umount2, SYS_pivot_root, SYS_chroot, SYS_open_tree,
    SYS_move_mount, SYS_fsopen, SYS_fsconfig, SYS_fsmount, SYS_fspick,
    SYS_mount_setattr, SYS_setns, SYS_unshare, SYS_settimeofday,
    SYS_clock_settime, SYS_adjtimex, SYS_clock_adjtime, SYS_sethostname,
    SYS_setdomainname, SYS_keyctl, SYS_add_key, SYS_request_key, SYS_bpf,
    SYS_perf_event_open, SYS_userfaultfd, SYS_name_to_handle_at,
    SYS_open_by_handle_at,
#ifdef SYS_kexec_file_load
    SYS_kexec_file_load,
#endif
#ifdef SYS_clock_settime64
    SYS_clock_settime64, SYS_clock_adjtime64,
#endif
#ifdef SYS_iopl
    SYS_iopl, SYS_ioperm,
#endif
};
// clang-format on

// Calls whose arguments live in memory, out of the filter's sight; the C
// library falls back from them.
#ifndef SYS_openat2
#define SYS_openat2 437
#endif
#ifndef SYS_io_uring_setup
#define SYS_io_uring_setup 425
#endif
constexpr int kHidden[] = {SYS_openat2, SYS_io_uring_setup};

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
  /// Returns `action` when the loaded word is `k`.
  void on(uint32_t k, uint32_t action) { test(BPF_JEQ, k, true, action); }
  /// Returns `action` unless the loaded word is `k`.
  void unless(uint32_t k, uint32_t action) { test(BPF_JEQ, k, false, action); }
  /// Returns `action` when the loaded word is `k` or more.
  void at_least(uint32_t k, uint32_t action) { test(BPF_JGE, k, true, action); }
  /// Returns `action` when the loaded word has any of the bits of `k`.
  void on_bits(uint32_t k, uint32_t action) { test(BPF_JSET, k, true, action); }
  /// Opens a check of the arguments of call `nr`, which must end in a ret
  /// before end_args(), given what begin_args() returned.
  size_t begin_args(int nr) {
    add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(nr), 0, 0));
    return prog_.size() - 1;
  }
  void end_args(size_t begin) {
    prog_[begin].jf = uint8_t(prog_.size() - begin - 1);
  }
  bool install() {
    sock_fprog fprog{static_cast<unsigned short>(prog_.size()), prog_.data()};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &fprog, 0, 0) == 0;
  }

 private:
  void add(sock_filter f) { prog_.push_back(f); }
  /// Returns `action` when the loaded word passes `op` against `k` (or,
  /// with `when` false, when it does not); goes on otherwise.
  void test(uint16_t op, uint32_t k, bool when, uint32_t action) {
    add(BPF_JUMP(BPF_JMP | op | BPF_K, k, uint8_t(when ? 0 : 1),
                 uint8_t(when ? 1 : 0)));
    ret(action);
  }
  std::vector<sock_filter> prog_;
};

// An open call: refused when its flags, argument `flags_arg`, ask to
// truncate.
void refuse_truncating_open(filter* f, int nr, int flags_arg) {
  size_t check = f->begin_args(nr);
  f->load(arg_low(flags_arg));
  f->on_bits(O_TRUNC, kRefuse);
  f->ret(kAllow);
  f->end_args(check);
}

bool filter_system_calls() {
  filter f;
  f.load(offsetof(seccomp_data, arch));
  f.unless(kArch, kRefuse);
  f.load(offsetof(seccomp_data, nr));
#ifdef __x86_64__
  f.at_least(kX32CallBit, kRefuse);
#endif
  for (int nr : kFastPath) {
    f.on(uint32_t(nr), kAllow);
  }
  refuse_truncating_open(&f, SYS_openat, 2);
#ifdef SYS_open
  refuse_truncating_open(&f, SYS_open, 1);
#endif
  // Of the terminal requests, only the queries that tell whether output
  // goes to a person: no typing into a shell, no changing a terminal.
  size_t check = f.begin_args(SYS_ioctl);
  f.load(arg_low(1));
  f.on(TCGETS, kAllow);
  f.on(TIOCGWINSZ, kAllow);
  f.ret(kRefuse);
  f.end_args(check);
  for (int nr : kRefused) {
    f.on(uint32_t(nr), kRefuse);
  }
  for (int nr : kHidden) {
    f.on(uint32_t(nr), kUnknown);
  }
  f.ret(kAllow);
  return f.install();
}

#endif  // !STORLOOK_NO_FILTER

}  // namespace

bool confine_process(long max_abi) {
#ifdef STORLOOK_NO_CONFINE
  constexpr bool kConfine = false;  // a build to measure what it costs
#else
  constexpr bool kConfine = true;
#endif
  if (!kConfine || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
    return false;
  }
  bool confined = restrict_file_system(max_abi);
#ifndef STORLOOK_NO_FILTER
  confined = filter_system_calls() && confined;
#endif
  return confined;
}

#else

bool confine_process(long) {
  return false;
}

#endif
