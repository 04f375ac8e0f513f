#include "ftp/inet/sftp_login.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/posix_io.h"

namespace inet {

namespace {

// Whether the server's comma-separated list of methods names `method`.
bool Offers(std::string_view methods, std::string_view method) {
  for (size_t from = 0; from <= methods.size();) {
    const size_t comma = std::min(methods.find(',', from), methods.size());
    if (methods.substr(from, comma - from) == method) return true;
    from = comma + 1;
  }
  return false;
}

// Answers every keyboard-interactive prompt with the password, which LogIn
// leaves in the session's abstract pointer for the time of the call.
void AnswerWithPassword(const char*, int, const char*, int, int prompts,
                        const LIBSSH2_USERAUTH_KBDINT_PROMPT*,
                        LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void** abstract) {
  const auto* password = static_cast<const std::string*>(*abstract);
  for (int at = 0; at < prompts; ++at) {
    // libssh2 frees each answer with free().
    responses[at].text = static_cast<char*>(std::malloc(password->size() + 1));
    if (!responses[at].text) continue;
    std::memcpy(responses[at].text, password->c_str(), password->size() + 1);
    responses[at].length = static_cast<unsigned>(password->size());
  }
}

class Login {
 public:
  Login(SftpPump& pump, const SftpCredentials& credentials, SftpPump::Clock::time_point deadline)
      : pump_(pump), session_(pump.session()), user_(credentials), deadline_(deadline) {}

  bool Run(SftpError& error) {
    const char* offered = pump_.Run(
        [&] {
          return libssh2_userauth_list(session_, user_.user.c_str(),
                                       static_cast<unsigned>(user_.user.size()));
        },
        deadline_);
    if (!offered) {
      if (libssh2_userauth_authenticated(session_)) return true;  // "none" let us in
      error = pump_.Failure(libssh2_session_last_errno(session_), What());
      return false;
    }
    const std::string methods = offered;  // the session's buffer is reused
    if (!user_.keyFile.empty() && Offers(methods, "publickey") && KeyIsFile() &&
        Try(&Login::WithKey))
      return true;
    if (!user_.password.empty() && Offers(methods, "password") && Try(&Login::WithPassword))
      return true;
    if (!user_.password.empty() && Offers(methods, "keyboard-interactive") &&
        Try(&Login::WithPrompts))
      return true;
    error = failure_.code == kSftpOk
                ? SftpError{kSftpLoginRefused,
                            What() + ": the server offers " + methods + ", none given."}
                : failure_;
    return false;
  }

 private:
  std::string What() const { return "Login of " + user_.user; }

  // libssh2 opens the key file plainly, which a FIFO in its place would hold
  // for ever: such a key is refused like one that cannot be read.
  bool KeyIsFile() {
    if (IsRegularFile(user_.keyFile)) return true;
    failure_ = {kSftpLoginRefused,
                What() + ": the key file " + user_.keyFile + " is not a regular file."};
    return false;
  }

  // Runs one way in; a refusal is remembered and the next way is tried, a
  // lost connection or a timeout ends the login. The key is decrypted aside.
  bool Try(int (Login::*attempt)()) {
    if (ended_) return false;
    const auto call = [&] { return (this->*attempt)(); };
    const int result =
        attempt == &Login::WithKey ? pump_.RunAside(call, deadline_) : pump_.Run(call, deadline_);
    if (result == 0) return true;
    failure_ = pump_.Failure(result, What());
    if (pump_.TimedOut() || failure_.code == kSftpConnectionLost)
      ended_ = true;
    else
      failure_.code = kSftpLoginRefused;
    return false;
  }

  int WithKey() {
    const char* phrase = user_.keyPassphrase.empty() ? nullptr : user_.keyPassphrase.c_str();
    return libssh2_userauth_publickey_fromfile_ex(session_, user_.user.c_str(),
                                                  static_cast<unsigned>(user_.user.size()), nullptr,
                                                  user_.keyFile.c_str(), phrase);
  }
  int WithPassword() {
    return libssh2_userauth_password_ex(
        session_, user_.user.c_str(), static_cast<unsigned>(user_.user.size()),
        user_.password.c_str(), static_cast<unsigned>(user_.password.size()), nullptr);
  }
  int WithPrompts() {
    *libssh2_session_abstract(session_) = const_cast<std::string*>(&user_.password);
    return libssh2_userauth_keyboard_interactive_ex(
        session_, user_.user.c_str(), static_cast<unsigned>(user_.user.size()), AnswerWithPassword);
  }

  SftpPump& pump_;
  LIBSSH2_SESSION* session_;
  const SftpCredentials& user_;
  SftpPump::Clock::time_point deadline_;
  SftpError failure_;
  bool ended_ = false;
};

}  // namespace

bool LogIn(SftpPump& pump, const SftpCredentials& credentials, SftpPump::Clock::time_point deadline,
           SftpError& error) {
  return Login(pump, credentials, deadline).Run(error);
}

}  // namespace inet
