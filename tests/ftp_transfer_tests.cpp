// Streamed transfers: the bytes, the events, and that nothing is lost when
// the server or the connection fails.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "ftp/inet/local_download.h"
#include "tests/ftp_client_fixture.h"
#include "tests/support/json_text.h"

namespace fs = std::filesystem;
using Transfer = FtpClientTest;
using Events = std::vector<std::pair<int64_t, int64_t>>;

class TransferSizes : public FtpClientTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(TransferSizes, BothDirectionsAreByteExact) {
  std::string bytes = randomBytes(GetParam(), static_cast<unsigned>(GetParam()));
  writeBytes(Local("up.bin"), bytes);
  ASSERT_TRUE(Connect());
  std::string localPath = Local("up.bin").string(), remotePath = "up.bin";
  ASSERT_TRUE(ftp.FTPUploadFile(localPath, remotePath)) << ftp.GetLastErrorMessage();
  EXPECT_EQ(readBytes(Remote("up.bin")), bytes);
  localPath = Local("down.bin").string();
  ASSERT_TRUE(ftp.FTPDownloadFile(localPath, remotePath)) << ftp.GetLastErrorMessage();
  EXPECT_EQ(readBytes(Local("down.bin")), bytes);
  EXPECT_EQ(Leftovers(local.path()), (std::vector<std::string>{"down.bin", "up.bin"}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, TransferSizes,
                         ::testing::Values(0, 1, 254, 255, 256, 510, 600, 1 << 20, (3 << 20) + 7));

TEST_F(Transfer, UploadEventsAndClosingTexts) {
  ASSERT_TRUE(Connect());
  for (auto [size, expected] :
       {std::pair<size_t, Events>{600, {{255, 600}, {510, 600}, {600, 600}}},
        {510, {{255, 510}, {510, 510}, {510, 510}}},
        {0, {{0, 0}}}}) {
    events.clear();
    texts.clear();
    writeBytes(Local("f"), std::string(size, 'u'));
    std::string localPath = Local("f").string(), remotePath = "f";
    ASSERT_TRUE(ftp.FTPUploadFile(localPath, remotePath));
    EXPECT_EQ(events, expected) << size;
    EXPECT_EQ(texts, (std::vector<std::string>{"Konec.", "INTERNET CLOSE"}));
  }
}

TEST_F(Transfer, DownloadEventsRunOneAheadAndAnEmptyFileArrives) {
  ASSERT_TRUE(Connect());
  for (auto [size, expected] :
       {std::pair<size_t, Events>{600, {{256, 600}, {511, 600}, {601, 601}}},
        {510, {{256, 510}, {511, 510}, {511, 510}}},
        {0, {{1, 0}}}}) {
    events.clear();
    writeBytes(Remote("f"), std::string(size, 'd'));
    std::string localPath = Local("f").string(), remotePath = "f";
    ASSERT_TRUE(ftp.FTPDownloadFile(localPath, remotePath)) << ftp.GetLastErrorMessage();
    EXPECT_EQ(events, expected) << size;
    EXPECT_EQ(fs::file_size(Local("f")), size);
  }
}

TEST_F(Transfer, ArgumentsAreTrimmedInPlace) {
  writeBytes(Local("t.bin"), "abc");
  ASSERT_TRUE(Connect());
  std::string localPath = "  " + Local("t.bin").string() + " ", remotePath = " t.bin  ";
  ASSERT_TRUE(ftp.FTPUploadFile(localPath, remotePath));
  EXPECT_EQ(localPath, Local("t.bin").string());
  EXPECT_EQ(remotePath, "t.bin");
}

TEST_F(Transfer, FailuresNameTheirStep) {
  std::string localPath = "", remotePath = "x";
  EXPECT_FALSE(ftp.FTPUploadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("FtpOpenFile:PutFile error code: 87", 0), 0u);
  localPath = Local("x").string();
  EXPECT_FALSE(ftp.FTPDownloadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "FtpFindFirstFile error code: 6 Message: There is no connection to the server.");
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp.FTPUploadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "CreateFile error code: 2 Message: The local file or folder does not exist.");
  EXPECT_TRUE(server.commands().back().rfind("STOR", 0) != 0) << "nothing sent for a missing file";
  writeBytes(Local("x"), "x");
  server.inject(R"({"fault":"reply","cmd":"STOR","code":553,"text":"Not allowed."})");
  EXPECT_FALSE(ftp.FTPUploadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "553 Not allowed.");
  writeBytes(Remote("r"), "r");
  server.inject(R"({"fault":"reply","cmd":"RETR","code":550,"text":"Locked."})");
  localPath = Local("r").string(), remotePath = "r";
  EXPECT_FALSE(ftp.FTPDownloadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "550 Locked.");
}

// A FIFO, or a link to one, in a local file's place fails its upload at
// once, by either way of sending, instead of waiting for a writer for ever.
TEST_F(Transfer, FifoInPlaceOfALocalFileFailsAtOnce) {
  ASSERT_EQ(mkfifo(Local("fifo").c_str(), 0600), 0);
  fs::create_symlink("fifo", Local("link"));
  ASSERT_TRUE(Connect());
  for (const std::string name : {"fifo", "link"}) {
    std::string localPath = Local(name).string(), remotePath = name;
    EXPECT_FALSE(ftp.FTPUploadFile(localPath, remotePath));
    EXPECT_FALSE(ftp.SimpleFTPPutFile(localPath, remotePath));
    EXPECT_FALSE(fs::exists(Remote(name)));
  }
}

// A missing remote file says so, instead of repeating an older failure.
TEST_F(Transfer, MissingRemoteFileLeavesItsOwnText) {
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp.DeleteFTPFile("older failure"));
  std::string localPath = Local("x").string(), remotePath = "absent.bin";
  EXPECT_FALSE(ftp.FTPDownloadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "FtpFindFirstFile error code: 18 Message: No such file on the server.");
  EXPECT_TRUE(events.empty());
}

