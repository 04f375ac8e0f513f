// How transfer lines read: direction, deletion of the sources, the ";" that
// ends a line, patterns without a match, and the order of the lines.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/job_fixture.h"
#include "tests/support/file_bytes.h"

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

using TransferLine = JobTest;

// Server: /in/ holding only r.xml. Lines, with prenos2 missing and the last
// one in prenos20:
//   a.up,DEL        DEL as the direction: upload, keep
//   b.up,UP,del     rest "del": upload, delete
//   c.up            no rest after a DEL line: upload, keep
//   d.up,UP,DEL,x   rest "DEL,x": upload, keep
//   *.xml;DOWN      ";" ends the line: upload e.xml, download nothing
//   *.none          no match: nothing, not even a record
//   f.up,up,Del     rest "Del": upload, delete
// Expected: one record per file in line order, exactly these deletions.
TEST_F(TransferLine, UploadLines) {
  fs::create_directory(Remote("in"));
  writeBytes(Remote("in/r.xml"), "remote");
  const std::string bytes = randomBytes(700, 3);
  for (const char* name : {"a.up", "b.up", "c.up", "d.up", "e.xml", "f.up"})
    writeBytes(Local(name), name + bytes);
  WriteSettings(ProgramSection("J1") + JobSection("J1",
                                                  "ftpdir=/in/\n"
                                                  "prenos1=a.up,DEL\n"
                                                  "prenos3=b.up,UP,del\n"
                                                  "prenos4=c.up\n"
                                                  "prenos5=d.up,UP,DEL,x\n"
                                                  "prenos6=*.xml;DOWN\n"
                                                  "prenos7=*.none\n"
                                                  "prenos20=f.up,up,Del\n"));

  const JobResult run = Run();

  EXPECT_EQ(run.status, 0) << run.err;
  Strings records;
  for (const char* name : {"a.up", "b.up", "c.up", "d.up", "e.xml", "f.up"}) {
    records.push_back(Moved(Local(name), std::string("/in/") + name));
    EXPECT_EQ(readBytes(Remote(std::string("in/") + name)), name + bytes) << name;
  }
  EXPECT_EQ(Records(run.log), records);
  EXPECT_EQ(Names(local.path()), (Strings{"a.up", "c.up", "d.up", "e.xml"}));
  EXPECT_EQ(readBytes(Remote("in/r.xml")), "remote");
}

// Server: /in/ holding f.dl, a directory sub.dl, h.bin and i.bin. Lines:
//   *.dl,down        f.dl only: the directory is no file to download
//   h.bin,Down,Del   download, then delete on the server
//   i.bin,DOWN       download, keep on the server
//   *.none,DOWN      no match: nothing
// Expected: the three files locally byte for byte, a record each in line
// order, h.bin gone from the server and everything else still there.
TEST_F(TransferLine, DownloadLines) {
  fs::create_directories(Remote("in/sub.dl"));
  writeBytes(Remote("in/sub.dl/inner"), "inner");
  const std::string bytes = randomBytes(2000, 4);
  for (const char* name : {"f.dl", "h.bin", "i.bin"})
    writeBytes(Remote(std::string("in/") + name), name + bytes);
  WriteSettings(ProgramSection("J1") + JobSection("J1",
                                                  "ftpdir=/in/\n"
                                                  "prenos1=*.dl,down\n"
                                                  "prenos2=h.bin,Down,Del\n"
                                                  "prenos3=i.bin,DOWN\n"
                                                  "prenos4=*.none,DOWN\n"));

  const JobResult run = Run();

  EXPECT_EQ(run.status, 0) << run.err;
  Strings records;
  for (const char* name : {"f.dl", "h.bin", "i.bin"}) {
    records.push_back(Moved(std::string("/in/") + name, Local(name)));
    EXPECT_EQ(readBytes(Local(name)), name + bytes) << name;
  }
  EXPECT_EQ(Records(run.log), records);
  EXPECT_EQ(Names(local.path()), (Strings{"f.dl", "h.bin", "i.bin"}));
  EXPECT_EQ(Names(Remote("in")), (Strings{"f.dl", "i.bin", "sub.dl"}));
  EXPECT_EQ(readBytes(Remote("in/sub.dl/inner")), "inner");
}

