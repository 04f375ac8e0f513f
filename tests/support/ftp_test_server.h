#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

// A real FTP server on 127.0.0.1 serving a fresh temporary directory to one
// user, for the lifetime of the object. Faults are injected as JSON lines:
//   {"fault":"refuse_login"}
//   {"fault":"reply","cmd":"STOR","code":552,"text":"Quota exceeded."}
//   {"fault":"close","cmd":"RETR"}            control connection closed, no reply
//   {"fault":"hang","cmd":"LIST"}             no answer from then on
//   {"fault":"drop_data","cmd":"RETR","bytes":N}   data reset after N bytes, 426
//   {"fault":"short_retr","bytes":N}          only N bytes sent, yet 226
//   {"fault":"refuse_after_stor","code":552,"text":"..."}  stored, then refused
//   {"fault":"raw","cmd":"PWD","data":"..."}  these bytes instead of a reply
//   {"fault":"list_dots"}                    listings include "." and ".."
//   {"fault":"data_from","address":"127.0.0.2"}  active data connections from there
//   {"fault":"stall_stor","seconds":S}        upload read from S s on, outliving its control
// Each may add "times" (how many matching commands it spoils; default all)
// and "after" (how many to let through first).
class FtpTestServer {
 public:
  FtpTestServer();  // throws when the server does not come up

  std::string address() const;  // "127.0.0.1:<port>"
  int port() const { return port_; }
  const std::string& user() const;
  const std::string& password() const;
  const std::filesystem::path& root() const { return root_.path(); }

  void inject(const std::string& json_line);  // throws when the server rejects it
  void clearFaults();
  // Every command line received since start, the password masked as "PASS ****".
  std::vector<std::string> commands();
  // How each data connection ended, as the server saw it: "<bytes> finished|broken".
  std::vector<std::string> dataEnds();

 private:
  std::string request(const std::string& line);

  TempDir root_;  // declared first: it must outlive the server process
  ChildProcess process_;
  int port_ = 0;
};
