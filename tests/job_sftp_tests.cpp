// Jobs over SFTP against OpenSSH's sshd: one table of settings and server
// behaviour against what the job must give, in three parts that run apart.
#include <signal.h>

#include <fstream>

#include "tests/job_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/sshd_server.h"

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;

constexpr size_t kSmall = 1000;
// Goes on past the point where a 256 KiB block and a 255-byte piece first
// end together (255 blocks in).
constexpr size_t kLarge = 64 << 20;
constexpr int64_t kCutAfter = 4 << 20;
// <FIELD> stands for the sshd bed's line of that name, <ROOT> for its root.
const Strings kFields = {"PORT", "USER",  "PASS",    "KEY",      "LOCKED", "PHRASE",
                         "PIN",  "KNOWN", "CHANGED", "STRANGER", "FIFO"};
const char kPinned[] = "geslo=<PASS>\nhostkey=<PIN>\n";
const Strings kOddNames = {"a,b.txt", " lead.txt", "\x9a.txt"};

struct SftpCase {
  const char* name;  // what the server does, and how the job logs in
  const char* keys;
  const char* line;  // prenos1
  Strings files;     // on the line's source side, `size` bytes each
  int status;
  const char* text = "";  // in the status lines; <FIELD> as in the keys
  size_t size = kSmall;
  bool program = false;  // the built program rather than the job in this process
  bool cut = false;      // the server's session process is killed mid-transfer
  bool hot = false;      // a hot folder: takes each upload away once all its bytes went
};

// clang-format off
const SftpCase kLogins[] = {
    {"password, pinned key: upload", kPinned, "*.txt,UP,DEL", {"a.txt"}, 0, "", kSmall, true},
    {"key, known host: download", "sshkey=<KEY>\nknownhosts=<KNOWN>", "*.txt,DOWN,DEL", {"a.txt"}, 0, "",
     kSmall, true},
    {"encrypted key: upload", "sshkey=<LOCKED>\nsshkeypass=<PHRASE>\nhostkey=<PIN>", "*.txt,UP,DEL", {"a.txt"}, 0},
    {"key not pinned", "geslo=<PASS>\nhostkey=SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU",
     "*.txt", {"a.txt"}, 2, "not the pinned one (hostkey); nothing secret was sent. The server's host key <PIN>"},
    {"host unknown", "geslo=<PASS>\nknownhosts=<STRANGER>", "*.txt", {"a.txt"}, 2, "its host key is <PIN>"},
    {"host key changed", "geslo=<PASS>\nknownhosts=<CHANGED>", "*.txt", {"a.txt"}, 2, "the server offers <PIN>"},
    {"wrong password", "geslo=wrong\nhostkey=<PIN>", "*.txt", {"a.txt"}, 2,
     "neither the key nor the password was accepted"},
    // A FIFO in a file's place would hold the run for ever.
    {"key file a FIFO", "sshkey=<FIFO>\nhostkey=<PIN>", "*.txt", {"a.txt"}, 2, "<FIFO> is not a regular file"},
    {"known hosts a FIFO", "geslo=<PASS>\nknownhosts=<FIFO>", "*.txt", {"a.txt"}, 2, "<FIFO> cannot be read"},
};

const SftpCase kTransfers[] = {
    {"odd names: download", kPinned, "*.txt,DOWN,DEL", kOddNames, 0},
    {"odd names: upload, absolute ftpdir", "ftpdir=<ROOT>/in/\nsshkey=<KEY>\nhostkey=<PIN>",
     "*.txt,UP,DEL", kOddNames, 0, "", kSmall, true},
    {"temporary name, then the rename over the old file", "tempupload=YES\ngeslo=<PASS>\nhostkey=<PIN>",
     "a.txt,UP", {"a.txt"}, 0},
    {"missing remote directory", "ftpdir=~/missing/\ngeslo=<PASS>\nhostkey=<PIN>", "*.txt,DOWN", {}, 1,
     "No such file or directory on the server"},
    {"hot folder", kPinned, "*.txt,UP,DEL", {"a.txt"}, 0, "", kSmall, false, false, true},
};

const SftpCase kCuts[] = {
    {"session killed mid-download", kPinned, "*.bin,DOWN,DEL", {"big.bin"}, 0,
     "The connection with the server ended unexpectedly.", kLarge, false, true},
};
// clang-format on

class SftpJob : public JobTest {
 protected:
  void SetUp() override {
    if (!SshdServer::CanRun()) GTEST_SKIP() << "sshd checks passwords only as root";
    sshd.emplace();
  }

  std::string Fill(std::string text) const {
    for (const std::string& field : kFields)
      for (size_t at; (at = text.find("<" + field + ">")) != std::string::npos;)
        text.replace(at, field.size() + 2, (*sshd)[field]);
    for (size_t at; (at = text.find("<ROOT>")) != std::string::npos;)
      text.replace(at, 6, sshd->root().string());
    return text;
  }

