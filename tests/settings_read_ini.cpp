#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "settings/rwini1.h"

namespace {

namespace fs = std::filesystem;

// A settings file of its own for each test, removed afterwards.
class IniFile : public ::testing::Test {
 protected:
  IniFile() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::temp_directory_path() / ("kestrin_settings_" + std::string(info->name()) + "_" +
                                         std::to_string(std::random_device{}()) + ".ini");
  }
  ~IniFile() override { fs::remove(path_); }

  void Write(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Read(const std::string& section, const std::string& key) const {
    return ReadINI(section, key, path_.string());
  }

  fs::path path_;
};

struct Lookup {
  std::string section;
  std::string key;
  std::string expected;
};

const std::vector<Lookup> kSyntaxCases = {
    {"PROGRAM", "IZBRANO", "J1"},
    {"program", "izbrano", "J1"},            // names ignore case
    {" J1\t", "FTPURL", "ftp.example.com"},  // blanks around names and value
    {"J1", "ftpdir", "  /in/ "},             // one pair of quotes goes, blanks inside stay
    {"J1", "localdir", "C:\\out\\"},         // apostrophes are quotes too
    {"J1", "mismatched", "\"abc'"},
    {"J1", "lone", "\""},
    {"J1", "prenos1", "*.txt,UP,DEL;note"},  // no inline comments
    {"J1", "geslo", "first"},                // comment skipped, first key wins
    {"J1", "; geslo", ""},                   // a comment is no key
    {"J1", "uporabnik", ""},                 // only in the repeated section
    {"J1", "run1", ""},                      // present but empty
    {"J1", "novalue", ""},                   // no "=": not a key
    {"J1", "missing", ""},
    {"Nowhere", "geslo", ""},
    {"Empty", "geslo", ""},  // section without keys
    {"Other", "geslo", "other"},
    {"", "orphan", ""},  // lines before any section
};

TEST_F(IniFile, FollowsTheProfileSyntax) {
  Write(
      "orphan=1\n"
      "; settings\n"
      "[PROGRAM]\n"
      "IZBRANO=J1\n"
      "  [ j1 ]  \n"
      "\tFTPURL\t=  ftp.example.com  \n"
      "ftpdir = \"  /in/ \"\n"
      "localdir='C:\\out\\'\n"
      "mismatched=\"abc'\n"
      "lone=\"\n"
      "prenos1=*.txt,UP,DEL;note\n"
      "   ; geslo=commented\n"
      "geslo=first\n"
      "GESLO=second\n"
      "run1=\n"
      "novalue\n"
      "[Empty]\n"
      "[J1]\n"
      "uporabnik=later\n"
      "[Other]\n"
      "geslo=other\n");
  for (const auto& c : kSyntaxCases) {
    EXPECT_EQ(Read(c.section, c.key), c.expected) << "[" << c.section << "] " << c.key;
  }
}

TEST_F(IniFile, EveryLineEndWorks) {
  for (const std::string eol : {"\n", "\r\n", "\r"}) {
    Write("[A]" + eol + "x=1" + eol + "y=2" + eol + "[B]" + eol + "z=3");
    EXPECT_EQ(Read("A", "x"), "1") << testing::PrintToString(eol);
    EXPECT_EQ(Read("A", "y"), "2") << testing::PrintToString(eol);
    EXPECT_EQ(Read("B", "z"), "3") << testing::PrintToString(eol);
  }
  Write("[A]\r\nx=1\ny=2\rz=3\r\n");
  EXPECT_EQ(Read("A", "x") + Read("A", "y") + Read("A", "z"), "123");
}

TEST_F(IniFile, MissingFileReadsEmpty) { EXPECT_EQ(Read("A", "x"), ""); }

// Rewritten in place at once (same size, maybe the same time stamp), and
// replaced by another file: each read sees the file as it is now.
TEST_F(IniFile, ReadsTheFileAgainOnEveryChange) {
  Write("[A]\nx=old\n");
  EXPECT_EQ(Read("A", "x"), "old");
  Write("[A]\nx=new\n");
  EXPECT_EQ(Read("A", "x"), "new");
  std::ofstream(path_.string() + ".new", std::ios::binary) << "[A]\nx=newer\n";
  fs::rename(path_.string() + ".new", path_);
  EXPECT_EQ(Read("A", "x"), "newer");
}

TEST_F(IniFile, CutsValuesTo254Characters) {
  std::string latin;
  for (int i = 0; i < 300; ++i) latin += static_cast<char>('a' + i % 26);
  std::string sh, shCut;
  for (int i = 0; i < 300; ++i) sh += "š";
  for (int i = 0; i < 254; ++i) shCut += "š";
  const std::string a253(253, 'a');
  struct Cut {
    std::string stored;
    std::string read;
    bool cut = true;  // and so told by IsINIValueCut
  };
  const std::vector<Cut> cases = {
      {latin, latin.substr(0, 254)},
      {"\"" + latin + "\"", latin.substr(0, 254)},  // quotes go before the cut
      {sh, shCut},
      {a253 + "€€", a253 + "€"},  // never half a character
      {shCut, shCut, false},
      {"\"" + a253 + "\"", a253, false},
  };
  for (const auto& c : cases) {
    Write("[A]\nx=" + c.stored + "\n");
    EXPECT_EQ(Read("A", "x"), c.read) << c.stored.size() << " bytes";
    EXPECT_EQ(IsINIValueCut("A", "x", path_.string()), c.cut) << c.stored.size() << " bytes";
  }
}

TEST_F(IniFile, SkipsUtf8ByteOrderMark) {
  Write("\xEF\xBB\xBF[Čas]\nopis=šččž\n");
  EXPECT_EQ(Read("Čas", "opis"), "šččž");
}

TEST_F(IniFile, ReadsWindows1250FilesAsUtf8) {
  Write(
      "[\xC8"
      "as]\r\nopis=\x9A\xE8\xE8\x9E \x8A\xC8\x8E \xE6\xF0 \x80\r\n");
  EXPECT_EQ(Read("Čas", "opis"), "šččž ŠČŽ ćđ €");
}

TEST_F(IniFile, SurvivesHostileContent) {
  std::mt19937 random(7);
  std::string garbage;
  for (int i = 0; i < 65'536; ++i) garbage += static_cast<char>(random());
  Write(garbage);
  EXPECT_EQ(Read("PROGRAM", "IZBRANO"), "");

  const std::string huge(1 << 20, 'x');
  Write("[A]\n" + huge + "\nlong=" + huge + "\nx=after\n");
  EXPECT_EQ(Read("A", "long"), huge.substr(0, 254));
  EXPECT_EQ(Read("A", "x"), "after");
}

}  // namespace
