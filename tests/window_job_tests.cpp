// The window with a job behind it: what loading puts into the controls, the
// close button in the middle of a transfer, and input on the other controls.
#include "app/frm_update.h"
#include "job/program_dir.h"
#include "tests/support/file_bytes.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string LoadedField(const std::string& ini, QLineEdit* FrmUpdate::*field, FrmUpdate& window) {
  TempDir dir;
  writeBytes(dir.path() / "kestrin.ini", ini);
  window.mIniFile = (dir.path() / "kestrin.ini").string();
  window.Form_Load();
  return (window.*field)->text().toStdString();
}

// True once a download has begun writing its hidden temporary file.
bool HasPartialDownload(const std::filesystem::path& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::error_code error;
    if (entry.path().filename().string().starts_with(".") && entry.file_size(error) > 0)
      return true;
  }
  return false;
}

// Job J of `server` in passive mode, the root as its remote directory and
// `local` as its local one, with `keys` after that.
std::string SettingsText(const FtpTestServer& server, const TempDir& local,
                         const std::string& keys) {
  return "[PROGRAM]\nIZBRANO=J\n[J]\nFTPURL=" + server.address() +
         "\nftpdir=/\nlocaldir=" + local.path().string() + "/\nuporabnik=" + server.user() +
         "\ngeslo=" + server.password() + "\nmode=PASIVE\n" + keys + "\n";
}

bool HasHiddenFile(const std::filesystem::path& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().starts_with(".")) return true;
  return false;
}

}  // namespace

TEST(WindowLoad, FillsServerDirectoriesAndModeFromTheSelectedSection) {
  FrmUpdate window;
  const std::string ini =
      "[PROGRAM]\nIZBRANO=J1\n[J1]\nFTPURL=ftp.example.org\nftpdir=/in/\n"
      "localdir=/data/out/\nuporabnik=jan\ngeslo=skrito\nmode=PASIVE\n";
  EXPECT_EQ(LoadedField(ini, &FrmUpdate::textURL, window), "ftp.example.org");
  EXPECT_EQ(window.textDIR->text().toStdString(), "/in/");
  EXPECT_EQ(window.textLDIR->text().toStdString(), "/data/out/");
  EXPECT_EQ(window.Lblmode->text().toStdString(), "Pasivno");
  EXPECT_EQ(window.mJob.Settings().user, "jan");
  EXPECT_EQ(window.mJob.Settings().password, "skrito");
  EXPECT_TRUE(window.mFirstActivate);
}

TEST(WindowLoad, AnythingButTheExactModeWordIsActive) {
  for (const char* mode : {"pasive", "PASSIVE", "", "PASIVE."}) {
    FrmUpdate window;
    LoadedField(std::string("[PROGRAM]\nIZBRANO=J\n[J]\nmode=") + mode + "\n", &FrmUpdate::textURL,
                window);
    EXPECT_EQ(window.Lblmode->text().toStdString(), "Aktivno") << mode;
  }
}

TEST(WindowLoad, AbsentLocalDirectoryMeansTheProgramsOwn) {
  for (const char* localdir : {"", " ", "\x01x"}) {
    FrmUpdate window;
    const std::string ini = std::string("[PROGRAM]\nIZBRANO=J\n[J]\nlocaldir=") + localdir + "\n";
    EXPECT_EQ(LoadedField(ini, &FrmUpdate::textLDIR, window), ProgramDirectory() + "/");
  }
  FrmUpdate window;
  EXPECT_EQ(LoadedField("", &FrmUpdate::textURL, window), "");
  EXPECT_EQ(window.mJob.Settings().section, "");
}

// The server holds a large file; while part of it is already on disk the user
// presses "Zapri": the program ends at once with status 3, leaves no
// half-written file behind and starts no follow-up command. The click waits
// for the partial file, not for a clock, so a fast machine cannot finish the
// download first.
TEST(WindowCloseButton, EndsARunningTransferAndLeavesNoPartialFile) {
  GTEST_FLAG_SET(death_test_style, "fast");
  FtpTestServer server;
  TempDir local;
  TempDir settings;
  writeBytes(server.root() / "large.bin", randomBytes(64 << 20, 5));
  writeBytes(settings.path() / "kestrin.ini",
             SettingsText(server, local,
                          "prenos1=large.bin,DOWN\nrun1=touch " + (local.path() / "ran").string()));
  EXPECT_EXIT(
      {
        FrmUpdate window;
        window.mIniFile = (settings.path() / "kestrin.ini").string();
        window.Form_Load();
        // Not shown: a forked child must not paint (Qt's painting
        // threads are not there after fork).
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
          if (HasPartialDownload(local.path())) window.Command3->click();
        });
        watch.start(0);
        window.Form_Activate();
      },
      ::testing::ExitedWithCode(3), "");
  EXPECT_TRUE(std::filesystem::is_empty(local.path()));
  EXPECT_TRUE(std::filesystem::exists(server.root() / "large.bin"));
}

