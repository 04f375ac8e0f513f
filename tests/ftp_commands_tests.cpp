// Single remote commands: what each sends, and what each says on failure.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/ftp_client_fixture.h"

// The client is reached through its own header, without the network library's.
#ifdef CURLINC_CURL_H
#error "ftp/cftp.h pulls in libcurl's header"
#endif

namespace fs = std::filesystem;
using Commands = FtpClientTest;

TEST_F(Commands, RenameCreateRemoveAndDeleteChangeTheServersTree) {
  writeBytes(Remote("old.txt"), "x");
  ASSERT_TRUE(Connect());
  // Also on a connection opened again after a drop, whatever fails after them.
  server.inject(R"({"fault":"close","cmd":"MLSD","times":1})");
  EXPECT_LT(ftp.GetFTPFileSize("/old.txt"), 0);
  const std::string dropped = ftp.GetLastErrorMessage();
  EXPECT_EQ(ftp.GetFTPFileSize("/old.txt"), 1);
  server.inject(R"({"fault":"reply","cmd":"CWD","code":501,"text":"No.","times":1})");
  server.inject(R"({"fault":"close","cmd":"CWD","after":1,"times":1})");
  EXPECT_TRUE(ftp.RenameFTPFile("old.txt", "new.txt"));
  EXPECT_TRUE(fs::exists(Remote("new.txt")));
  EXPECT_TRUE(ftp.DeleteFTPFile("/new.txt"));
  EXPECT_FALSE(fs::exists(Remote("new.txt")));
  EXPECT_TRUE(ftp.CreateFTPDirectory("sub"));
  EXPECT_TRUE(fs::is_directory(Remote("sub")));
  EXPECT_TRUE(ftp.RemoveFTPDirectory("sub"));
  EXPECT_FALSE(fs::exists(Remote("sub")));
  EXPECT_EQ(ftp.GetLastErrorMessage(), dropped);
}

TEST_F(Commands, RefusedCommandsGiveTheServersReply) {
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp.DeleteFTPFile("missing.txt"));
  EXPECT_EQ(ftp.GetLastErrorMessage().substr(0, 4), "550 ");
  server.inject(R"({"fault":"reply","cmd":"RNTO","code":553,"text":"Name taken."})");
  writeBytes(Remote("a"), "a");
  EXPECT_FALSE(ftp.RenameFTPFile("a", "b"));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "553 Name taken.");
  server.inject(R"({"fault":"reply","cmd":"MKD","code":550,"text":"No room."})");
  EXPECT_FALSE(ftp.CreateFTPDirectory("d"));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "550 No room.");
}

TEST_F(Commands, EveryCommandWithoutConnectionNamesItsLabel) {
  EXPECT_FALSE(ftp.RenameFTPFile("a", "b"));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("RenameFTPFile error code: 6 Message: ", 0), 0u);
  EXPECT_FALSE(ftp.RemoveFTPDirectory("a"));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("RemoveFTPDirectory error code: 6", 0), 0u);
  EXPECT_FALSE(ftp.SetFTPDirectory("/"));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("FtpSetCurrentDirectory error code: 6", 0), 0u);
  EXPECT_EQ(ftp.GetFTPDirectory(), "");
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("FtpGetCurrentDirectory error code: 6", 0), 0u);
  EXPECT_EQ(ftp.GetFTPFileSize("a"), -2);
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("FtpFindFirstFile error code: 6", 0), 0u);
  EXPECT_FALSE(ftp.SimpleFTPPutFile("a", "b"));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("SimpleFtpPutFile error code: 6", 0), 0u);
  EXPECT_FALSE(ftp.SimpleFTPGetFile("a", "b"));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("SimpleFtpGetFile error code: 6", 0), 0u);
  EXPECT_EQ(ftp.GetFTPdir("*"), "");
}

TEST_F(Commands, CurrentDirectoryChangesOnlyOnSuccessAndRelativeNamesFollowIt) {
  fs::create_directories(Remote("in/deeper"));
  writeBytes(Remote("in/deeper/f.txt"), "12345");
  ASSERT_TRUE(Connect());
  EXPECT_TRUE(ftp.SetFTPDirectory("in"));
  EXPECT_EQ(ftp.GetFTPDirectory(), "/in");
  EXPECT_FALSE(ftp.SetFTPDirectory("missing"));
  EXPECT_EQ(ftp.GetFTPDirectory(), "/in");
  EXPECT_EQ(ftp.GetFTPFileSize("deeper/f.txt"), 5);
  EXPECT_TRUE(ftp.SetFTPDirectory("deeper/.."));
  EXPECT_EQ(ftp.GetFTPDirectory(), "/in");
  EXPECT_TRUE(ftp.SetFTPDirectory("/"));
  EXPECT_EQ(ftp.GetFTPDirectory(), "/");
}

TEST_F(Commands, FileSizeKeepsItsThirtyTwoBitResult) {
  writeBytes(Remote("six.bin"), std::string(600, 'x'));
  writeBytes(Remote("empty.bin"), "");
  // Sparse files: the server reports the size without the disk holding it.
  writeBytes(Remote("big.bin"), "");
  fs::resize_file(Remote("big.bin"), 4294967396ULL);
  writeBytes(Remote("three.bin"), "");
  fs::resize_file(Remote("three.bin"), 3000000000ULL);
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp.DeleteFTPFile("nothing"));
  std::string before = ftp.GetLastErrorMessage();
  EXPECT_EQ(ftp.GetFTPFileSize("six.bin"), 600);
  EXPECT_EQ(ftp.GetFTPFileSize("empty.bin"), 0);
  EXPECT_EQ(ftp.GetFTPFileSize("big.bin"), 100);
  EXPECT_LT(ftp.GetFTPFileSize("three.bin"), 0);
  EXPECT_EQ(ftp.GetFTPFileSize("none*"), -1);
  EXPECT_EQ(ftp.GetLastErrorMessage(), before);
}

TEST_F(Commands, NamesThatCouldInjectACommandAreRefused) {
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp.DeleteFTPFile("a\r\nDELE b"));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("DeleteFTPFile error code: 123", 0), 0u);
  EXPECT_TRUE(ftp.GetLastErrorMessage().ends_with(" Message: " + cFTP::InvalidNameMessage()));
  for (const std::string& sent : server.commands()) EXPECT_EQ(sent.find("DELE"), std::string::npos);
}
