// Replies no FTP server should send: far too long, multi-line where one
// line is expected, another protocol, or noise. The client must fail the
// member with a short one-line error text, promptly, and stay usable.
#include <chrono>
#include <random>

#include "tests/ftp_client_fixture.h"
#include "tests/support/json_text.h"

namespace {

// A text for the status line and a log record: one line, and short enough
// to read even when the server sent a novel.
constexpr size_t kMaxErrorText = 4096;
constexpr auto kPromptly = std::chrono::seconds(20);

struct HostileReply {
  const char* what;
  std::string bytes;
};

std::string Noise() {
  std::mt19937 random(11);
  std::string bytes;
  for (int i = 0; i < 4096; ++i) bytes += static_cast<char>(random());
  return bytes;
}

std::vector<HostileReply> AllHostileReplies() {
  return {
      {"100 KB reply line", "550 " + std::string(100'000, 'x') + "\r\n"},
      {"multi-line reply", "550-first\r\n550 last\r\n"},
      {"not FTP", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
      {"binary noise", Noise()},
  };
}

using HostileReplies = FtpClientTest;

TEST_F(HostileReplies, FailTheMemberWithAShortOneLineText) {
  ftp.SetTimeouts({3, 3, 3});
  for (const HostileReply& reply : AllHostileReplies()) {
    writeBytes(Remote("victim.txt"), "kept");
    ASSERT_TRUE(Connect()) << reply.what << ": " << ftp.GetLastErrorMessage();
    server.clearFaults();
    server.inject(R"({"fault":"raw","cmd":"DELE","times":1,"data":)" + jsonQuote(reply.bytes) +
                  "}");

    const auto start = std::chrono::steady_clock::now();
    const bool deleted = ftp.DeleteFTPFile("/victim.txt");
    const auto took = std::chrono::steady_clock::now() - start;

    const std::string error = ftp.GetLastErrorMessage();
    EXPECT_FALSE(deleted) << reply.what;
    EXPECT_FALSE(error.empty()) << reply.what;
    EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << reply.what << ": " << error;
    EXPECT_LE(error.size(), kMaxErrorText) << reply.what;
    EXPECT_LT(took, kPromptly) << reply.what;
    EXPECT_EQ(readBytes(Remote("victim.txt")), "kept") << reply.what;
    ftp.CloseConnection();
  }
  // After all that, a fresh connection works as before.
  server.clearFaults();
  ASSERT_TRUE(Connect()) << ftp.GetLastErrorMessage();
  EXPECT_TRUE(ftp.DeleteFTPFile("/victim.txt")) << ftp.GetLastErrorMessage();
}

}  // namespace
