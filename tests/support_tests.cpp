// Checks the FTP test bed itself with a plain libcurl client: each fault must
// do to a real client what the tests that rely on it expect.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "tests/support/file_bytes.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/json_text.h"

namespace {

constexpr long kSafetyTimeoutSeconds = 30;  // no case may hang the suite
constexpr long kHangTimeoutSeconds = 2;
constexpr std::size_t kFileSize = 100000;
constexpr std::size_t kCut = 1000;

enum class Mode { Epsv, Pasv, Eprt, Port };

struct Outcome {
  CURLcode code = CURLE_OK;
  long reply = 0;        // the last FTP reply code libcurl saw
  std::string received;  // downloaded bytes
  std::size_t sent = 0;  // upload bytes libcurl took from us
};

// One libcurl operation against the test server.
class Request {
 public:
  Request(const FtpTestServer& server, const std::string& path, Mode mode = Mode::Epsv)
      : curl_(curl_easy_init(), &curl_easy_cleanup), quote_(nullptr, &curl_slist_free_all) {
    set(CURLOPT_URL, ("ftp://" + server.address() + "/" + path).c_str());
    set(CURLOPT_USERNAME, server.user().c_str());
    set(CURLOPT_PASSWORD, server.password().c_str());
    set(CURLOPT_TIMEOUT, kSafetyTimeoutSeconds);
    set(CURLOPT_WRITEFUNCTION, &Request::take);
    set(CURLOPT_WRITEDATA, this);
    if (mode == Mode::Eprt || mode == Mode::Port) set(CURLOPT_FTPPORT, "127.0.0.1");
    set(CURLOPT_FTP_USE_EPSV, mode == Mode::Epsv ? 1L : 0L);
    set(CURLOPT_FTP_USE_EPRT, mode == Mode::Eprt ? 1L : 0L);
  }

  Request& upload(std::string bytes) {
    upload_ = std::move(bytes);
    set(CURLOPT_UPLOAD, 1L);
    set(CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(upload_.size()));
    set(CURLOPT_READFUNCTION, &Request::give);
    set(CURLOPT_READDATA, this);
    return *this;
  }

  // Only logs in and sends `line`; no transfer.
  Request& command(const std::string& line) {
    quote_.reset(curl_slist_append(nullptr, line.c_str()));
    set(CURLOPT_QUOTE, quote_.get());
    set(CURLOPT_NOBODY, 1L);
    return *this;
  }