// The server takes the whole file and then refuses it: not a success, and
// nothing of it stays on the server.
TEST_F(Transfer, RefusalAtTheEndOfAnUploadFailsIt) {
  writeBytes(Local("q.bin"), std::string(1000, 'q'));
  ASSERT_TRUE(Connect());
  server.inject(R"({"fault":"refuse_after_stor","code":552,"text":"Quota exceeded."})");
  std::string localPath = Local("q.bin").string(), remotePath = "q.bin";
  EXPECT_FALSE(ftp.FTPUploadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "552 Quota exceeded.");
  EXPECT_FALSE(fs::exists(Remote("q.bin")));
  EXPECT_TRUE(fs::exists(Local("q.bin")));
}

// The data connection breaks in the middle of an upload: the partial file
// is removed and the text is that of the write, not of the removal.
TEST_F(Transfer, BrokenUploadRemovesThePartialRemoteFile) {
  writeBytes(Local("big.bin"), randomBytes(3 << 20, 7));
  ASSERT_TRUE(Connect());
  server.inject(R"({"fault":"drop_data","cmd":"STOR","bytes":100000})");
  std::string localPath = Local("big.bin").string(), remotePath = "big.bin";
  EXPECT_FALSE(ftp.FTPUploadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("InternetWriteFile", 0), 0u)
      << ftp.GetLastErrorMessage();
  EXPECT_FALSE(fs::exists(Remote("big.bin")));
  std::vector<std::string> sent = server.commands();
  EXPECT_EQ(sent.back(), "DELE /big.bin");
}

// The server reports success after sending part of the file: the download
// fails where the data ran out, and the old local file stays as it was.
TEST_F(Transfer, ShortDownloadFailsAndKeepsTheOldLocalFile) {
  writeBytes(Remote("s.bin"), std::string(600, 'n'));
  writeBytes(Local("s.bin"), "old contents");
  ASSERT_TRUE(Connect());
  std::string localPath = Local("s.bin").string(), remotePath = "s.bin";
  server.inject(R"({"fault":"short_retr","bytes":300,"times":1})");
  EXPECT_FALSE(ftp.FTPDownloadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("InternetReadFile error code: 12030", 0), 0u)
      << ftp.GetLastErrorMessage();
  server.inject(R"({"fault":"short_retr","bytes":550,"times":1})");
  EXPECT_FALSE(ftp.FTPDownloadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("InternetReadFile2 error code: 12030", 0), 0u);
  EXPECT_EQ(readBytes(Local("s.bin")), "old contents");
  EXPECT_EQ(Leftovers(local.path()), std::vector<std::string>{"s.bin"});
}

TEST_F(Transfer, DroppedDownloadLeavesNoTemporaryFile) {
  writeBytes(Remote("d.bin"), randomBytes(2 << 20, 3));
  ASSERT_TRUE(Connect());
  server.inject(R"({"fault":"drop_data","cmd":"RETR","bytes":70000})");
  std::string localPath = Local("d.bin").string(), remotePath = "d.bin";
  EXPECT_FALSE(ftp.FTPDownloadFile(localPath, remotePath));
  EXPECT_TRUE(Leftovers(local.path()).empty());
}

