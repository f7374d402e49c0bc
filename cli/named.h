// What reading the files a command line names needs of the file system.
#ifndef STORLOOK_CLI_NAMED_H_
#define STORLOOK_CLI_NAMED_H_

#include <functional>
#include <vector>

/// Calls `grant(fd, list)` once for each place that reading `paths` needs,
/// `fd` open on it until the call returns: the folder of each named regular
/// file, or of one not there yet (a tosser may be writing it), to read files
/// beneath it; what a named link, device, FIFO or directory leads to, with
/// `list` true for a directory, which is opened to be told it is one. Costs
/// one listing of each named folder, not a call per file. Linux only.
void for_each_named_place(const std::vector<const char*>& paths,
                          const std::function<void(int fd, bool list)>& grant);

#endif  // STORLOOK_CLI_NAMED_H_
