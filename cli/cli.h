#pragma once
// glyphwright-cli: the core without windows, for scripts and batch work.

#include <iosfwd>

namespace gw {

// Runs the tool on its arguments; returns the exit status (0 success, 1 the work failed,
// 2 a usage error). Output goes to out, errors to err as "glyphwright-cli: <message>".
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace gw
