// Confinement of the running process before it reads untrusted input.
#ifndef STORLOOK_CLI_CONFINE_H_
#define STORLOOK_CLI_CONFINE_H_

#include <cstdint>

/// Takes from the process, for good, every right but what the tool does:
/// open files to read them, read, stat, seek, write to standard output,
/// standard error and `output_fd`, close, take and give back memory, ask
/// whether output goes to a terminal, signal itself, exit. A seccomp filter
/// allows these calls and fails every other; Landlock keeps other processes'
/// memory out of reach. Best effort: returns false where either is missing,
/// keeping what there is. Landlock is used up to ABI `max_abi` (0: not at
/// all), so that a test can act as an older kernel.
bool confine_process(int output_fd, long max_abi = 1L << 30);

/// The Landlock rights of ABI `abi` but reading, as struct
/// landlock_ruleset_attr of ABI 6; all handled where no filter is built.
struct landlock_rights {
  uint64_t fs, net, scoped;
};
landlock_rights landlock_rights_for(long abi);

#endif  // STORLOOK_CLI_CONFINE_H_
