// How transfer lines read: direction, deletion of the sources, the ";" that
// ends a line, patterns without a match, and the order of the lines.
#include <gtest/gtest.h>

#include "file_bytes.h"
#include "job_fixture.h"

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
