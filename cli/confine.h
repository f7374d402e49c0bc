// Confinement of the running process before it reads untrusted input.
#ifndef STORLOOK_CLI_CONFINE_H_
#define STORLOOK_CLI_CONFINE_H_

/// Takes from the process, for good, every right but reading files and
/// writing to the descriptors it holds: no file is written, created,
/// removed, truncated or changed in mode, owner, times or attributes, no
/// program runs, no socket is opened, no terminal is typed into, and no
/// process outside is signalled or inspected. Landlock covers the file
/// system, TCP and scopes as far as the kernel's ABI reaches, and a seccomp
/// filter the rest. Best effort: returns false where either is missing,
/// keeping what there is. Only the rights of Landlock ABI versions up to
/// `max_abi` are handled, which lets a test act as an older kernel.
bool confine_process(long max_abi = 1L << 30);

#ifdef __linux__
#include <cstdint>

/// The Landlock rights handled at ABI `abi`, laid out as the kernel's
/// struct landlock_ruleset_attr of ABI 6: all the ABI knows but reading files
/// and directories, and truncation, which the system call filter refuses at
/// less cost.
struct landlock_rights {
  uint64_t fs, net, scoped;
};
landlock_rights landlock_rights_for(long abi);
#endif

#endif  // STORLOOK_CLI_CONFINE_H_
