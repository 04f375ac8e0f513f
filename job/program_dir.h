// Where the running executable lives; the settings file is looked up there.
#pragma once

#include <string>

// The directory of the running executable, symbolic links resolved, without
// a trailing "/". An executable at the root gives "" rather than "/", so that
// ProgramDirectory() + "/" + name is always a well-formed path.
// Throws std::filesystem::filesystem_error when /proc/self/exe cannot be
// read (no /proc): without it the program cannot find its settings at all.
std::string ProgramDirectory();

// Whether `path` names the settings file `iniFile`, the log `logFile` or
// the running executable, the files a job must never overwrite: the same
// file, or where one does not exist yet, the same real path.
bool IsProgramFile(const std::string& path, const std::string& iniFile, const std::string& logFile);
