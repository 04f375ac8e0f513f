// What the command line selects: the job section, and an extra transfer
// line that runs before the section's own lines.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/job_fixture.h"
#include "tests/support/file_bytes.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

namespace {

struct CommandLineCase {
  std::string name;
  Strings args;           // as the program receives them
  std::string section;    // the job section that must run
  std::string extraFile;  // what the extra line uploads; "" for no extra line
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

}  // namespace

// Two sections, each with its own remote directory, its own file to upload
// and its own follow-up command; only J2 is a command-line section with a
// mode of its own, which must not count. Local files named like the extra
// lines' file fields ("abc", "x", "abc.txt") show which extra line ran; a
// file "J2" would travel if a section name were taken for a file field.
class CommandLine : public JobTest, public ::testing::WithParamInterface<CommandLineCase> {
 protected:
  CommandLine() {
    for (const char* dir : {"one", "two"}) fs::create_directory(Remote(dir));
    for (const char* name : {"j1.dat", "j2.dat", "abc", "x", "abc.txt", "J2"})
      writeBytes(Local(name), name);
    WriteSettings(
        ProgramSection("J1") +
        JobSection("J1", "ftpdir=/one/\nprenos1=j1.dat\nrun1=" + TouchCommand("J1")) +
        JobSection("J2", "ftpdir=/two/\nmode=PASIVE\nprenos1=j2.dat\nrun1=" + TouchCommand("J2")));
  }

  static std::string OtherSection(const std::string& section) {
    return section == "J1" ? "J2" : "J1";
  }
  static std::string RemoteDir(const std::string& section) {
    return section == "J1" ? "one" : "two";
  }
};

// Expected: the extra line's upload first, then the section's own line,
// both into the section's directory; the other directory stays empty;
// the section's command runs, the other's does not; active mode, from J1.
TEST_P(CommandLine, SelectsSectionAndExtraLine) {
  const CommandLineCase& c = GetParam();
  const std::string dir = RemoteDir(c.section);
  const std::string own = c.section == "J1" ? "j1.dat" : "j2.dat";

  const JobResult run = Run(c.args);

  EXPECT_EQ(run.status, 0) << run.err;
  Strings records, uploaded = {own};
  if (!c.extraFile.empty()) {
    records.push_back(Moved(Local(c.extraFile), "/" + dir + "/" + c.extraFile));
    uploaded.push_back(c.extraFile);
  }
  records.push_back(Moved(Local(own), "/" + dir + "/" + own));
  std::sort(uploaded.begin(), uploaded.end());
  EXPECT_EQ(Records(run.log), records);
  EXPECT_EQ(Names(Remote(dir)), uploaded);
  EXPECT_TRUE(Names(Remote(RemoteDir(OtherSection(c.section)))).empty());
  EXPECT_TRUE(ExistsWithin(Marker(c.section), 5s));
  EXPECT_FALSE(ExistsWithin(Marker(OtherSection(c.section)), 300ms));
  EXPECT_GT(Received("EPRT") + Received("PORT"), 0);
  EXPECT_EQ(Received("EPSV") + Received("PASV"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    ::testing::Values(CommandLineCase{"None", {}, "J1", ""},
                      CommandLineCase{"SectionOnly", {"J2"}, "J2", ""},
                      CommandLineCase{"SectionAndTwoFields", {"J2, abc, def"}, "J2", "abc"},
                      CommandLineCase{"QuotedSection", {"\"J2\",abc"}, "J2", "abc"},
                      CommandLineCase{"SemicolonEndsAll", {"J2; abc"}, "J2", ""},
                      CommandLineCase{"NoSectionComma", {"abc, def"}, "J1", "abc"},
                      CommandLineCase{"NoSectionSemicolon", {"x; y"}, "J1", "x"},
                      // The same text as one argument and as the shell
                      // splits it: the arguments are joined by one blank.
                      CommandLineCase{"OneArgument", {"J2, abc.txt"}, "J2", "abc.txt"},
                      CommandLineCase{"TwoArguments", {"J2,", "abc.txt"}, "J2", "abc.txt"}),
    [](const auto& line) { return line.param.name; });

using CommandLineMode = JobTest;

// The other way round: IZBRANO's section asks for passive mode and the
// command line names a section without a mode. Expected: passive transfers.
TEST_F(CommandLineMode, ComesFromTheSelectedSectionEvenWhenAnotherRuns) {
  fs::create_directory(Remote("two"));
  writeBytes(Local("j2.dat"), "j2");
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/one/\nmode=PASIVE\n") +
                JobSection("J2", "ftpdir=/two/\nprenos1=j2.dat\n"));

  const JobResult run = RunProgram({"J2"});

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readBytes(Remote("two/j2.dat")), "j2");
  EXPECT_GT(Received("EPSV") + Received("PASV"), 0);
  EXPECT_EQ(Received("EPRT") + Received("PORT"), 0);
}
