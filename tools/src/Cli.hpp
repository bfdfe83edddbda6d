#pragma once
// The command line of the arvelle program.

#include <ostream>

namespace arvelle::tools {

// Exit codes: 0 done, 1 a command failed, 2 the command line was not understood.
enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// Parses the command line and runs the command. Help and results go to `out`, errors (one line each)
// to `err`. `outIsTerminal` lets colour follow the output by default.
int runCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool outIsTerminal);

}  // namespace arvelle::tools
