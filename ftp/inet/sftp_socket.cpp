#include "ftp/inet/sftp_socket.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <thread>

#include "base/yielding_wait.h"

namespace inet {

namespace {

using Clock = std::chrono::steady_clock;

// The answer of getaddrinfo, shared with the thread that asks for it: a
// resolver that hangs past the deadline is left to finish on its own.
struct Resolution {
  std::atomic<bool> done{false};
  int status = 0;
  addrinfo* addresses = nullptr;
  ~Resolution() {
    if (addresses) freeaddrinfo(addresses);
  }
};

std::shared_ptr<Resolution> StartResolving(const std::string& host, int port) {
  auto resolution = std::make_shared<Resolution>();
  std::thread([resolution, host, service = std::to_string(port)] {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    resolution->status = getaddrinfo(host.c_str(), service.c_str(), &hints, &resolution->addresses);
    resolution->done = true;
  }).detach();
  return resolution;
}

SftpError Timeout(const std::string& where) {
  return {kSftpTimeout, "No connection with " + where + " within the time allowed."};
}

// Waits for a non-blocking connect to end; 0 when it is made, else the errno
// (ETIMEDOUT at the deadline).
int AwaitConnected(int socket, Clock::time_point deadline, const std::function<void()>& yield) {
  for (PollStep step = PollStep::kWaiting; step != PollStep::kReady;) {
    step = WaitStep(socket, POLLOUT, deadline, yield);
    if (step == PollStep::kDeadline) return ETIMEDOUT;
  }
  int status = 0;
  socklen_t length = sizeof status;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &status, &length) != 0) return errno;
  return status;
}

}  // namespace

PollStep WaitStep(int socket, short events, Clock::time_point deadline,
                  const std::function<void()>& yield) {
  if (yield) yield();
  const Clock::time_point now = Clock::now();
  if (now >= deadline) return PollStep::kDeadline;
  pollfd watch{socket, events, 0};
  const auto step = std::chrono::ceil<std::chrono::milliseconds>(
      std::min<Clock::duration>(kYieldStep, deadline - now));
  return poll(&watch, 1, static_cast<int>(step.count())) > 0 ? PollStep::kReady
                                                             : PollStep::kWaiting;
}

int ConnectSocket(const std::string& host, int port, Clock::time_point deadline,
                  const std::function<void()>& yield, SftpError& error) {
  const std::string where = host + " port " + std::to_string(port);
  const std::shared_ptr<Resolution> resolution = StartResolving(host, port);
  while (!resolution->done) {
    if (Clock::now() >= deadline) {
      error = Timeout(where);
      return -1;
    }
    WaitYielding(kYieldStep, yield);
  }
  if (resolution->status != 0) {
    error = {kSftpCannotConnect, "The server name " + host +
                                     " could not be resolved: " + gai_strerror(resolution->status)};
    return -1;
  }
  int failure = 0;
  for (const addrinfo* at = resolution->addresses; at; at = at->ai_next) {
    const int socket =
        ::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
    if (socket < 0) continue;
    failure = connect(socket, at->ai_addr, at->ai_addrlen) == 0 ? 0 : errno;
    if (failure == EINPROGRESS) failure = AwaitConnected(socket, deadline, yield);
    if (failure == 0) return socket;
    close(socket);
    if (failure == ETIMEDOUT) break;
  }
  error = failure == ETIMEDOUT ? Timeout(where)
                               : SftpError{kSftpCannotConnect, "No connection with " + where +
                                                                   ": " + std::strerror(failure)};
  return -1;
}

}  // namespace inet