  // Every process serving a session of this test's sshd (named "sshd: "
  // and the user) descends from this process: only those are killed.
  // All are found before any is killed: a session's child whose parent is
  // gone no longer descends from here.
  void KillSessions() const {
    std::vector<int> sessions;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      const int pid = std::atoi(entry.path().filename().c_str());
      // A process may end while the list is read: it then has no command.
      std::ifstream cmdline(entry.path() / "cmdline");
      std::string command;
      if (pid > 0) std::getline(cmdline, command, '\0');
      if (command.rfind(Fill("sshd: <USER>"), 0) == 0 && Descends(pid)) sessions.push_back(pid);
    }
    for (int pid : sessions) kill(pid, SIGKILL);
  }

  static bool Descends(int pid) {
    for (int at = pid; at > 1;) {
      std::ifstream stat("/proc/" + std::to_string(at) + "/stat");
      std::string skip;
      stat >> skip >> skip >> skip >> at;
      if (at == getpid()) return true;
    }
    return false;
  }

  void RunTable(const std::vector<SftpCase>& cases) {
    const fs::path remote = sshd->root() / "in";
    for (const SftpCase& c : cases) {
      SCOPED_TRACE(c.name);
      for (const fs::path& dir : {local.path(), remote, work.path()}) fs::remove_all(dir);
      fs::create_directories(local.path());
      fs::create_directories(remote);
      fs::permissions(remote, fs::perms::all);
      const bool down = std::string(c.line).find("DOWN") != std::string::npos;
      const fs::path from = down ? remote : local.path(), to = down ? local.path() : remote;
      for (const std::string& name : c.files) writeBytes(from / name, randomBytes(c.size, name[1]));
      const bool temporary = std::string(c.keys).find("tempupload") != std::string::npos;
      if (temporary) writeBytes(remote / c.files[0], "old");
      fs::create_directories(work.path());
      WriteSettings(ProgramSection("J") + Fill("[J]\nFTPURL=sftp://127.0.0.1:<PORT>\n" +
                                               std::string(c.keys) + "\nuporabnik=<USER>\n" +
                                               "ftpdir=~/in/\nlocaldir=" + local.path().string() +
                                               "/\nprenos1=" + c.line + "\n"));
      bool cut = c.cut;
      Strings during;  // the remote names at the first progress event
      prepareClient = [&](cFTP& client) {
        client.FileTransferRun = nullptr;  // each event by itself: the cut falls where asked
        client.FileTransferProgress = [&, shown = client.FileTransferProgress](int64_t at,
                                                                               int64_t total) {
          if (std::exchange(cut, cut && at < kCutAfter) && at >= kCutAfter) KillSessions();
          if (during.empty()) during = Names(remote);
          shown(at, total);
        };
        if (c.hot)
          client.ShowTransferText = [&](const std::string&) { fs::remove(remote / "a.txt"); };
      };
      const size_t logged = sshd->log().size();
      const JobResult result = c.program ? RunProgram() : Run();
      EXPECT_EQ(result.status, c.status) << result.out;
      EXPECT_NE(result.out.find(Fill(c.text)), std::string::npos) << result.out;
      for (const std::string& name : c.files) {
        const std::string bytes = randomBytes(c.size, name[1]);
        // Compared whole but not printed: a large file's bytes would drown the report.
        EXPECT_TRUE((fs::exists(to / name) ? readBytes(to / name) : "") ==
                    (c.status == 0 && !c.hot ? bytes : ""))
            << name;
        EXPECT_EQ(fs::exists(from / name), c.status != 0 || !strstr(c.line, "DEL")) << name;
      }
      // A text that names the key offered refuses the host: no password went.
      EXPECT_TRUE(std::string(c.text).find("<PIN>") == std::string::npos ||
                  sshd->log().find("password", logged) == std::string::npos);
      // An upload goes under its own name, or beside it under a hidden one.
      EXPECT_EQ(std::count_if(during.begin(), during.end(), [](auto& n) { return n[0] == '.'; }),
                temporary ? 1 : 0);
      EXPECT_EQ(Names(remote).size(), down || c.status != 0 || c.hot ? 0 : c.files.size())
          << "left behind";
    }
  }

  std::optional<SshdServer> sshd;
};

TEST_F(SftpJob, LogsInOnlyToTheHostMeant) { RunTable({std::begin(kLogins), std::end(kLogins)}); }

TEST_F(SftpJob, MovesFilesAsOverFtp) { RunTable({std::begin(kTransfers), std::end(kTransfers)}); }

TEST_F(SftpJob, RetriesACutTransfer) { RunTable({std::begin(kCuts), std::end(kCuts)}); }

}  // namespace
