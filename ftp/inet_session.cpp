#include "inet_session.h"

#include <curl/curl.h>

#include "inet_errors.h"
#include "inet_last_error.h"

namespace inet {

std::unique_ptr<Session> Session::Open() {
  // curl_global_init counts its calls; the program keeps its one session
  // for its whole life, so the matching cleanup is the process's end.
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    SetLastError(kInternalError);
    return nullptr;
  }
  return std::unique_ptr<Session>(new Session());
}

}  // namespace inet
