// Opening and closing connections, and the error texts they leave.
#include <gtest/gtest.h>

#include "ftp/inet/connection.h"
#include "tests/ftp_client_fixture.h"

using Session = FtpClientTest;

TEST_F(Session, ConnectsAndStartsInTheLoginDirectory) {
  ASSERT_TRUE(Connect()) << ftp.GetLastErrorMessage();
  EXPECT_EQ(ftp.GetFTPDirectory(), "/");
  EXPECT_EQ(ftp.GetLastErrorMessage(), "");
}

TEST_F(Session, RefusedLoginIsReportedWithLabelCodeAndMessage) {
  server.inject(R"({"fault":"refuse_login"})");
  EXPECT_FALSE(Connect());
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "InternetConnect error code: 12015 Message: "
            "The server refused the login: wrong user name or password.");
}

TEST_F(Session, NoTextEverHoldsThePassword) {
  server.inject(R"({"fault":"refuse_login"})");
  EXPECT_FALSE(Connect());
  EXPECT_EQ(ftp.GetLastErrorMessage().find(server.password()), std::string::npos);
  std::unique_ptr<inet::Session> session = inet::Session::Open();
  const inet::ConnectRequest request{*inet::ParseServerAddress(server.address()),
                                     server.user(),
                                     server.password(),
                                     true,
                                     {},
                                     {},
                                     {}};
  EXPECT_FALSE(session->Connect(request));
  EXPECT_EQ(session->error().reply.rfind("530", 0), 0u) << session->error().reply;
  EXPECT_EQ(session->error().reply.find(server.password()), std::string::npos);
}

TEST_F(Session, UnresolvableNameAndClosedPortHaveTheirOwnCodes) {
  EXPECT_FALSE(ftp.OpenConnection("no-such-host.invalid", "u", "p"));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "InternetConnect error code: 12007 Message: "
            "The server name or address could not be resolved.");
  EXPECT_FALSE(ftp.OpenConnection("127.0.0.1:1", "u", "p"));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "InternetConnect error code: 12029 Message: "
            "A connection with the server could not be established.");
  EXPECT_FALSE(ftp.OpenConnection("", "u", "p"));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("InternetConnect error code: 12007", 0), 0u);
}

TEST_F(Session, ServerAddressMayCarryAPortAndIpv6Brackets) {
  EXPECT_TRUE(ftp.OpenConnection("127.0.0.1:" + std::to_string(server.port()), server.user(),
                                 server.password()));
  // The test server listens on IPv4 only: the bracketed form is parsed and
  // then refused by the network, not by the parser.
  EXPECT_FALSE(ftp.OpenConnection("[::1]:" + std::to_string(server.port()), "u", "p"));
  EXPECT_NE(ftp.GetLastErrorMessage().find("12029"), std::string::npos);
  EXPECT_FALSE(ftp.OpenConnection("127.0.0.1:99999", "u", "p"));
  EXPECT_NE(ftp.GetLastErrorMessage().find("12007"), std::string::npos);
}

TEST_F(Session, ServerRefusalIsTheServersReplyAlone) {
  ASSERT_TRUE(Connect());
  server.inject(R"({"fault":"reply","cmd":"CWD","code":550,"text":"Not here, sorry."})");
  EXPECT_FALSE(ftp.SetFTPDirectory("/elsewhere"));
  EXPECT_EQ(ftp.GetLastErrorMessage(), "550 Not here, sorry.");
}

TEST_F(Session, CloseIsHarmlessAndKeepsTheErrorText) {
  ftp.CloseConnection();
  EXPECT_FALSE(ftp.OpenConnection("127.0.0.1:1", "u", "p"));
  std::string text = ftp.GetLastErrorMessage();
  ftp.CloseConnection();
  ftp.CloseConnection();
  EXPECT_EQ(ftp.GetLastErrorMessage(), text);
  EXPECT_FALSE(ftp.DeleteFTPFile("x"));
  EXPECT_EQ(ftp.GetLastErrorMessage(),
            "DeleteFTPFile error code: 6 Message: There is no connection to the server.");
}

TEST_F(Session, ErrorTextOutlivesALaterSuccess) {
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp.RemoveFTPDirectory("missing"));
  std::string text = ftp.GetLastErrorMessage();
  EXPECT_EQ(text.substr(0, 4), "550 ");
  EXPECT_TRUE(ftp.CreateFTPDirectory("made"));
  EXPECT_EQ(ftp.GetLastErrorMessage(), text);
}

TEST_F(Session, ReconnectingEndsTheOldConnectionAndAFailureLeavesNone) {
  ASSERT_TRUE(Connect());
  EXPECT_FALSE(ftp.OpenConnection("127.0.0.1:1", "u", "p"));
  EXPECT_FALSE(ftp.CreateFTPDirectory("x"));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("CreateFTPDirectory error code: 6", 0), 0u);
}

TEST_F(Session, PassiveAndActiveModesBothList) {
  writeBytes(Remote("a.txt"), "a");
  ftp.SetModePassive();
  ASSERT_TRUE(Connect());
  EXPECT_EQ(ftp.GetFTPdir("*"), "a.txt");
  ftp.SetModeActive();
  // The mode takes effect at the next connection, not before.
  EXPECT_EQ(ftp.GetFTPdir("*"), "a.txt");
  ASSERT_TRUE(Connect());
  EXPECT_EQ(ftp.GetFTPdir("*"), "a.txt");
  std::vector<std::string> sent = server.commands();
  auto count = [&sent](const std::string& prefix) {
    return std::count_if(sent.begin(), sent.end(),
                         [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
  };
  EXPECT_EQ(count("EPSV") + count("PASV"), 2);
  EXPECT_EQ(count("EPRT") + count("PORT"), 1);
  EXPECT_EQ(count("USER"), 2);
}

TEST(SessionWithoutLibrary, FailedSessionMakesEveryConnectFail) {
  cFTP ftp(nullptr);
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("InternetOpen error code: 12004", 0), 0u);
  EXPECT_FALSE(ftp.OpenConnection("127.0.0.1", "u", "p"));
  EXPECT_EQ(ftp.GetLastErrorMessage().rfind("InternetConnect error code: ", 0), 0u);
}
