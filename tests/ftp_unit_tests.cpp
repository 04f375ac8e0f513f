// The pure pieces under the FTP client: wildcards, server addresses, paths.
#include <gtest/gtest.h>

#include "base/text.h"
#include "ftp/inet/remote_path.h"
#include "ftp/inet/server_address.h"
#include "ftp/wildcard.h"

TEST(Wildcard, StarQuestionMarkAndTheWindowsAllFilesPattern) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.txt", "a.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"*.txt", "A.TXT", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "ačc", true},
      {"*.*", "README", true},
      {"*.*", ".hidden", true},
      {"*", "", true},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"[ab]", "a", false},
      {"[ab]", "[ab]", true},
      {"*a", "*a", true},
      {"**", "x", true},
      {"report.csv", "report.csv", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
}

TEST(Wildcard, LongHostileNamesStayFast) {
  std::string name(100000, 'a');
  EXPECT_FALSE(WildcardMatch("*a*a*a*a*a*a*a*b", name));
}

TEST(ServerAddress, HostPortAndBracketedIpv6) {
  auto plain = inet::ParseServerAddress("ftp.example.org");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->port, 21);
  EXPECT_EQ(inet::ServerUrl(*plain), "ftp://ftp.example.org:21");
  auto withPort = inet::ParseServerAddress("10.0.0.5:2121");
  ASSERT_TRUE(withPort);
  EXPECT_EQ(withPort->host, "10.0.0.5");
  EXPECT_EQ(withPort->port, 2121);
  auto v6 = inet::ParseServerAddress("[::1]:990");
  ASSERT_TRUE(v6);
  EXPECT_EQ(inet::ServerUrl(*v6), "ftp://[::1]:990");
  auto bareV6 = inet::ParseServerAddress("fe80::1");
  ASSERT_TRUE(bareV6);
  EXPECT_EQ(bareV6->port, 21);
  // The scheme chooses the protection and, for implicit TLS, the default port.
  struct SchemeCase {
    const char* text;
    inet::Tls tls;
    int port;
    const char* url;
  };
  for (const SchemeCase& c :
       {SchemeCase{"ftp://h", inet::Tls::kNone, 21, "ftp://h:21"},
        SchemeCase{"FTPES://h:2121", inet::Tls::kExplicit, 2121, "ftp://h:2121"},
        SchemeCase{"ftps://h", inet::Tls::kImplicit, 990, "ftps://h:990"},
        SchemeCase{"ftps://[::1]:9990", inet::Tls::kImplicit, 9990, "ftps://[::1]:9990"}}) {
    auto parsed = inet::ParseServerAddress(c.text);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(parsed->tls, c.tls) << c.text;
    EXPECT_EQ(parsed->port, c.port) << c.text;
    EXPECT_EQ(inet::ServerUrl(*parsed), c.url);
  }
  for (const char* bad :
       {"", "host:", "host:0", "host:65536", "host:2x", "user@host", "host/path", "a b", "[::1",
        "[::1]x", "ftp://", "sftp://host", "ftps://host/", "ftpes://ftp://host"})
    EXPECT_FALSE(inet::ParseServerAddress(bad)) << bad;
}

TEST(RemotePath, ResolvesAgainstTheCurrentDirectory) {
  EXPECT_EQ(inet::ResolveRemotePath("/in", "a.txt"), "/in/a.txt");
  EXPECT_EQ(inet::ResolveRemotePath("/in", "/out/a.txt"), "/out/a.txt");
  EXPECT_EQ(inet::ResolveRemotePath("/in/x", "../y/./b"), "/in/y/b");
  EXPECT_EQ(inet::ResolveRemotePath("/", "../../.."), "/");
  EXPECT_EQ(inet::ResolveRemotePath("/", "in//a"), "/in/a");
  EXPECT_EQ(inet::ParentOf("/in/a.txt"), "/in");
  EXPECT_EQ(inet::ParentOf("/a.txt"), "/");
  EXPECT_EQ(inet::LeafOf("/in/a.txt"), "a.txt");
}

TEST(RemotePath, UrlKeepsTheNameExactlyAndAbsolute) {
  EXPECT_EQ(inet::UrlPath("/in/a b#?%.txt"), "/%2Fin/a%20b%23%3F%25.txt");
  EXPECT_EQ(inet::UrlPath("/"), "/%2F");
  EXPECT_EQ(inet::UrlPath("/č"), "/%2F%C4%8D");
  EXPECT_TRUE(HasControlCharacter("a\nb"));
  EXPECT_TRUE(HasControlCharacter(std::string("a\0b", 3)));
  EXPECT_TRUE(HasControlCharacter("x\x02y"));
  EXPECT_FALSE(HasControlCharacter("a b č"));
}
