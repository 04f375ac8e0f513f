// One run of a job at a time: two starts of the same job (the same
// settings file and section), as a scheduler may make when a run lasts
// longer than its interval, would move every file twice.
#pragma once

#include <string>

enum class JobLock { kTaken, kBusy, kFailed };

// Takes the job's lock for the rest of the run; the end of the process,
// however it comes, lets it go. The section counts as the settings reader
// matches it. kBusy when another run of the job holds it; kFailed, with
// errorText, when the lock's directory or file cannot be used.
JobLock TakeJobLock(const std::string& iniFile, const std::string& section, std::string& errorText);

// Removes the lock file of a run that ends, so that no lock outlives its
// job; nothing when this process holds no lock.
void ReleaseJobLock();