// The local disk refuses more after 1 MiB of an 8 MiB download, with the
// network side blocks ahead; or only beyond the listed size of a text file
// that grew after its listing (in ASCII mode libcurl takes all that comes),
// once every expected byte is written and counted. Either download fails on
// the local write and keeps nothing; the next one on the client succeeds.
TEST_F(Transfer, LocalWriteFailureEndsTheDownloadAndTheClientGoesOn) {
  const std::string bytes = randomBytes(8 << 20, 4);
  writeBytes(Remote("g.bin"), bytes);
  writeBytes(Remote("e.txt"), std::string(inet::LocalDownload::kBlockSize, 'e'));
  ASSERT_TRUE(Connect());
  for (const auto& [name, limit] : {std::pair<std::string, rlim_t>{"g.bin", 1 << 20},
                                    {"e.txt", inet::LocalDownload::kBlockSize}}) {
    if (name == "e.txt") {
      ftp.SetTransferASCII();
      server.inject(R"({"fault":"replace_source","cmd":"MLSD","answered":true,"times":1,)"
                    R"("data":"MORE","path":)" +
                    jsonQuote(Remote(name).string()) + "}");
    }
    std::string localPath = Local(name).string(), remotePath = name;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = limit;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool moved = ftp.FTPDownloadFile(localPath, remotePath);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(moved) << name;
    EXPECT_EQ(ftp.GetLastErrorMessage().rfind("WriteFile error code: ", 0), 0u)
        << name << ": " << ftp.GetLastErrorMessage();
    EXPECT_TRUE(Leftovers(local.path()).empty()) << name;
  }
  ftp.SetTransferBinary();
  std::string localPath = Local("g.bin").string(), remotePath = "g.bin";
  ASSERT_TRUE(ftp.FTPDownloadFile(localPath, remotePath)) << ftp.GetLastErrorMessage();
  EXPECT_EQ(readBytes(Local("g.bin")), bytes);
}

// The local file shrinks to 4 MiB while its 8 MiB are uploaded (a log
// rotated underneath, say). The program dwells on the first chunk's event
// meanwhile, long enough for the transfer to read the whole file, were it
// not held to a bounded way ahead of the events: the upload fails on the
// local read, the partial copy on the server is removed, and the source
// stays.
TEST_F(Transfer, LocalFileThatShrinksFailsTheUploadOnItsRead) {
  writeBytes(Local("grow.log"), randomBytes(8 << 20, 6));
  ASSERT_TRUE(Connect());
  ftp.FileTransferProgress = [this](int64_t current, int64_t) {
    if (current != 255) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    fs::resize_file(Local("grow.log"), 4 << 20);
  };
  std::string localPath = Local("grow.log").string(), remotePath = "grow.log";
  EXPECT_FALSE(ftp.FTPUploadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("ReadFile error code: ", 0), 0u)
      << ftp.GetLastErrorMessage();
  EXPECT_FALSE(fs::exists(Remote("grow.log")));
  EXPECT_EQ(fs::file_size(Local("grow.log")), 4u << 20);
}

// A size beyond 32 bits is taken whole: 100 bytes of a 4 GiB file are a
// short transfer, not a complete one.
TEST_F(Transfer, SizesBeyondThirtyTwoBitsAreNotCutShort) {
  writeBytes(Remote("huge.bin"), "");
  fs::resize_file(Remote("huge.bin"), 4294967396ULL);
  ASSERT_TRUE(Connect());
  server.inject(R"({"fault":"short_retr","bytes":100})");
  std::string localPath = Local("huge.bin").string(), remotePath = "huge.bin";
  EXPECT_FALSE(ftp.FTPDownloadFile(localPath, remotePath));
  EXPECT_FALSE(fs::exists(Local("huge.bin")));
}

