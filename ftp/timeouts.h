// How long the FTP client waits before it gives up, in seconds. Plain
// numbers, free of the network library, so that callers of the client can
// set them; the internet layer below applies them as they are.
#pragma once

struct FtpTimeouts {
  long connect = 30;   // to reach the server and log in
  long stall = 60;     // a transfer that moves no byte
  long reply = 60;     // a command that gets no reply
  long listing = 600;  // a whole listing, however fast it trickles in
};
