// One FTP connection of the internet layer, its FTP side of RemoteSession:
// a libcurl easy handle whose
// control connection stays open between operations, driven through a multi
// handle of its own so that streamed transfers can push and pull their data
// (see RemoteFile) on the same connection as every other operation.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/yielding_wait.h"
#include "ftp/inet/curl_workarounds.h"
#include "ftp/inet/errors.h"
#include "ftp/inet/find_data.h"
#include "ftp/inet/remote_session.h"
#include "ftp/inet/server_address.h"
#include "ftp/inet/socket_checks.h"
#include "ftp/timeouts.h"

namespace inet {

class RemoteFile;

// A listing slower than this, on average over the stall time, has stalled:
// a directory that takes minutes to list at this rate is unheard of.
inline constexpr long kListingLeastBytesPerSecond = 1024;

// How a server's certificate is checked when the connection uses TLS.
struct CertificateCheck {
  bool verify = true;  // against the trusted certificates and the host name
  std::string caFile;  // trusted beside the system's certificates, when given
};

struct ConnectRequest {
  ServerAddress server;
  std::string user;
  std::string password;
  bool passive = false;
  FtpTimeouts timeouts;
  CertificateCheck certificate;
  // Lets the caller's window handle its events while an operation waits on
  // the network (connecting, a command's reply, a stalled transfer, QUIT).
  std::function<void()> yield;
};

class Connection : public RemoteSession {
 public:
  ~Connection() override;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Rename(const std::string& from, const std::string& to) override;
  bool CreateDirectory(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool SetCurrentDirectory(const std::string& path) override;
  const std::string& CurrentDirectory() const override { return cwd_; }
  const Error& error() const override { return error_; }
  // SIZE and, with `withTime`, MDTM. A server without SIZE (500 or 502) or
  // MDTM leaves that field at -1; any other refusal fails.
  bool Stat(const std::string& path, bool withTime, RemoteStat& stat) override;

  // Lists with MLSD where the server's FEAT offers it, else with LIST; a
  // listed link that leads to a directory is no file.
  bool Find(const std::string& pattern, NameMatch match, std::vector<FindData>& entries) override;

  bool PutFile(const std::string& local, const std::string& remote, TransferType type) override;
  bool GetFile(const std::string& remote, const std::string& local, TransferType type) override;

  std::unique_ptr<RemoteStream> OpenFile(const std::string& remote, Access access,
                                         TransferType type) override;

 private:
  friend class RemoteFile;
  friend class Session;
  explicit Connection(const ConnectRequest& request);
  // Connects and logs in.
  bool LogIn();

  std::string Resolve(const std::string& path) const;
  bool ValidName(const std::string& path);
  void Prepare(const std::string& urlPath);
  // Sets one option; the first that libcurl refuses fails the operation.
  template <typename Value>
  void Option(CURLoption option, Value value) {
    const CURLcode result = curl_easy_setopt(easy_, option, value);
    if (result != CURLE_OK && setup_ == CURLE_OK) setup_ = result;
  }
  void PrepareTls();
  bool Quote(const std::vector<std::string>& commands);
  bool Perform();
  // Runs the started transfer until it ends or `stop` returns true.
  void Drive(const std::function<bool()>& stop);
  bool Start();
  void Stop();
  void Abort(CURLMcode code);
  bool Fail(CURLcode result);
  // Keeps `code`, with the server's last reply, as the operation's error.
  bool FailWith(int32_t code);
  bool KnowListing();
  void PrepareListing(const std::string& urlPath);
  bool FindWithList(const std::string& target, NameMatch match, std::vector<FindData>& entries);
  bool FindOnFreshHandle(const std::string& target, NameMatch match,
                         std::vector<FindData>& entries);
  bool FindWithMlsd(const std::string& target, NameMatch match, std::vector<FindData>& entries);
  bool Found(const std::vector<FindData>& entries);
  bool FailOverlong();
  bool SettleLinks(std::string_view directory, std::vector<FindData>& entries,
                   std::chrono::steady_clock::time_point deadline);
  static size_t OnFeatureLine(char* data, size_t size, size_t count, void* self);
  void YieldIfDue();
  void CloseYielding();
  static size_t OnReplyLine(char* data, size_t size, size_t count, void* self);
  static int OnSocket(void* self, curl_socket_t socket, curlsocktype purpose);
  void Uploading();
  size_t Handed(size_t answer);
  struct PutSource {
    Connection* connection;
    FILE* file;
  };
  static size_t OnPutWanted(char* buffer, size_t size, size_t count, void* source);
  bool FromServer(curl_socket_t socket) const;

  ConnectRequest request_;
  std::string base_url_;
  CURLM* multi_ = nullptr;
  CURLSH* share_ = nullptr;  // what the connection's handles share: TLS sessions
  CURL* easy_ = nullptr;
  std::string cwd_ = "/";
  std::string last_reply_;
  std::vector<std::string> replies_;  // the last line of every reply of the operation
  // How this connection lists directories, learnt from FEAT at its first listing.
  enum class Listing { kUnknown, kList, kMlsd } listing_ = Listing::kUnknown;
  CURLcode setup_ = CURLE_OK;
  bool foreign_data_ = false;  // the operation refused a data connection from elsewhere
  bool uploading_ = false;     // the operation is an upload
  HeldSocket upload_data_;     // its data connection, until the file's end went
  PacedYield paced_yield_;
  bool running_ = false;
  bool done_ = false;
  CURLcode result_ = CURLE_OK;
  Error error_;
};

// The internet session: the library set up once for the whole program,
// parent of the connections opened through it.
class Session {
 public:
  // nullptr when the library cannot be set up (kInternalError).
  static std::unique_ptr<Session> Open();

  // Connects and logs in; nullptr when that fails, and error() tells why.
  std::unique_ptr<Connection> Connect(const ConnectRequest& request);
  const Error& error() const { return error_; }

 private:
  Session() = default;

  Error error_;
};

}  // namespace inet
