// Confinement of the running process before it reads untrusted input.
#ifndef STORLOOK_CLI_CONFINE_H_
#define STORLOOK_CLI_CONFINE_H_

#include <cstdint>
#include <vector>

/// Takes from the process, for good, every right but what the tool does:
/// open what the command line `named` to read it, read, stat and seek its
/// own files, write to standard output, standard error and `output_fd`,
/// close, take and give back memory, ask whether output goes to a terminal,
/// signal itself, exit. Landlock refuses every right the kernel knows but
/// reading what was named; a seccomp filter allows the calls above and fails
/// every other. Best effort: returns false where either is missing, keeping
/// what there is. Landlock is used up to ABI `max_abi` (0: not at all), so
/// that a test can act as an older kernel.
bool confine_process(int output_fd, const std::vector<const char*>& named,
                     long max_abi = 1L << 30);

#endif  // STORLOOK_CLI_CONFINE_H_
