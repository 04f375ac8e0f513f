// Protected connections and uploads under a temporary name, through the
// built program: one table of settings against vsftpd (plain, explicit and
// implicit TLS) and what each must give; then uploads under a temporary
// name broken at their worst moments, against the fault-injecting server.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>

#include "tests/job_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/vsftpd_server.h"

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using Tls = VsftpdServer::Tls;
using Certificate = VsftpdServer::Certificate;

namespace {

const std::string kNoVerifyWarning = "tlsverify=NO";
const std::string kTempName = ".a.bin.kestrin-part";

enum class Trust { kSystem, kCaFile, kNoCheck };

struct TlsCase {
  const char* name;
  Tls server;
  Certificate certificate;
  const char* url;  // "<port>" stands for the server's port
  Trust trust;
  bool passive;
  bool tempUpload;
  bool wrongPassword;
  int status;             // 0: both files moved; 2: no connection
  const char* errorPart;  // of the error text when there is no connection
};

// Failures name the case, not its bytes.
void PrintTo(const TlsCase& c, std::ostream* out) { *out << c.name; }

constexpr auto kValid = Certificate::kValid;

const TlsCase kCases[] = {
    {"Explicit", Tls::kExplicit, kValid, "ftpes://localhost:<port>", Trust::kCaFile, true, false,
     false, 0, ""},
    {"Implicit", Tls::kImplicit, kValid, "ftps://localhost:<port>", Trust::kCaFile, true, false,
     false, 0, ""},
    {"ExplicitTempUpload", Tls::kExplicit, kValid, "ftpes://localhost:<port>", Trust::kCaFile, true,
     true, false, 0, ""},
    {"NoCheckWarns", Tls::kExplicit, kValid, "ftpes://localhost:<port>", Trust::kNoCheck, true,
     false, false, 0, ""},
    // Debian 12's libcurl (7.88) would not protect an active data connection:
    // refused before anything is sent.
    {"ExplicitActive", Tls::kExplicit, kValid, "ftpes://localhost:<port>", Trust::kCaFile, false,
     false, false, 2, "active mode"},
    {"ImplicitActive", Tls::kImplicit, kValid, "ftps://localhost:<port>", Trust::kCaFile, false,
     false, false, 2, "active mode"},
    {"SelfSignedUntrusted", Tls::kExplicit, kValid, "ftpes://localhost:<port>", Trust::kSystem,
     true, false, false, 2, "unknown issuer"},
    {"WrongName", Tls::kExplicit, kValid, "ftpes://127.0.0.1:<port>", Trust::kCaFile, true, false,
     false, 2, "another host name"},
    {"Expired", Tls::kImplicit, Certificate::kExpired, "ftps://localhost:<port>", Trust::kCaFile,
     true, false, false, 2, "expired"},
    {"ServerWithoutTls", Tls::kNone, kValid, "ftpes://127.0.0.1:<port>", Trust::kSystem, true,
     false, false, 2, "offers no TLS"},
    // Plain FTP on a second server, as every job so far.
    {"PlainPassive", Tls::kNone, kValid, "127.0.0.1:<port>", Trust::kSystem, true, false, false, 0,
     ""},
    {"PlainActiveScheme", Tls::kNone, kValid, "ftp://127.0.0.1:<port>", Trust::kSystem, false,
     false, false, 0, ""},
    {"PlainTempUpload", Tls::kNone, kValid, "ftp://localhost:<port>", Trust::kSystem, true, true,
     false, 0, ""},
    {"PlainWrongPassword", Tls::kNone, kValid, "127.0.0.1:<port>", Trust::kSystem, true, false,
     true, 2, "refused the login"},
};

// Where `verb` first comes among the commands, or -1.
int FirstIndex(const Strings& commands, const std::string& verb) {
  auto at = std::find_if(commands.begin(), commands.end(),
                         [&](const std::string& c) { return c.rfind(verb, 0) == 0; });
  return at == commands.end() ? -1 : static_cast<int>(at - commands.begin());
}

int Count(const Strings& lines, const std::string& part) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(part) != std::string::npos;
  }));
}

}  // namespace

