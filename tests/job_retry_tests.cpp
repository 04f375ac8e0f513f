// Files that do not go through at once: the retries with a reconnect
// between them, the end of the program after the last failed attempt, and
// sources that must survive any failure.
#include <gtest/gtest.h>

#include "tests/job_fixture.h"
#include "tests/support/file_bytes.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

class Retry : public JobTest {
 protected:
  Retry() { fs::create_directory(Remote("in")); }
};

// Server: refuses the first STOR with 451. Expected: the refusal on
// standard output between two start texts, a reconnect (a second login),
// one success record only, the file on the server and gone locally.
TEST_F(Retry, RefusedOnceThenStored) {
  server.inject(R"({"fault":"reply","cmd":"STOR","code":451,"text":"Try later.","times":1})");
  writeBytes(Local("a.txt"), "second time lucky");
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/in/\nprenos1=a.txt,UP,DEL\n"));

  const JobResult run = Run();

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Records(run.log), Strings{Moved(Local("a.txt"), "/in/a.txt")});
  EXPECT_EQ(readBytes(Remote("in/a.txt")), "second time lucky");
  EXPECT_FALSE(fs::exists(Local("a.txt")));
  EXPECT_EQ(Received("USER"), 2);
  EXPECT_EQ(Received("STOR"), 2);
  const Strings out = Lines(run.out);
  ASSERT_EQ(out.size(), 4u) << run.out;
  EXPECT_EQ(out[0], kUploadStart);
  EXPECT_NE(out[1].find("Try later."), std::string::npos) << out[1];
  EXPECT_EQ(out[2], kUploadStart);
  EXPECT_EQ(out[3], kTransferDone);
  // 1 s after the refusal and 1 s after the reconnect, 5 s at the end.
  EXPECT_GE(run.elapsed, 7s);
}

// Server: refuses every STOR. Lines: *.txt (a.txt, b.txt) then later.dat,
// then a follow-up command. Expected: three attempts at a.txt with two
// reconnects, one failure record carrying the error text shown, then the
// end after 5 s with status 1: b.txt and later.dat never sent, nothing
// deleted, no follow-up command.
TEST_F(Retry, ThreeRefusalsEndTheProgram) {
  server.inject(R"({"fault":"reply","cmd":"STOR","code":451,"text":"Try later."})");
  for (const char* name : {"a.txt", "b.txt", "later.dat"}) writeBytes(Local(name), name);
  WriteSettings(
      ProgramSection("J1") +
      JobSection("J1", "ftpdir=/in/\nprenos1=*.txt,UP,DEL\nprenos2=later.dat,UP,DEL\nrun1=" +
                           TouchCommand("done")));

  const JobResult run = Run();

  EXPECT_EQ(run.status, 1) << run.err;
  const std::string error = AfterPrefix(run.out, kFailurePrefix);
  EXPECT_NE(error.find("Try later."), std::string::npos) << run.out;
  EXPECT_EQ(Records(run.log), Strings{Failed(Local("a.txt"), "/in/a.txt", error)});
  EXPECT_EQ(Received("STOR"), 3);
  EXPECT_EQ(Received("USER"), 3);
  EXPECT_EQ(Names(local.path()), (Strings{"a.txt", "b.txt", "later.dat"}));
  EXPECT_TRUE(Names(Remote("in")).empty());
  EXPECT_FALSE(ExistsWithin(Marker("done"), 1s));
  // Two reconnects of 2 s each, then 5 s before the end.
  EXPECT_GE(run.elapsed, 9s);
}

// Server: stores each upload, then answers 552 instead of confirming it.
// Expected: an unconfirmed upload never costs the source: after three such
// answers the local file is still whole, and the run ends with status 1.
TEST_F(Retry, UnconfirmedUploadKeepsTheSource) {
  server.inject(R"({"fault":"refuse_after_stor","code":552,"text":"Not kept."})");
  const std::string bytes = randomBytes(50000, 5);
  writeBytes(Local("a.bin"), bytes);
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/in/\nprenos1=a.bin,UP,DEL\n"));

  const JobResult run = Run();

  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(readBytes(Local("a.bin")), bytes);
  const std::string error = AfterPrefix(run.out, kFailurePrefix);
  EXPECT_NE(error.find("Not kept."), std::string::npos) << run.out;
  EXPECT_EQ(Records(run.log), Strings{Failed(Local("a.bin"), "/in/a.bin", error)});
  EXPECT_EQ(Received("STOR"), 3);
}