  // Keeps libcurl from asking SIZE first and so judging the length itself.
  Request& withoutSize() {
    set(CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    return *this;
  }

  Request& responseTimeout(long seconds) {
    set(CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
    return *this;
  }

  Outcome run() {
    outcome_.code = curl_easy_perform(curl_.get());
    curl_easy_getinfo(curl_.get(), CURLINFO_RESPONSE_CODE, &outcome_.reply);
    return outcome_;
  }

 private:
  template <typename T>
  void set(CURLoption option, T value) {
    if (curl_easy_setopt(curl_.get(), option, value) != CURLE_OK) {
      throw std::runtime_error("curl_easy_setopt " + std::to_string(option));
    }
  }

  static size_t take(char* data, size_t size, size_t count, void* self) {
    static_cast<Request*>(self)->outcome_.received.append(data, size * count);
    return size * count;
  }

  static size_t give(char* buffer, size_t size, size_t count, void* self) {
    Outcome& outcome = static_cast<Request*>(self)->outcome_;
    const std::string& source = static_cast<Request*>(self)->upload_;
    size_t chunk = std::min(size * count, source.size() - outcome.sent);
    source.copy(buffer, chunk, outcome.sent);
    outcome.sent += chunk;
    return chunk;
  }

  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl_;
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> quote_;
  std::string upload_;
  Outcome outcome_;
};

// The command that shows libcurl used the mode.
const char* verbOf(Mode mode) {
  static const char* const verbs[] = {"EPSV", "PASV", "EPRT", "PORT"};
  return verbs[static_cast<int>(mode)];
}

bool anyStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::ranges::any_of(lines, [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

std::string replyFault(const std::string& cmd, int code, const std::string& extra = "") {
  return R"({"fault":"reply","cmd":")" + cmd + R"(","code":)" + std::to_string(code) +
         R"(,"text":"Not now.")" + extra + "}";
}

// A fault that cuts a transfer after kCut bytes.
std::string cutFault(const std::string& kind, const std::string& cmd) {
  return R"({"fault":")" + kind + R"(","cmd":")" + cmd + R"(","bytes":)" + std::to_string(kCut) +
         "}";
}

class TestBed : public ::testing::Test {
 protected:
  // A file on the server with content that text-mode handling would alter.
  std::string serve(const std::string& name, std::size_t size = kFileSize) {
    std::string bytes = randomBytes(size, static_cast<unsigned>(name.size()));
    writeBytes(server.root() / name, bytes);
    return bytes;
  }

  Outcome download(const std::string& name) { return Request(server, name).run(); }
  Outcome upload(const std::string& name, const std::string& bytes) {
    return Request(server, name).upload(bytes).run();
  }

  FtpTestServer server;
};

class TransferModes : public TestBed, public ::testing::WithParamInterface<Mode> {};

TEST_P(TransferModes, UploadAndDownloadKeepEveryByte) {
  std::string bytes = randomBytes(3 * kFileSize, 11);
  Outcome up = Request(server, "up.bin", GetParam()).upload(bytes).run();
  ASSERT_EQ(up.code, CURLE_OK);
  EXPECT_EQ(up.reply, 226);
  EXPECT_EQ(readBytes(server.root() / "up.bin"), bytes);

  Outcome down = Request(server, "up.bin", GetParam()).run();
  ASSERT_EQ(down.code, CURLE_OK);
  EXPECT_EQ(down.received, bytes);

  EXPECT_TRUE(anyStartsWith(server.commands(), verbOf(GetParam())));
}

INSTANTIATE_TEST_SUITE_P(AllModes, TransferModes,
                         ::testing::Values(Mode::Epsv, Mode::Pasv, Mode::Eprt, Mode::Port),
                         [](const auto& mode) { return std::string(verbOf(mode.param)); });

TEST_F(TestBed, CommandsAreRecordedWithThePasswordMasked) {
  ASSERT_EQ(upload("žaba.txt", "x").code, CURLE_OK);
  auto commands = server.commands();
  for (std::string expected : {"USER " + server.user(), std::string("PASS ****"),
                               std::string("TYPE I"), std::string("STOR žaba.txt")}) {
    EXPECT_NE(std::ranges::find(commands, expected), commands.end()) << expected;
  }
  for (const std::string& line : commands) {
    EXPECT_EQ(line.find(server.password()), std::string::npos) << line;
  }
}

TEST_F(TestBed, RefusedLoginIsDeniedForTheGivenTimes) {
  serve("f.bin");
  server.inject(R"({"fault":"refuse_login","times":1})");
  Outcome refused = download("f.bin");
  EXPECT_EQ(refused.code, CURLE_LOGIN_DENIED);
  EXPECT_EQ(refused.reply, 530);
  EXPECT_EQ(download("f.bin").code, CURLE_OK);
}

TEST_F(TestBed, ReplyFaultAnswersInsteadOfStoring) {
  server.inject(replyFault("STOR", 552));
  Outcome outcome = upload("new.bin", "data");
  EXPECT_EQ(outcome.code, CURLE_UPLOAD_FAILED);
  EXPECT_EQ(outcome.reply, 552);
  EXPECT_FALSE(std::filesystem::exists(server.root() / "new.bin"));
}

TEST_F(TestBed, AfterAndTimesPickWhichCommandsAreSpoiled) {
  serve("f.bin");
  server.inject(replyFault("RETR", 550, R"(,"after":1,"times":1)"));
  EXPECT_EQ(download("f.bin").code, CURLE_OK);
  Outcome spoiled = download("f.bin");
  EXPECT_EQ(spoiled.code, CURLE_REMOTE_FILE_NOT_FOUND);
  EXPECT_EQ(spoiled.reply, 550);
  EXPECT_EQ(download("f.bin").code, CURLE_OK);
}

TEST_F(TestBed, ClearRemovesEveryFault) {
  serve("f.bin");
  server.inject(replyFault("RETR", 550));
  server.inject(R"({"fault":"refuse_after_stor","code":552,"text":"Full."})");
  server.clearFaults();
  EXPECT_EQ(download("f.bin").code, CURLE_OK);
  EXPECT_EQ(upload("g.bin", "data").code, CURLE_OK);
}

TEST_F(TestBed, RejectedControlLinesThrow) {
  EXPECT_THROW(server.inject("not json"), std::runtime_error);
  EXPECT_THROW(server.inject(R"({"fault":"melt"})"), std::runtime_error);
  EXPECT_THROW(server.inject(R"({"fault":"reply","cmd":"STOR"})"), std::runtime_error);
  EXPECT_NO_THROW(server.inject(R"({"fault":"close","cmd":"NOOP"})"));
}

TEST_F(TestBed, CloseFaultDropsTheControlConnectionWithoutReply) {
  serve("f.bin");
  server.inject(R"({"fault":"close","cmd":"RETR"})");
  Outcome outcome = download("f.bin");
  EXPECT_NE(outcome.code, CURLE_OK);
  EXPECT_TRUE(outcome.received.empty());
  auto commands = server.commands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "RETR f.bin");
}

TEST_F(TestBed, HangFaultLeavesTheCommandUnansweredAndUndone) {
  serve("f.bin");
  server.inject(R"({"fault":"hang","cmd":"DELE"})");
  Outcome outcome =
      Request(server, "").command("DELE f.bin").responseTimeout(kHangTimeoutSeconds).run();
  EXPECT_EQ(outcome.code, CURLE_OPERATION_TIMEDOUT);
  EXPECT_TRUE(std::filesystem::exists(server.root() / "f.bin"));
}

TEST_F(TestBed, DroppedDownloadFailsAfterTheGivenBytes) {
  std::string bytes = serve("f.bin");
  server.inject(cutFault("drop_data", "RETR"));
  Outcome outcome = Request(server, "f.bin").withoutSize().run();
  EXPECT_NE(outcome.code, CURLE_OK);
  EXPECT_LE(outcome.received.size(), kCut);
  EXPECT_EQ(outcome.received, bytes.substr(0, outcome.received.size()));
}

TEST_F(TestBed, DroppedUploadFailsAndLeavesThePartialFile) {
  std::string bytes = randomBytes(kFileSize, 5);
  server.inject(cutFault("drop_data", "STOR"));
  EXPECT_NE(upload("up.bin", bytes).code, CURLE_OK);
  EXPECT_EQ(readBytes(server.root() / "up.bin"), bytes.substr(0, kCut));
}

TEST_F(TestBed, ShortDownloadReportsSuccessWithFewerBytes) {
  std::string bytes = serve("f.bin");
  server.inject(cutFault("short_retr", "RETR"));
  Outcome outcome = Request(server, "f.bin").withoutSize().run();
  EXPECT_EQ(outcome.code, CURLE_OK);
  EXPECT_EQ(outcome.reply, 226);
  EXPECT_EQ(outcome.received, bytes.substr(0, kCut));
}

TEST_F(TestBed, RefusalAfterStorKeepsTheWholeUploadButFails) {
  std::string bytes = randomBytes(kFileSize, 9);
  server.inject(R"({"fault":"refuse_after_stor","code":552,"text":"Quota exceeded."})");
  Outcome outcome = upload("up.bin", bytes);
  EXPECT_NE(outcome.code, CURLE_OK);
  EXPECT_EQ(outcome.reply, 552);
  EXPECT_EQ(outcome.sent, bytes.size());
  EXPECT_EQ(readBytes(server.root() / "up.bin"), bytes);
}

TEST_F(TestBed, RawFaultSendsItsBytesInsteadOfRunningTheCommand) {
  std::string reply = "257-made up\r\n257 \"/d\" created.\r\n";
  server.inject(R"({"fault":"raw","cmd":"MKD","data":)" + jsonQuote(reply) + "}");
  Outcome outcome = Request(server, "").command("MKD d").run();
  EXPECT_EQ(outcome.code, CURLE_OK);
  EXPECT_EQ(outcome.reply, 257);
  EXPECT_FALSE(std::filesystem::exists(server.root() / "d"));
}

}  // namespace
