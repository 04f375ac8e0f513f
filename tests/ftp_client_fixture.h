// A cFTP object beside a fresh test server, with its events and window
// texts recorded.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ftp/cftp.h"
#include "tests/support/file_bytes.h"
#include "tests/support/ftp_test_server.h"
#include "tests/support/temp_dir.h"

class FtpClientTest : public ::testing::Test {
 protected:
  using Event = std::pair<int64_t, int64_t>;

  FtpClientTest() {
    ftp.SetTransferBinary();
    ftp.SetModePassive();
    ftp.SetTimeouts({5, 5, 5});
    ftp.FileTransferProgress = [this](int64_t current, int64_t total) {
      events.emplace_back(current, total);
    };
    ftp.ShowTransferText = [this](const std::string& text) { texts.push_back(text); };
  }

  bool Connect() { return ftp.OpenConnection(server.address(), server.user(), server.password()); }

  std::filesystem::path Remote(const std::string& name) const { return server.root() / name; }
  std::filesystem::path Local(const std::string& name) const { return local.path() / name; }

  // Names in `dir` other than the ones given: what a transfer left behind.
  static std::vector<std::string> Leftovers(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  FtpTestServer server;
  TempDir local;
  cFTP ftp;
  std::vector<Event> events;
  std::vector<std::string> texts;
};
