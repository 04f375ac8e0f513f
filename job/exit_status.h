// How the program tells whoever started it what became of the job.
#pragma once

enum ExitStatus : int {
  kExitOk = 0,            // every line ran and every file was moved
  kExitFileFailed = 1,    // a file still failed after its last attempt, a
                          // moved file's source could not be deleted, or a
                          // log record could not be written
  kExitNoConnection = 2,  // the connection to the server could not be opened
  kExitClosed = 3,        // the user ended the run with the close button
  kExitRunFailure = 4,    // a follow-up command could not be started (or its
                          // program does not exist), the job was already
                          // running, or another run-time failure stopped
                          // the program
};