// Each case uploads a.bin and downloads b.bin, both with DEL, under /in/.
class TlsJob : public JobTest, public ::testing::WithParamInterface<TlsCase> {
 protected:
  void SetUp() override {
    if (!VsftpdServer::CanRun()) GTEST_SKIP() << "vsftpd serves local users only to root";
    const TlsCase& c = GetParam();
    vsftpd.emplace(c.server, c.certificate);
    url = c.url;
    url.replace(url.find("<port>"), 6, std::to_string(vsftpd->port()));
    fs::create_directory(vsftpd->root() / "in");
    writeBytes(vsftpd->root() / "in/b.bin", down);
    writeBytes(Local("a.bin"), up);
    vsftpd->HandOver();
  }

  std::string Settings() const {
    const TlsCase& c = GetParam();
    std::string keys = "[PROGRAM]\nIZBRANO=T\n[T]\nFTPURL=" + url +
                       "\nuporabnik=" + vsftpd->user() +
                       "\ngeslo=" + (c.wrongPassword ? "wrong" : "") + vsftpd->password() +
                       "\nlocaldir=" + local.path().string() +
                       "/\nftpdir=/in/\nprenos1=a.bin,UP,DEL\nprenos2=b.bin,DOWN,DEL\n";
    if (c.passive) keys += "mode=PASIVE\n";
    if (c.trust == Trust::kCaFile) keys += "cafile=" + vsftpd->certificate().string() + "\n";
    if (c.trust == Trust::kNoCheck) keys += "tlsverify=NO\n";
    if (c.tempUpload) keys += "tempupload=YES\n";
    return keys;
  }

  void ExpectMoved(const JobResult& run) const {
    EXPECT_EQ(Records(run.log), (Strings{Moved(Local("a.bin").string(), "/in/a.bin"),
                                         Moved("/in/b.bin", Local("b.bin").string())}));
    EXPECT_EQ(readBytes(vsftpd->root() / "in/a.bin"), up);
    EXPECT_EQ(readBytes(Local("b.bin")), down);
    EXPECT_EQ(Names(vsftpd->root() / "in"), Strings{"a.bin"});
    EXPECT_FALSE(fs::exists(Local("a.bin")));
  }

  void ExpectNothingMoved(const JobResult& run) const {
    const std::string error = AfterPrefix(run.out, kFailurePrefix);
    EXPECT_NE(error.find(GetParam().errorPart), std::string::npos) << run.out;
    EXPECT_EQ(Records(run.log), Strings{NotConnected(url, error)});
    EXPECT_TRUE(fs::exists(Local("a.bin")));
    EXPECT_EQ(Names(vsftpd->root() / "in"), Strings{"b.bin"});
  }

  void ExpectExchange(const Strings& commands) const {
    const TlsCase& c = GetParam();
    const int user = FirstIndex(commands, "USER"), pass = FirstIndex(commands, "PASS");
    if (c.server == Tls::kExplicit && c.status == 0) {
      EXPECT_GE(FirstIndex(commands, "AUTH TLS"), 0);
      EXPECT_LT(FirstIndex(commands, "AUTH TLS"), user);
    }
    if (c.server != Tls::kNone && c.status == 0) {
      EXPECT_LT(user, pass);
      EXPECT_GE(FirstIndex(commands, "PROT P"), 0);
    }
    // Nothing that fails before the login may let the password out.
    if (c.status != 0 && !c.wrongPassword) {
      EXPECT_EQ(pass, -1);
    }
    if (c.tempUpload && c.status == 0) {
      const int stor = FirstIndex(commands, "STOR /in/" + kTempName);
      const int from = FirstIndex(commands, "RNFR /in/" + kTempName);
      EXPECT_GE(stor, 0);
      EXPECT_LT(stor, from);
      EXPECT_EQ(FirstIndex(commands, "RNTO /in/a.bin"), from + 1);
    }
    if (!c.tempUpload) {
      EXPECT_EQ(FirstIndex(commands, "RNFR"), -1);
    }
    // The final name is written to directly only without tempupload.
    const int direct = FirstIndex(commands, "STOR /in/a.bin");
    if (c.status == 0 && !c.tempUpload) {
      EXPECT_GE(direct, 0);
    } else {
      EXPECT_EQ(direct, -1);
    }
  }

