// Starting the job's follow-up commands, which outlive the program.
#pragma once

#include <string>

// Starts `shell -c commandLine` in a session of its own, with standard input
// from /dev/null and this program's standard output and error, and returns
// at once without waiting for it. False, with a one-line errorText such as
// "/nonexistent/sh: No such file or directory", when it could not be started.
bool StartFollowUpCommand(const std::string& commandLine, std::string& errorText,
                          const std::string& shell = "/bin/sh");
