#include "inet_last_error.h"

#include <utility>

namespace inet {

namespace {
thread_local int32_t last_error = 0;
thread_local std::string last_response;
}  // namespace

int32_t GetLastError() { return last_error; }
void SetLastError(int32_t code) { last_error = code; }

const std::string& GetLastResponseInfo() { return last_response; }
void SetLastResponse(std::string reply) { last_response = std::move(reply); }

}  // namespace inet
