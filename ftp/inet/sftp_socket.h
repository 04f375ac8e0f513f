// The TCP connection under an SSH session, opened without freezing the
// window: the name is resolved on a thread of its own and the connection
// made without blocking, with the window's events handled meanwhile.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "ftp/inet/sftp_errors.h"

namespace inet {

// One step of a wait on the socket: lets the window handle its events, then
// waits kYieldStep at most for `events` (poll's POLLIN, POLLOUT).
enum class PollStep { kReady, kWaiting, kDeadline };
PollStep WaitStep(int socket, short events, std::chrono::steady_clock::time_point deadline,
                  const std::function<void()>& yield);

// A connected, non-blocking socket to the first of the host's addresses that
// answers, or -1 with the error set.
int ConnectSocket(const std::string& host, int port, std::chrono::steady_clock::time_point deadline,
                  const std::function<void()>& yield, SftpError& error);

}  // namespace inet
