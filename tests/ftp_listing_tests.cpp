// Remote listings through libcurl's own listing parser.
#include <gtest/gtest.h>

#include <filesystem>

#include "ftp/inet/connection.h"
#include "tests/ftp_client_fixture.h"

namespace fs = std::filesystem;
using Listing = FtpClientTest;

TEST_F(Listing, MatchesAreJoinedByCommasInTheServersOrder) {
  for (const char* name : {"b.txt", "a.txt", "c.txt", "note.csv"}) writeBytes(Remote(name), "x");
  ASSERT_TRUE(Connect());
  EXPECT_EQ(ftp.GetFTPdir("b.txt"), "b.txt");
  // The test server sorts its listings.
  EXPECT_EQ(ftp.GetFTPdir("*.txt"), "a.txt,b.txt,c.txt");
  EXPECT_EQ(ftp.GetFTPdir("?.txt"), "a.txt,b.txt,c.txt");
  EXPECT_EQ(ftp.GetFTPdir("*.*"), "a.txt,b.txt,c.txt,note.csv");
  EXPECT_EQ(ftp.GetFTPdir("*.TXT"), "");
}

TEST_F(Listing, NoMatchIsEmptyAndLeavesTheErrorTextAlone) {
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp.DeleteFTPFile("gone"));
  std::string before = ftp.GetLastErrorMessage();
  EXPECT_EQ(ftp.GetFTPdir("*.xml"), "");
  EXPECT_EQ(ftp.GetFTPdir("/missing/*"), "");
  EXPECT_EQ(ftp.GetLastErrorMessage(), before);
}

// The listing a job works from tells "nothing matches" (true, no files)
// apart from a listing that failed (false, with the server's reason). Over
// LIST, which tells a link's own size; a link to a directory is no file.
TEST_F(Listing, FilesListedWithTheirSizesAndFailuresToldFromNoMatch) {
  writeBytes(Remote("a.txt"), "12345");
  fs::create_directory(Remote("d.txt"));
  fs::create_symlink("a.txt", Remote("l.txt"));
  fs::create_symlink("d.txt", Remote("ld.txt"));
  server.inject(R"({"fault":"no_mlsd"})");
  ASSERT_TRUE(Connect());
  std::vector<ListedFile> files{{"stale"}};
  ASSERT_TRUE(ftp.ListFTPFiles("*.txt", files));
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].name, "a.txt");
  EXPECT_EQ(files[0].size, 5);
  EXPECT_FALSE(files[0].is_link);
  EXPECT_EQ(files[1].name, "l.txt");
  EXPECT_TRUE(files[1].is_link);
  EXPECT_TRUE(ftp.ListFTPFiles("*.xml", files));
  EXPECT_TRUE(files.empty());
  EXPECT_FALSE(ftp.ListFTPFiles("/missing/*", files));
  EXPECT_NE(ftp.GetLastErrorMessage().find("550"), std::string::npos) << ftp.GetLastErrorMessage();
  server.inject(R"({"fault":"reply","cmd":"LIST","code":450,"text":"Busy."})");
  EXPECT_FALSE(ftp.ListFTPFiles("*.txt", files));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "450 Busy.");
  // The probe into a link is refused for another reason than "no such
  // directory": that tells nothing of the link, and the listing fails.
  server.clearFaults();
  server.inject(R"({"fault":"reply","cmd":"CWD","code":501,"text":"No.","after":2,"times":1})");
  EXPECT_FALSE(ftp.ListFTPFiles("*.txt", files));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "501 No.");
}

