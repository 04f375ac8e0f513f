// Drives libssh2 in non-blocking mode on the window's thread: a call that
// would block answers "again", and the pump waits on the socket in short
// steps, letting the window handle its events every kYieldStep meanwhile,
// until the call gets through or its deadline passes.
#pragma once

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

#include "base/yielding_wait.h"
#include "ftp/inet/sftp_errors.h"

namespace inet {

class SftpPump {
 public:
  using Clock = std::chrono::steady_clock;

  SftpPump(LIBSSH2_SESSION* session, int socket, std::function<void()> yield)
      : session_(session), socket_(socket), yield_(std::move(yield)) {}

  // Repeats `call` while it answers "again" and the deadline has not passed;
  // returns its last answer. TimedOut tells whether the deadline cut it short.
  template <typename Call>
  auto Run(Call call, Clock::time_point deadline) {
    timed_out_ = false;
    for (;;) {
      auto answer = call();
      if (!Again(answer)) return answer;
      if (!Wait(deadline)) {
        timed_out_ = true;
        return answer;
      }
    }
  }
  // Run, for a call that may compute for long (decrypting a private key
  // takes a tenth of a second and more): each try runs on a thread of its
  // own while the window goes on handling its events. The session is never
  // used by two threads at once.
  template <typename Call>
  auto RunAside(Call call, Clock::time_point deadline) {
    return Run(
        [&] {
          auto answer = std::async(std::launch::async, call);
          while (answer.wait_for(kYieldStep) != std::future_status::ready)
            if (yield_) yield_();
          return answer.get();
        },
        deadline);
  }
  bool TimedOut() const { return timed_out_; }
  // The error for the last call run, which failed with `result` (for a call
  // that hands out a handle, the session's last error number); `what` says
  // what was being done. `sftp`, when given, tells what the server refused.
  SftpError Failure(int result, const std::string& what, LIBSSH2_SFTP* sftp = nullptr) const;
  // The error of `what` when the server did not answer in time.
  static SftpError NoAnswer(const std::string& what);
  LIBSSH2_SESSION* session() const { return session_; }

 private:
  bool Again(long answer) const { return answer == LIBSSH2_ERROR_EAGAIN; }
  // Calls that hand out a handle answer with none and leave the reason.
  template <typename Handle>
  bool Again(Handle* answer) const {
    return answer == nullptr && libssh2_session_last_errno(session_) == LIBSSH2_ERROR_EAGAIN;
  }
  // Waits one step for the socket to be ready the way libssh2 needs it;
  // false once the deadline has passed.
  bool Wait(Clock::time_point deadline);

  LIBSSH2_SESSION* session_;
  int socket_;
  std::function<void()> yield_;
  // A busy transfer waits for its socket hundreds of times a second.
  PacedYield paced_yield_;
  bool timed_out_ = false;
};

}  // namespace inet