  std::optional<VsftpdServer> vsftpd;
  std::string url;
  const std::string up = randomBytes(300000, 1), down = randomBytes(200000, 2);
};

TEST_P(TlsJob, MovesOrRefusesAsSet) {
  const TlsCase& c = GetParam();
  WriteSettings(Settings());
  const JobResult run = Run();
  EXPECT_EQ(run.status, c.status) << run.out << run.err;
  if (c.status == 0)
    ExpectMoved(run);
  else
    ExpectNothingMoved(run);
  ExpectExchange(vsftpd->commands());
  EXPECT_EQ(Count(Lines(run.err), kNoVerifyWarning), c.trust == Trust::kNoCheck ? 1 : 0) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Settings, TlsJob, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// tempupload=YES against the fault-injecting server: whatever breaks before
// the rename leaves nothing under the final name, and the source stays.
class TempUpload : public JobTest {
 protected:
  TempUpload() {
    fs::create_directory(Remote("in"));
    writeBytes(Local("a.bin"), randomBytes(2000000, 3));
    WriteSettings(
        ProgramSection("J") +
        JobSection("J", "mode=PASIVE\nftpdir=/in/\ntempupload=YES\nprenos1=a.bin,UP,DEL"));
  }

  void ExpectNothingUnderFinalName() const {
    EXPECT_FALSE(fs::exists(Remote("in/a.bin")));
    EXPECT_TRUE(fs::exists(Local("a.bin")));
  }
};

TEST_F(TempUpload, CutOrRefusedRenameLeavesNothing) {
  for (const std::string fault :
       {R"({"fault":"drop_data","cmd":"STOR","bytes":100000})",
        R"({"fault":"reply","cmd":"RNTO","code":553,"text":"Rename refused."})"}) {
    SCOPED_TRACE(fault);
    server.clearFaults();
    server.inject(fault);
    const int storedBefore = Received("STOR /in/" + kTempName);
    const JobResult run = Run();
    EXPECT_EQ(run.status, 1) << run.out;
    ExpectNothingUnderFinalName();
    // Every attempt went to the temporary name, which was removed after each.
    EXPECT_EQ(Received("STOR /in/" + kTempName) - storedBefore, 3);
    EXPECT_EQ(Names(Remote("in")), Strings{});
  }
}

TEST_F(TempUpload, KilledBeforeRenameLeavesNothing) {
  server.inject(R"({"fault":"hang","cmd":"RNFR"})");
  const JobResult run = RunKilledWhen([this] { return Received("RNFR") > 0; });
  EXPECT_EQ(run.status, -1);
  ExpectNothingUnderFinalName();
  EXPECT_EQ(Names(Remote("in")), Strings{kTempName});
}

// Five uploads, then five downloads, over explicit TLS against a server that
// demands every data connection resume the login's TLS session: no attempt
// fails for it, so the job needs one login.
class TlsSession : public JobTest {};

TEST_F(TlsSession, ManyFilesInOneSessionWithoutARetry) {
  if (!VsftpdServer::CanRun()) GTEST_SKIP() << "vsftpd serves local users only to root";
  VsftpdServer vsftpd(Tls::kExplicit);
  fs::create_directory(vsftpd.root() / "in");
  for (const char n : std::string("12345")) {
    writeBytes(vsftpd.root() / "in" / (n + std::string(".down")), randomBytes(200000, n));
    writeBytes(Local(n + std::string(".up")), randomBytes(300000, n + 5));
  }
  vsftpd.HandOver();
  WriteSettings("[PROGRAM]\nIZBRANO=T\n[T]\nFTPURL=ftpes://localhost:" +
                std::to_string(vsftpd.port()) + "\nuporabnik=" + vsftpd.user() +
                "\ngeslo=" + vsftpd.password() + "\nlocaldir=" + local.path().string() +
                "/\nftpdir=/in/\nmode=PASIVE\ncafile=" + vsftpd.certificate().string() +
                "\nprenos1=*.up,UP,DEL\nprenos2=*.down,DOWN,DEL\n");
  EXPECT_EQ(Run().status, 0);
  EXPECT_EQ(Count(vsftpd.commands(), "USER"), 1);
}
