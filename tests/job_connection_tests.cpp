// A job whose connection cannot be opened: no transfers, yet a record, a
// status of its own, and the follow-up commands as after any other run.
#include <gtest/gtest.h>

#include "tests/job_fixture.h"
#include "tests/support/file_bytes.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

class NoConnection : public JobTest {
 protected:
  NoConnection() {
    fs::create_directory(Remote("in"));
    writeBytes(Local("a.txt"), "a");
  }

  // A job on `serverText` that would upload a.txt and then run a command.
  void WriteJob(const std::string& serverText) const {
    WriteSettings(ProgramSection("J1") +
                  JobSection("J1",
                             "ftpdir=/in/\nprenos1=a.txt,UP,DEL\nrun1=" + TouchCommand("done"),
                             serverText));
  }

  // Expected of every such run: status 2, the error on standard output, one
  // failure record naming the server, nothing moved, the command started.
  void ExpectNoConnectionRun(const JobResult& run, const std::string& serverText,
                             const std::string& errorPart) const {
    EXPECT_EQ(run.status, 2) << run.err;
    const std::string error = AfterPrefix(run.out, kFailurePrefix);
    EXPECT_NE(error.find(errorPart), std::string::npos) << run.out;
    EXPECT_EQ(Records(run.log), Strings{NotConnected(serverText, error)});
    EXPECT_TRUE(fs::exists(Local("a.txt")));
    EXPECT_TRUE(Names(Remote("in")).empty());
    EXPECT_TRUE(ExistsWithin(Marker("done"), 5s));
    EXPECT_GE(run.elapsed, 5s);
  }
};

// Nothing listens on port 1.
TEST_F(NoConnection, UnreachableServer) {
  WriteJob("127.0.0.1:1");
  const JobResult run = Run();
  ExpectNoConnectionRun(run, "127.0.0.1:1", "could not be established");
}

// Server: refuses the login.
TEST_F(NoConnection, RefusedLogin) {
  server.inject(R"({"fault":"refuse_login"})");
  WriteJob(server.address());
  const JobResult run = Run();
  ExpectNoConnectionRun(run, server.address(), "refused the login");
  EXPECT_EQ(Received("STOR"), 0);
}
