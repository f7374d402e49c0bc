// Landlock: the rights over files, the network and other processes that
// the tool gives up, and the reading it keeps of what the command line
// named.
#ifndef STORLOOK_CLI_LANDLOCK_H_
#define STORLOOK_CLI_LANDLOCK_H_

#include <cstdint>
#include <functional>
#include <vector>

// A sanitizer's leak check stops the world from a thread, by ptrace, and
// reads the process's maps, however the build asked for it.
#if defined(__SANITIZE_ADDRESS__) || defined(STORLOOK_SANITIZE)
#define STORLOOK_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define STORLOOK_SANITIZED
#endif
#endif

/// The Landlock rights that ABI `abi` handles, as struct
/// landlock_ruleset_attr of ABI 6.
struct landlock_rights {
  uint64_t fs, net, scoped;
};
landlock_rights landlock_rights_for(long abi);

/// A file by its device and inode numbers.
struct file_id {
  uint64_t dev, ino;
  bool operator==(const file_id& o) const { return dev == o.dev && ino == o.ino; }
};

/// Handles every right of ABI `max_abi` that the kernel knows, but reading
/// what `named` needs, and tells in `pipes` the pipes and FIFOs that were
/// named. Returns false, changing nothing, where the kernel or the build has
/// no Landlock, or `max_abi` is 0.
bool restrict_file_system(long max_abi, const std::vector<const char*>& named,
                          std::vector<file_id>* pipes);

/// Calls `grant(fd, list)` once for each place that reading `paths` needs,
/// `fd` open on it until the call returns: the folder of each named regular
/// file, or of one not there yet (a tosser may be writing it), to read files
/// beneath it; what a named link, device, FIFO or directory leads to, with
/// `list` true for a directory, which is opened to be told it is one. Costs
/// one listing of each named folder, not a call per file. Linux only.
void for_each_named_place(const std::vector<const char*>& paths,
                          const std::function<void(int fd, bool list)>& grant);

#endif  // STORLOOK_CLI_LANDLOCK_H_
