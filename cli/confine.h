// Confinement of the running process before it reads untrusted input.
#ifndef STORLOOK_CLI_CONFINE_H_
#define STORLOOK_CLI_CONFINE_H_

/// Takes from the process, for good, every file-system right but reading,
/// the running of programs, TCP and, where the kernel knows them, abstract
/// Unix sockets and signals beyond itself. Descriptors already open keep
/// working. Best effort: returns false, changing nothing, where the system
/// offers no such confinement. Only the rights of Landlock ABI versions up
/// to `max_abi` are handled, which lets a test act as an older kernel.
bool confine_process(long max_abi = 1L << 30);

#endif  // STORLOOK_CLI_CONFINE_H_