// A LIST line libcurl rejects (here an ACL mark) does not matter where MLSD
// is offered; without it the listing fails and says so. MLSD: names exact
// (leading blanks, bare LF), facts in any case, a device listed but no file.
TEST_F(Listing, MlsdListsWhatListLinesCannot) {
  for (const char* name : {"  lead.txt", "  ", "a.txt"}) writeBytes(Remote(name), "abc");
  server.inject(
      R"({"fault":"listing","cmd":"LIST","data":"-rw-r--r--+ 1 u g 3 Jan 1 2026 a\r\n"})");
  ASSERT_TRUE(Connect());
  EXPECT_EQ(ftp.GetFTPdir("*"), "  ,  lead.txt,a.txt");
  server.inject(R"({"fault":"listing","cmd":"MLSD","data":"type=cdir; .\r\nType=OS.unix=chr-5/1; )"
                R"(tty\r\nTYPE=File;SIZE=7; x y \ntype=OS.unix=slink:/d; ln\r\n"})");
  std::vector<ListedFile> files;
  ASSERT_TRUE(ftp.ListFTPFiles("*", files));
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(files[0].size == 7 && files[1].is_link);
  EXPECT_EQ(ftp.GetFTPdir("*"), "tty,x y ,ln");
  server.inject(R"({"fault":"no_mlsd"})");
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp.ListFTPFiles("*", files));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "FtpFindFirstFile error code: 13 Message: The server's listing could not be read.");
}

TEST_F(Listing, DirectoriesAreListedButNotOfferedForDownload) {
  fs::create_directory(Remote("data.d"));
  writeBytes(Remote("data.txt"), "x");
  ASSERT_TRUE(Connect());
  EXPECT_EQ(ftp.GetFTPdir("data*"), "data.d,data.txt");
  EXPECT_EQ(ftp.GetFTPFileNames("data*"), "data.txt");
  // A link is told from a directory by a CWD each, within the listing's time.
  for (int n = 0; n < 4; ++n) fs::create_symlink("x", Remote("data" + std::to_string(n)));
  ftp.SetTimeouts({5, 5, 5, 2});
  server.inject(R"({"fault":"no_mlsd"})");
  server.inject(R"({"fault":"slow","cmd":"CWD","seconds":1})");
  ASSERT_TRUE(Connect());
  EXPECT_EQ(ftp.GetFTPdir("data*"), "");
}

TEST_F(Listing, AbsoluteAndRelativePatternsAndTheDirectoryStaysPut) {
  fs::create_directories(Remote("in/sub"));
  writeBytes(Remote("in/sub/x.dat"), "x");
  writeBytes(Remote("top.dat"), "x");
  ASSERT_TRUE(Connect());
  ASSERT_TRUE(ftp.SetFTPDirectory("/in"));
  EXPECT_EQ(ftp.GetFTPdir("sub/*.dat"), "x.dat");
  EXPECT_EQ(ftp.GetFTPdir("/*.dat"), "top.dat");
  EXPECT_EQ(ftp.GetFTPdir("../*.dat"), "top.dat");
  EXPECT_EQ(ftp.GetFTPDirectory(), "/in");
  EXPECT_EQ(ftp.GetFTPdir("*"), "sub");
}

TEST_F(Listing, DotEntriesAreNeverListed) {
  server.inject(R"({"fault":"list_dots"})");
  writeBytes(Remote("only.txt"), "x");
  ASSERT_TRUE(Connect());
  EXPECT_EQ(ftp.GetFTPdir("*"), "only.txt");
  server.inject(R"({"fault":"no_mlsd"})");
  ASSERT_TRUE(Connect());
  EXPECT_EQ(ftp.GetFTPdir("*"), "only.txt");
}

TEST_F(Listing, TenThousandNamesAllArriveInOrder) {
  std::vector<std::string> names;
  for (int i = 0; i < 10000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%05d.dat", i);
    names.push_back(name);
    writeBytes(Remote(name), "");
  }
  ASSERT_TRUE(Connect());
  std::string expected;
  for (const std::string& name : names) expected += (expected.empty() ? "" : ",") + name;
  EXPECT_EQ(ftp.GetFTPdir("*.dat"), expected);
  server.inject(R"({"fault":"listing","cmd":"MLSD","data":"type=file; a\n","repeat":)" +
                std::to_string(inet::kMostListedEntries + 1) + "}");
  std::vector<ListedFile> files;  // an endless listing fails before it fills the memory
  EXPECT_FALSE(ftp.ListFTPFiles("*", files));
  EXPECT_NE(ftp.GetLastErrorMessage().find("read. (more than"), std::string::npos);
}
