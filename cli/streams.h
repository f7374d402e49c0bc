// Routing of the dump's output streams by the command-line options.
#ifndef STORLOOK_CLI_STREAMS_H_
#define STORLOOK_CLI_STREAMS_H_

#include "dump/output.h"

/// Opens the null device into `null_out` and routes both streams to it.
/// Returns false, with the reason in `why`, when the device cannot be
/// opened or is not one.
bool open_null_out(const char** why);

/// Applies an option argument (one that starts with '-') to the routing.
/// Returns false when the option is not known.
bool apply_option(const char* arg);

#endif  // STORLOOK_CLI_STREAMS_H_
