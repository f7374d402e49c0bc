#include "cli/confine.h"

#if defined(__linux__) && !defined(STORLOOK_NO_CONFINE)
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

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
constexpr uint64_t kFsTruncate = 1ull << 14;  // ABI 3
constexpr uint64_t kFsIoctlDev = 1ull << 15;  // ABI 5
// ABI 4: TCP bind and connect.
constexpr uint64_t kNetBindTcp = 1ull << 0;
constexpr uint64_t kNetConnectTcp = 1ull << 1;
// ABI 6: abstract Unix sockets and signals outside the domain.
constexpr uint64_t kScopeAbstractUnix = 1ull << 0;
constexpr uint64_t kScopeSignal = 1ull << 1;

// struct landlock_ruleset_attr as of ABI 6. An older kernel takes it whole
// as long as the fields it does not know are 0.
struct ruleset_attr {
  uint64_t handled_access_fs;
  uint64_t handled_access_net;
  uint64_t scoped;
};

}  // namespace

bool confine_process(long max_abi) {
  long abi =
      syscall(__NR_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
  if (abi < 1) {
    return false;  // no Landlock in this kernel, or it is turned off
  }
  abi = abi < max_abi ? abi : max_abi;
  ruleset_attr attr{kFsAbi1, 0, 0};
  if (abi >= 2) {
    attr.handled_access_fs |= kFsRefer;
  }
  if (abi >= 3) {
    attr.handled_access_fs |= kFsTruncate;
  }
  if (abi >= 4) {
    attr.handled_access_net = kNetBindTcp | kNetConnectTcp;
  }
  if (abi >= 5) {
    attr.handled_access_fs |= kFsIoctlDev;
  }
  if (abi >= 6) {
    attr.scoped = kScopeAbstractUnix | kScopeSignal;
  }
  // Every handled right is denied, as no rule grants one back; reading is
  // left unhandled, so any file the user can read can still be read.
  attr.handled_access_fs &= ~(kFsReadFile | kFsReadDir);

  long fd = syscall(__NR_landlock_create_ruleset, &attr, sizeof attr, 0u);
  if (fd < 0) {
    return false;
  }
  bool confined = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                  syscall(__NR_landlock_restrict_self, fd, 0u) == 0;
  close(int(fd));
  return confined;
}

#else

bool confine_process(long) {
  return false;
}

#endif
