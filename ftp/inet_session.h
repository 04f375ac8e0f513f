// The internet session: the library set up once for the whole program,
// parent of the connections opened through it.
#pragma once

#include <memory>

#include "inet_connection.h"

namespace inet {

class Session {
 public:
  // nullptr with the error code set when the library cannot be set up.
  static std::unique_ptr<Session> Open();

  std::unique_ptr<Connection> Connect(const ConnectRequest& request) {
    return Connection::Open(request);
  }

 private:
  Session() = default;
};

}  // namespace inet
