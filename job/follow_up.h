// Starting the job's follow-up commands, which outlive the program.
#pragma once

#include <string>

// Starts `shell -c commandLine` in a session of its own, with standard input
// from /dev/null and this program's standard output and error, and returns
// at once without waiting for it. False, with a one-line errorText such as
// "/nonexistent/sh: No such file or directory", when it could not be started,
// and with one such as "/nonexistent/prog: not found" when the program the
// command starts does not exist (see CommandProgramFound).
bool StartFollowUpCommand(const std::string& commandLine, std::string& errorText,
                          const std::string& shell = "/bin/sh");

// Whether the program that `commandLine` starts exists and may be executed,
// found as the shell finds it: a first word with a "/" as a path, any other
// on PATH. A shell builtin or keyword, or a first word with quoting,
// expansions or other syntax whose outcome only the shell knows, passes.
bool CommandProgramFound(const std::string& commandLine, std::string& errorText);
