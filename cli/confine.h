// Confinement of the running process before it reads untrusted input.
#ifndef STORLOOK_CLI_CONFINE_H_
#define STORLOOK_CLI_CONFINE_H_

/// Takes from the process, for good, every file-system right but reading,
/// the running of programs, TCP and, where the kernel knows them, abstract
/// Unix sockets and signals beyond itself. Descriptors already open keep
/// working. Best effort: returns false, changing nothing, where the system
/// offers no such confinement.
bool confine_process();

#endif  // STORLOOK_CLI_CONFINE_H_