// Line ends in ASCII mode are the server's business; the client asks for
// the type and sends the bytes as they are.
TEST_F(Transfer, WholeFileTransfersReplaceTheLocalFileAndAskForTheType) {
  const std::string text = "one\r\ntwo\r\n";
  writeBytes(Local("t.txt"), text);
  writeBytes(Local("back.txt"), "to be replaced, and longer than what replaces it");
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(ftp.SimpleFTPPutFile(Local("t.txt").string(), "bin.txt"));
  EXPECT_EQ(readBytes(Remote("bin.txt")), text);
  ASSERT_TRUE(ftp.SimpleFTPGetFile(Local("back.txt").string(), "bin.txt"));
  EXPECT_EQ(readBytes(Local("back.txt")), text);
  EXPECT_EQ(server.commands().back(), "RETR /bin.txt");
  ftp.SetTransferASCII();
  ASSERT_TRUE(ftp.SimpleFTPPutFile(Local("t.txt").string(), "asc.txt"));
  std::vector<std::string> sent = server.commands();
  EXPECT_EQ(sent[sent.size() - 2], "TYPE A");
  EXPECT_FALSE(ftp.SimpleFTPGetFile(Local("n.txt").string(), "none.txt"));
  EXPECT_EQ(ftp.GetLastErrorMessage().substr(0, 4), "550 ");
}

TEST_F(Transfer, ServerThatStopsAnsweringTimesOut) {
  writeBytes(Remote("h.bin"), "h");
  ftp.SetTimeouts({2, 2, 2});
  ASSERT_TRUE(Connect());
  server.inject(R"({"fault":"hang","cmd":"RETR"})");
  std::string localPath = Local("h.bin").string(), remotePath = "h.bin";
  EXPECT_FALSE(ftp.FTPDownloadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "FtpOpenFile:GetFile error code: 12002 Message: The operation timed out.");
}

// Active mode: a data connection from another address than the server's is
// refused before a byte goes to it; the next, from the server, is taken.
TEST_F(Transfer, ActiveModeTakesTheDataConnectionOnlyFromTheServer) {
  writeBytes(Local("secret.bin"), randomBytes(100000, 8));
  ftp.SetModeActive();
  ASSERT_TRUE(Connect());
  server.inject(R"({"fault":"data_from","address":"127.0.0.2","times":1})");
  std::string localPath = Local("secret.bin").string(), remotePath = "secret.bin";
  EXPECT_FALSE(ftp.FTPUploadFile(localPath, remotePath));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "FtpOpenFile:PutFile error code: 12111 Message: Active mode: a data connection came "
            "from another address than the server's and was refused.");
  ASSERT_TRUE(ftp.FTPUploadFile(localPath, remotePath)) << ftp.GetLastErrorMessage();
  EXPECT_EQ(server.dataEnds(), (std::vector<std::string>{"0 broken", "100000 finished"}));
}

// The server reads nothing of an upload for longer than the stall time,
// then reads on, as servers that look at their control connection only
// between transfers do. The abandoned attempt's data connection must end
// as broken: closed in order, it would be a complete, shorter file.
TEST_F(Transfer, StalledUploadEndsBrokenInBothModes) {
  writeBytes(Local("big.bin"), randomBytes(16 << 20, 6));
  ftp.SetTimeouts({5, 1, 5});
  for (const size_t ends : {2u, 4u}) {
    if (ends == 4) ftp.SetModeActive();
    server.inject(R"({"fault":"stall_stor","seconds":8,"times":1})");
    std::string localPath = Local("big.bin").string(), remotePath = "big.bin";
    ASSERT_TRUE(Connect());
    EXPECT_FALSE(ftp.FTPUploadFile(localPath, remotePath));
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(ftp.FTPUploadFile(localPath, remotePath)) << ftp.GetLastErrorMessage();
    for (int waited = 0; server.dataEnds().size() < ends && waited < 100; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::vector<std::string> got = server.dataEnds();
    EXPECT_EQ(std::count_if(got.begin(), got.end(), [](auto& e) { return e.ends_with("broken"); }),
              ends / 2);
  }
}

// The server takes an upload a little at a time: its socket drains only
// every few seconds, yet bytes move all along, which is no stall.
TEST_F(Transfer, UploadTakenSlowlyIsNoStall) {
  const std::string bytes = randomBytes(8 << 20, 9);
  writeBytes(Local("slow.bin"), bytes);
  ftp.SetTimeouts({5, 2, 60});
  ASSERT_TRUE(Connect());
  server.inject(R"({"fault":"trickle","cmd":"STOR","bytes":262144})");
  std::string localPath = Local("slow.bin").string(), remotePath = "slow.bin";
  ASSERT_TRUE(ftp.FTPUploadFile(localPath, remotePath)) << ftp.GetLastErrorMessage();
  EXPECT_EQ(readBytes(Remote("slow.bin")), bytes);
}
