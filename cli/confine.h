// Confinement of the running process before it reads untrusted input.
#ifndef STORLOOK_CLI_CONFINE_H_
#define STORLOOK_CLI_CONFINE_H_

#include <cstdint>

/// Takes from the process, for good, every right but what the tool does:
/// open files for reading, read them, learn their size and kind, seek, write
/// to standard output, standard error and `output_fd`, close, take and give
/// back memory, ask whether output goes to a terminal, signal itself and
/// exit. A seccomp filter allows these calls and fails every other one;
/// Landlock keeps other processes' memory out of reach. Best effort: returns
/// false where either is missing, keeping what there is. Landlock is used
/// only up to ABI `max_abi`, which lets a test act as an older kernel, or
/// with 0 as one without Landlock.
bool confine_process(int output_fd, long max_abi = 1L << 30);

/// The Landlock rights that a kernel of ABI `abi` knows, but reading files
/// and directories, laid out as its struct landlock_ruleset_attr of ABI 6.
/// They are all handled where no system call filter is built.
struct landlock_rights {
  uint64_t fs, net, scoped;
};
landlock_rights landlock_rights_for(long abi);

#endif  // STORLOOK_CLI_CONFINE_H_
