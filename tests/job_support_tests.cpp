#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <thread>

#include "job/follow_up.h"
#include "job/local_files.h"
#include "job/present_value.h"
#include "job/program_dir.h"
#include "job/transfer_log.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Each test gets a fresh directory, removed afterwards.
class JobSupport : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/jobkit-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Touch(const std::string& name) { std::ofstream(dir_ / name) << "x"; }
  std::string In(const std::string& pattern) const { return (dir_ / pattern).string(); }
  // The names listed for `pattern` joined by "|", or the listing's error.
  std::string Listed(const std::string& pattern) const {
    std::vector<ListedFile> files;
    std::string error, names;
    if (!ListLocalFiles(In(pattern), files, error)) return "failed: " + error;
    for (const ListedFile& file : files) names += (names.empty() ? "" : "|") + file.name;
    return names;
  }
  fs::path dir_;
};

}  // namespace

TEST(PresentValue, ComparesAboveASingleSpace) {
  for (const char* absent : {"", " ", "\t", "\x01text", "\x1f"})
    EXPECT_FALSE(IsPresent(absent)) << absent;
  for (const char* present : {" x", "  ", "!", "a", "\x7f",
                              "\xC5\xBE"
                              "aba"})
    EXPECT_TRUE(IsPresent(present)) << present;
}

TEST_F(JobSupport, ListsMatchingRegularFilesInByteOrder) {
  const std::string longName = std::string(251, 'n') + ".txt";
  for (const std::string& name :
       std::initializer_list<std::string>{"b.txt", "a.txt", "a b.txt", "\xC4\x8D.txt", "x,y.txt",
                                          "-lead.txt", longName, "Z.TXT", "README", ".hidden.txt",
                                          "\x01"
                                          "ctl.txt",
                                          " "})
    Touch(name);
  fs::create_directory(dir_ / "sub.txt");
  Touch("sub.txt/a1.csv");
  Touch("sub.txt/b1.csv");
  ASSERT_EQ(mkfifo(In("pipe.txt").c_str(), 0600), 0);
  fs::create_symlink(dir_ / "a.txt", dir_ / "link.txt");
  fs::create_directory_symlink(dir_ / "sub.txt", dir_ / "dirlink.txt");

  // Every name comes as its bytes, "," and control characters included.
  const std::string txt = "a b.txt|a.txt|b.txt|link.txt|" + longName + "|x,y.txt|\xC4\x8D.txt";
  EXPECT_EQ(Listed("*.txt"),
            "\x01"
            "ctl.txt|-lead.txt|" +
                txt);
  EXPECT_EQ(Listed("*.*"),
            "\x01"
            "ctl.txt| |-lead.txt|README|Z.TXT|" +
                txt);
  EXPECT_EQ(Listed("?.txt"), "a.txt|b.txt|\xC4\x8D.txt");
  EXPECT_EQ(Listed("sub.txt/a*.csv"), "a1.csv");
  EXPECT_EQ(Listed("*.csv"), "");
  EXPECT_EQ(Listed("missing/*.*"), "failed: The local directory " + In("missing") +
                                       " cannot be read: No such file or directory");
}

TEST(TransferLog, RecordsCarryTheLocalDateTime) {
  std::string stamp, success, failure;
  do {
    stamp = DateTimeText();
    success = SuccessRecord("/out/a.txt", "/in/a.txt");
    failure = FailureRecord("/in/b.txt", "/out/b.txt", "550 Ni datoteke");
  } while (stamp != DateTimeText());  // the clock ticked meanwhile: again
  // Without setlocale the C locale applies: MM/DD/YY HH:MM:SS.
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)"))) << stamp;
  EXPECT_EQ(success, stamp + " /out/a.txt----->/in/a.txt");
  EXPECT_EQ(failure, "NAPAKA" + stamp + " /in/b.txt----->/out/b.txt 550 Ni datoteke");
}

TEST_F(JobSupport, LogRecordsAreAppendedWithCrLfInTheWorkingDirectory) {
  const fs::path home = fs::current_path();
  fs::current_path(dir_);
  const bool appended = AppendLogRecord("prvi") && AppendLogRecord("drugi \xC5\xA1");
  const std::string written = ReadFile(dir_ / "KESTRIN.log");
  fs::remove(dir_ / "KESTRIN.log");
  fs::create_directory(dir_ / "KESTRIN.log");
  const bool intoDirectory = AppendLogRecord("x");
  fs::current_path(home);
  EXPECT_TRUE(appended);
  EXPECT_EQ(written, "prvi\r\ndrugi \xC5\xA1\r\n");
  EXPECT_FALSE(intoDirectory);
}

TEST_F(JobSupport, FollowUpRunsInItsOwnSessionWithoutInput) {
  // The shell reports its pid, its session (field 6 of its stat) and its input.
  const std::string command =
      "cd '" + dir_.string() +
      "' && { echo $$; cut -d' ' -f6 /proc/$$/stat; readlink /proc/$$/fd/0; } > t && mv t done";
  // Our own input is a pipe while the command starts, so inheriting it shows.
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const int savedInput = dup(STDIN_FILENO);
  dup2(pipeEnds[0], STDIN_FILENO);
  std::string error;
  const bool started = StartFollowUpCommand(command, error);
  dup2(savedInput, STDIN_FILENO);
  for (int fd : {savedInput, pipeEnds[0], pipeEnds[1]}) close(fd);
  ASSERT_TRUE(started) << error;

  for (int i = 0; i < 100 && !fs::exists(dir_ / "done"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::istringstream answer(ReadFile(dir_ / "done"));
  pid_t shell = 0, session = 0;
  std::string input;
  answer >> shell >> session >> input;
  EXPECT_NE(session, getsid(0));
  EXPECT_EQ(session, shell);
  EXPECT_EQ(input, "/dev/null");

  EXPECT_FALSE(StartFollowUpCommand("true", error, "/nonexistent/sh"));
  EXPECT_EQ(error, "/nonexistent/sh: No such file or directory");
}

TEST(ProgramDirectory, IsWhereTheTestBinaryLies) {
  EXPECT_EQ(ProgramDirectory(), fs::canonical(JOB_SUPPORT_TESTS_DIR).string());
}