// Server: cuts the first RETR after 1000 bytes, lets the second through,
// and cuts every one after that. Lines: a.bin then b.bin, both DOWN,DEL.
// Expected: a.bin arrives whole on its second attempt and goes from the
// server; b.bin fails three times and leaves nothing behind locally, not
// even a hidden temporary file, and stays on the server.
TEST_F(Retry, DownloadsSurviveCutsOrLeaveNothing) {
  server.inject(R"({"fault":"drop_data","cmd":"RETR","bytes":1000,"times":1})");
  server.inject(R"({"fault":"drop_data","cmd":"RETR","bytes":1000,"after":2})");
  const std::string a = randomBytes(20000, 6), b = randomBytes(20000, 7);
  writeBytes(Remote("in/a.bin"), a);
  writeBytes(Remote("in/b.bin"), b);
  WriteSettings(ProgramSection("J1") +
                JobSection("J1", "ftpdir=/in/\nprenos1=a.bin,DOWN,DEL\nprenos2=b.bin,DOWN,DEL\n"));

  const JobResult run = Run();

  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(readBytes(Local("a.bin")), a);
  EXPECT_EQ(Names(local.path()), Strings{"a.bin"});
  EXPECT_EQ(Names(Remote("in")), Strings{"b.bin"});
  EXPECT_EQ(readBytes(Remote("in/b.bin")), b);
  const std::string error = AfterPrefix(run.out, kDownloadFailurePrefix);
  EXPECT_FALSE(error.empty()) << run.out;
  EXPECT_EQ(Records(run.log), (Strings{Moved("/in/a.bin", Local("a.bin")),
                                       Failed("/in/b.bin", Local("b.bin"), error)}));
  EXPECT_EQ(Received("RETR"), 5);
}

// Server: refuses the first three STORs, so a.txt fails for good and b.txt
// goes through. KESTRIN.log is a directory, so no record can be written.
// Expected: without its failure record the run does not end at a.txt; b.txt
// is uploaded but, unrecorded, kept; the follow-up command runs; status 1.
TEST_F(Retry, UnwritableLogKeepsTheJobGoing) {
  server.inject(R"({"fault":"reply","cmd":"STOR","code":451,"text":"Try later.","times":3})");
  fs::create_directory(work.path() / "KESTRIN.log");
  writeBytes(Local("a.txt"), "a");
  writeBytes(Local("b.txt"), "b");
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/in/\nprenos1=*.txt,UP,DEL\nrun1=" +
                                                            TouchCommand("done")));

  const JobResult run = Run();

  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(Received("STOR"), 4);
  EXPECT_EQ(Names(Remote("in")), Strings{"b.txt"});
  EXPECT_EQ(readBytes(Remote("in/b.txt")), "b");
  EXPECT_EQ(Names(local.path()), (Strings{"a.txt", "b.txt"}));
  EXPECT_TRUE(ExistsWithin(Marker("done"), 5s));
  EXPECT_TRUE(Names(work.path() / "KESTRIN.log").empty());
}

// A line whose files cannot be listed is tried like a file: three listings
// with two reconnects, then a failure record whose source is the directory
// and pattern, status 1, and the end before the next line (b.txt, which
// would upload). A directory that lists and holds nothing is no failure.
TEST_F(Retry, ListingsThatFailAreRetriedThenFailTheJob) {
  struct Row {
    std::string title, fault, keys, source, destination;
    int logins;  // the first and one for each reconnect
    int status;
  };
  const std::string missing = (local.path() / "missing").string();
  const std::vector<Row> rows = {
      {"no remote directory", "", "ftpdir=/nodir/\nprenos1=*.x,DOWN", "/nodir/*.x",
       local.path().string() + "/", 3, 1},
      {"MLSD refused", R"({"fault":"reply","cmd":"MLSD","code":450,"text":"Busy."})",
       "ftpdir=/in/\nprenos1=*.x,DOWN", "/in/*.x", local.path().string() + "/", 3, 1},
      {"no local directory", "", "ftpdir=/in/\nlocaldir=" + missing + "/\nprenos1=*.x",
       missing + "/*.x", "/in/", 3, 1},
      {"empty directory", "", "ftpdir=/in/\nprenos1=*.x,DOWN", "", "", 1, 0},
  };
  writeBytes(Local("b.txt"), "b");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.title);
    server.inject(R"({"fault":"clear"})");
    if (!row.fault.empty()) server.inject(row.fault);
    fs::remove(work.path() / "KESTRIN.log");
    // The first localdir of a section wins, so the row's own comes first.
    WriteSettings(ProgramSection("J1") + "[J1]\n" + row.keys +
                  "\nprenos2=b.txt\nFTPURL=" + server.address() + "\nuporabnik=" + server.user() +
                  "\ngeslo=" + server.password() + "\nlocaldir=" + local.path().string() + "/\n");
    const int loginsBefore = Received("USER");

    const JobResult run = Run();

    EXPECT_EQ(run.status, row.status) << run.out;
    EXPECT_EQ(Received("USER") - loginsBefore, row.logins);
    if (row.status == 0) {
      EXPECT_EQ(Records(run.log), Strings{Moved(Local("b.txt"), "/in/b.txt")});
      continue;
    }
    const bool down = row.keys.ends_with("DOWN");
    const std::string error = AfterPrefix(run.out, down ? kDownloadFailurePrefix : kFailurePrefix);
    EXPECT_FALSE(error.empty()) << run.out;
    EXPECT_EQ(Records(run.log), Strings{Failed(row.source, row.destination, error)});
    EXPECT_FALSE(fs::exists(Remote("in/b.txt")));
  }
}
