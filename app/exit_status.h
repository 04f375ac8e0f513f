// How the program tells whoever started it what became of the job.
#pragma once

enum ExitStatus : int {
  kExitOk = 0,            // every line ran and every file was moved
  kExitFileFailed = 1,    // a file still failed after its last attempt
  kExitNoConnection = 2,  // the connection to the server could not be opened
  kExitClosed = 3,        // the user ended the run with the close button
  kExitRunFailure = 4,    // a follow-up command could not be started, or
                          // another run-time failure stopped the program
};
