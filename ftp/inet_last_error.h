// What the last failed operation of the internet layer left behind, read by
// the caller at once after the failure: the error code and the server's last
// reply. Kept per thread, like the error state of the platform libraries the
// callers were written against.
#pragma once

#include <cstdint>
#include <string>

namespace inet {

int32_t GetLastError();
void SetLastError(int32_t code);

// The server's last reply line, control characters replaced by blanks.
const std::string& GetLastResponseInfo();
void SetLastResponse(std::string reply);

}  // namespace inet