// Names as file systems hold them move under their own bytes, through lines
// with DEL in both directions: the separators and quotes of a comma list,
// blanks and separators that text widgets change, blanks that open or end
// a name, a Windows-1250 "š" that is no UTF-8, and "keep,x.n" beside a
// "keep" that the pattern does not match. The server names the login
// directory /home (which has no in/), so the relative ftpdir "in/" must mean
// /in/ for the listing as for the transfers. Rows:
//   up:    plus a name with CR LF, which no FTP command can carry: one
//          escaped failure record at once, no attempt, the rest moves
//   down:  plus a link to a file of another size than the link: its target
//          arrives; a link to a directory is passed over like one. Over
//          MLSD, and again over LIST from a server without MLSD
//   own:   no localdir, so the program's directory; the server offers
//          kestrin.ini (whose run1 would touch a marker) and kestrin: both
//          refused at once, kestrin.txt arrives
//   long:  tempupload=YES, names of 242 and 255 bytes that begin alike:
//          their temporary names must be cut to fit
TEST_F(TransferLine, NamesMoveAsTheyAre) {
  const Strings odd = {"a,b.n",
                       "c;d.n",
                       "it's.n",
                       "q\"r.n",
                       "nb\xC2\xA0sp.n",
                       "ls\xE2\x80\xA8sep.n",
                       " lead.n",
                       "tail.n ",
                       "\x9A"
                       "1250.n",
                       "keep,x.n"};
  const std::string crlf = "cr\r\nNAPAKA forged.n";
  const std::string ownIni = ProgramSection("J1") + "[J1]\nFTPURL=" + server.address() +
                             "\nuporabnik=" + server.user() + "\ngeslo=" + server.password() +
                             "\nftpdir=in/\n";
  struct Row {
    std::string title, line;
    bool ownDirectory;
    Strings local, remote, moved, refused;
    int status;
    bool tempUpload = false;
    bool withoutMlsd = false;
  };
  Strings withCrlf = odd;
  withCrlf.push_back(crlf);
  Strings withLink = odd;
  withLink.push_back("ln.n");
  const Strings own = {"kestrin", "kestrin.ini", "kestrin.txt"};
  const Strings longNames = {std::string(240, 'L') + ".n", std::string(253, 'L') + ".n"};
  const std::vector<Row> rows = {
      {"up", "*.n*,UP,DEL", false, withCrlf, {}, odd, {crlf}, 1},
      {"down", "*.n*,DOWN,DEL", false, {}, odd, withLink, {}, 0},
      {"own", "kestrin*,DOWN", true, {}, own, {"kestrin.txt"}, {"kestrin", "kestrin.ini"}, 1},
      {"own up",
       "kestrin*,UP,DEL",
       true,
       {"kestrin.txt"},
       {},
       {"kestrin.txt"},
       {"kestrin", "kestrin.ini"},
       1},
      {"long", "*.n,UP,DEL", false, longNames, {}, longNames, {}, 0, true},
      {"down over LIST", "*.n*,DOWN,DEL", false, {}, odd, withLink, {}, 0, false, true},
  };
  server.inject(R"({"fault":"reply","cmd":"PWD","code":257,"text":"\"/home\" is current."})");
  fs::create_directory(Remote("home"));
  const std::string exe = readBytes(install.path() / "kestrin");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.title);
    const bool down = row.line.find("DOWN") != std::string::npos;
    const fs::path localDir = row.ownDirectory ? install.path() : local.path();
    fs::remove_all(Remote("in"));
    fs::create_directory(Remote("in"));
    fs::remove_all(local.path());
    fs::create_directory(local.path());
    fs::remove(work.path() / "KESTRIN.log");
    for (const std::string& name : row.local) writeBytes(localDir / name, "bytes of " + name);
    for (const std::string& name : row.remote) writeBytes(Remote("in/" + name), "bytes of " + name);
    writeBytes(localDir / "keep", "local keep");
    writeBytes(Remote("in/keep"), "remote keep");
    writeBytes(Remote("data.bin"), "bytes of ln.n");
    fs::create_symlink("../data.bin", Remote("in/ln.n"));
    fs::create_directory_symlink("../home", Remote("in/dir.n"));
    if (row.withoutMlsd) server.inject(R"({"fault":"no_mlsd"})");
    writeBytes(Remote("in/kestrin.ini"),
               "[PROGRAM]\nIZBRANO=J1\n[J1]\nrun1=" + TouchCommand("ini"));
    WriteSettings(row.ownDirectory
                      ? ownIni + "prenos1=" + row.line + "\n"
                      : ProgramSection("J1") +
                            JobSection("J1", std::string(row.tempUpload ? "tempupload=YES\n" : "") +
                                                 "ftpdir=in/\nprenos1=" + row.line));

    // Only the program itself knows its own file.
    const JobResult run = row.ownDirectory ? RunProgram() : Run();

    EXPECT_EQ(run.status, row.status) << run.out << run.err;
    const std::string local = localDir.string() + "/";
    Strings expected;
    for (const std::string& name : row.moved) {
      expected.push_back(down ? Moved("in/" + name, local + name)
                              : Moved(local + name, "in/" + name));
      EXPECT_EQ(readBytes(down ? localDir / name : Remote("in/" + name)), "bytes of " + name);
      if (row.line.ends_with("DEL")) {
        EXPECT_FALSE(fs::exists(fs::symlink_status(down ? Remote("in/" + name) : localDir / name)));
      }
    }
    const std::string unsendable =
        "The name contains a control character and cannot be sent to "
        "the server.";
    for (const std::string& name : row.refused)
      expected.push_back(
          down ? Failed("in/" + name, local + name,
                        "A download may not replace the program's own file " + local + name)
          : name == crlf
              ? Failed(local + "cr\\r\\nNAPAKA forged.n", "in/cr\\r\\nNAPAKA forged.n", unsendable)
              : Failed(local + name, "in/" + name,
                       "An upload with DEL may not delete the program's own file " + local + name));
    Strings records = Records(run.log);
    std::sort(records.begin(), records.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(records, expected);
    EXPECT_EQ(readBytes(localDir / "keep"), "local keep");
    EXPECT_EQ(readBytes(Remote("in/keep")), "remote keep");
    EXPECT_TRUE(fs::is_symlink(Remote("in/dir.n")));
    if (row.ownDirectory) {
      EXPECT_EQ(readBytes(install.path() / "kestrin.ini"), ownIni + "prenos1=" + row.line + "\n");
      EXPECT_EQ(readBytes(install.path() / "kestrin"), exe);
      EXPECT_FALSE(ExistsWithin(Marker("ini"), std::chrono::milliseconds(500)));
      fs::remove(install.path() / "kestrin.txt");
      fs::remove(install.path() / "keep");
    }
  }
}