// The user ends the run while the job waits: on the server (login, listing,
// DELE, QUIT, a stalled download) or in a pause (after a failed attempt,
// before the follow-up commands); last with the window's own close button,
// in the middle of a stalled download. Expected each time: the click is
// acted on within 50 ms of being made, status 3, no partial file left.
TEST(WindowCloseButton, EndsTheRunWithin50MsWhateverItWaitsFor) {
  GTEST_FLAG_SET(death_test_style, "fast");
  constexpr int kClickAtMs = 700, kMostLateMs = 50, kLate = 5;
  struct Moment {
    const char* name;
    const char* fault;
    const char* keys;
    bool windowClose;
  };
  const Moment moments[] = {
      {"login", R"({"fault":"hang","cmd":"PASS"})", "", false},
      {"listing", R"({"fault":"hang","cmd":"MLSD"})", "prenos1=*.bin,DOWN", false},
      {"delete", R"({"fault":"hang","cmd":"DELE"})", "prenos1=a.bin,DOWN,DEL", false},
      {"quit", R"({"fault":"hang","cmd":"QUIT"})", "", false},
      {"stalled download", R"({"fault":"trickle","cmd":"RETR"})", "prenos1=a.bin,DOWN", false},
      {"pause after a failure", R"({"fault":"reply","cmd":"STOR","code":451,"text":"Later."})",
       "prenos1=up.txt,UP", false},
      {"pause before the commands", R"({"fault":"clear"})", "", false},
      {"window closed", R"({"fault":"trickle","cmd":"RETR"})", "prenos1=a.bin,DOWN", true},
  };
  for (const Moment& moment : moments) {
    FtpTestServer server;
    TempDir local;
    TempDir settings;
    server.inject(moment.fault);
    writeBytes(server.root() / "a.bin", randomBytes(20000, 3));
    writeBytes(local.path() / "up.txt", "up");
    writeBytes(settings.path() / "kestrin.ini", SettingsText(server, local, moment.keys));
    EXPECT_EXIT(
        {
          FrmUpdate window;
          window.mIniFile = (settings.path() / "kestrin.ini").string();
          window.Form_Load();
          QElapsedTimer clock;
          clock.start();
          QTimer::singleShot(kClickAtMs, [&] {
            if (clock.elapsed() > kClickAtMs + kMostLateMs) std::_Exit(kLate);
            if (moment.windowClose)
              window.close();
            else
              window.Command3->click();
          });
          window.Form_Activate();
        },
        ::testing::ExitedWithCode(3), "")
        << moment.name;
    EXPECT_FALSE(HasHiddenFile(local.path())) << moment.name;
  }
}

// While a line without DEL downloads its first file, the user clicks,
// presses Space and types on every control but "Zapri". Expected: the run
// goes on as the settings say (status 0, both files downloaded, none deleted
// on the server) and the controls still show what the job set.
TEST(WindowInputs, ClicksAndKeysOnTheOtherControlsChangeNothingOfTheRun) {
  GTEST_FLAG_SET(death_test_style, "fast");
  constexpr int kControlChanged = 6;
  FtpTestServer server;
  TempDir local;
  TempDir settings;
  writeBytes(server.root() / "a.bin", randomBytes(64 << 20, 7));
  writeBytes(server.root() / "b.bin", "b");
  writeBytes(settings.path() / "kestrin.ini", SettingsText(server, local, "prenos1=*.bin,DOWN"));
  EXPECT_EXIT(
      {
        FrmUpdate window;
        window.mIniFile = (settings.path() / "kestrin.ini").string();
        window.Form_Load();
        const QList<QWidget*> controls = window.findChildren<QWidget*>();
        const auto shown = [&] {
          QStringList texts;
          for (QLineEdit* field : window.findChildren<QLineEdit*>()) texts << field->text();
          return texts.join(QLatin1Char('|')) + window.Tdir->toPlainText() +
                 QString::number(window.Chkbrisi->isChecked());
        };
        QString before;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
          if (!HasPartialDownload(local.path())) return;
          watch.stop();
          before = shown();
          for (QWidget* control : controls) {
            if (control == window.Command3) continue;
            const QPointF middle = QRectF(control->rect()).center();
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
              QMouseEvent click(type, middle, control->mapToGlobal(middle), Qt::LeftButton,
                                Qt::LeftButton, Qt::NoModifier);
              QCoreApplication::sendEvent(control, &click);
            }
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
              QKeyEvent space(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
              QKeyEvent x(type, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
              QCoreApplication::sendEvent(control, &space);
              QCoreApplication::sendEvent(control, &x);
            }
          }
          if (shown() != before) std::_Exit(kControlChanged);
          writeBytes(settings.path() / "clicked", "");
        });
        watch.start(0);
        window.Form_Activate();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(std::filesystem::exists(settings.path() / "clicked"));
  EXPECT_TRUE(std::filesystem::exists(server.root() / "a.bin"));
  EXPECT_TRUE(std::filesystem::exists(server.root() / "b.bin"));
  EXPECT_EQ(readBytes(local.path() / "a.bin"), readBytes(server.root() / "a.bin"));
  EXPECT_TRUE(std::filesystem::exists(local.path() / "b.bin"));
}

// A server's reply ends up in the status line: it is shown as text, not
// taken for markup.
TEST(WindowLabels, ShowServerTextAsPlainText) {
  FrmUpdate window;
  for (QLabel* label :
       {window.Label3, window.Label7, window.Label9, window.Label10, window.Label11})
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
}
