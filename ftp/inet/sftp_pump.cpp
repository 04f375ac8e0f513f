#include "ftp/inet/sftp_pump.h"

#include <poll.h>

#include "ftp/inet/sftp_socket.h"

namespace inet {

namespace {

bool ConnectionGone(int result) {
  switch (result) {
    case LIBSSH2_ERROR_SOCKET_NONE:
    case LIBSSH2_ERROR_SOCKET_SEND:
    case LIBSSH2_ERROR_SOCKET_RECV:
    case LIBSSH2_ERROR_SOCKET_DISCONNECT:
    case LIBSSH2_ERROR_SOCKET_TIMEOUT:
    case LIBSSH2_ERROR_BAD_SOCKET:
    case LIBSSH2_ERROR_CHANNEL_CLOSED:
    case LIBSSH2_ERROR_CHANNEL_EOF_SENT:
      return true;
    default:
      return false;
  }
}

// The code for an SFTP status the server answered with.
SftpErrorCode FromStatus(unsigned long status) {
  switch (status) {
    case LIBSSH2_FX_NO_SUCH_FILE:
    case LIBSSH2_FX_NO_SUCH_PATH:
      return kSftpNoSuchFile;
    case LIBSSH2_FX_PERMISSION_DENIED:
    case LIBSSH2_FX_WRITE_PROTECT:
      return kSftpPermissionDenied;
    case LIBSSH2_FX_NO_CONNECTION:
    case LIBSSH2_FX_CONNECTION_LOST:
      return kSftpConnectionLost;
    default:
      return kSftpRefused;
  }
}

}  // namespace

SftpError SftpPump::NoAnswer(const std::string& what) {
  return {kSftpTimeout, what + ": no answer from the server in time."};
}

SftpError SftpPump::Failure(int result, const std::string& what, LIBSSH2_SFTP* sftp) const {
  // libssh2 gives up on an SFTP answer by itself after 60 s, which may come
  // before the pump's own deadline of the same length.
  if (timed_out_ || result == LIBSSH2_ERROR_TIMEOUT) return NoAnswer(what);
  if (result == LIBSSH2_ERROR_SFTP_PROTOCOL && sftp) {
    const unsigned long status = libssh2_sftp_last_error(sftp);
    return {FromStatus(status),
            what + ": the server answered SFTP status " + std::to_string(status) + "."};
  }
  char* message = nullptr;
  libssh2_session_last_error(session_, &message, nullptr, 0);
  const std::string detail = message && *message ? message : "error " + std::to_string(result);
  return {ConnectionGone(result) ? kSftpConnectionLost : kSftpRefused, what + ": " + detail + "."};
}

bool SftpPump::Wait(Clock::time_point deadline) {
  const int directions = libssh2_session_block_directions(session_);
  short events = 0;
  if (directions & LIBSSH2_SESSION_BLOCK_INBOUND) events |= POLLIN;
  if (directions & LIBSSH2_SESSION_BLOCK_OUTBOUND) events |= POLLOUT;
  return WaitStep(socket_, events, deadline, [this] { paced_yield_(yield_); }) !=
         PollStep::kDeadline;
}

}  // namespace inet
