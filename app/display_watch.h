// Qt waits for the display's answers without a limit: a display that stops
// answering (an X server that is stopped, or cut off without its connection
// being closed) would hold the window's thread, and with it the job, its
// lock and so every later run, for as long as that lasts. The window's turns
// at its events are timed, and a thread of their own ends the run when one
// lasts longer than any answer can take.
#pragma once

// The window's thread takes its turn at the events from now on, or no longer.
void DisplayTurnBegins();
void DisplayTurnEnds();

// Starts the thread that calls `end`, which must end the process, once a
// turn has lasted too long.
void WatchDisplayTurns(void (*end)());
