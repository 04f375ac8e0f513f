// One FTP connection of the internet layer: a libcurl easy handle whose
// control connection stays open between operations, driven through a multi
// handle of its own so that streamed transfers can push and pull their data
// (see RemoteFile) on the same connection as every other operation.
//
// Every member returns false (or nullptr) on failure and leaves the error
// code in inet::GetLastError() and the server's last reply in
// inet::GetLastResponseInfo().
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server_address.h"

namespace inet {

class RemoteFile;

enum class TransferType { kAscii, kBinary };
enum class Access { kRead, kWrite };

// How long the layer waits before it gives up, in seconds.
struct Timeouts {
  long connect = 30;  // to reach the server and log in
  long stall = 60;    // a transfer that moves no byte
  long reply = 60;    // a command that gets no reply
};

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
  Timeouts timeouts;
  CertificateCheck certificate;
};

// One entry of a remote listing, as libcurl's own listing parser read it.
struct FindData {
  std::string cFileName;
  int64_t size = 0;
  bool is_file = false;  // a plain file or a link; not a directory
  bool is_link = false;  // a symbolic link: the size is the link's own
};

class Connection {
 public:
  // Connects and logs in; nullptr when that fails.
  static std::unique_ptr<Connection> Open(const ConnectRequest& request);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Rename(const std::string& from, const std::string& to);
  bool CreateDirectory(const std::string& path);
  bool RemoveDirectory(const std::string& path);
  bool DeleteFile(const std::string& path);
  bool SetCurrentDirectory(const std::string& path);
  // The size the server reports for a file (SIZE).
  bool FileSize(const std::string& path, int64_t& size);
  const std::string& CurrentDirectory() const { return cwd_; }

  // Decides whether a listed name matches the last part of a pattern. The
  // pattern rules belong to the client, which hands them in here.
  using NameMatch = bool (*)(std::string_view pattern, std::string_view name);

  // The entries of the directory part of `pattern` whose names match its
  // last part. False with kNoMoreFiles when none match; false with another
  // code when the directory could not be listed.
  bool Find(const std::string& pattern, NameMatch match, std::vector<FindData>& entries);

  // The size the server gives for a file (SIZE), following links; -1 with
  // the error set when it gives none.
  int64_t FileSize(const std::string& remote);

  // Whole-file transfers in one call.
  bool PutFile(const std::string& local, const std::string& remote, TransferType type);
  bool GetFile(const std::string& remote, const std::string& local, TransferType type);

  // Starts a streamed transfer; the server has accepted it when this returns
  // a file. No other operation may run on the connection until it is gone.
  std::unique_ptr<RemoteFile> OpenFile(const std::string& remote, Access access, TransferType type);

 private:
  friend class RemoteFile;
  explicit Connection(const ConnectRequest& request);

  std::string Resolve(const std::string& path) const;
  bool ValidName(const std::string& path);
  void Prepare(const std::string& urlPath);
  void PrepareTls();
  bool Quote(const std::vector<std::string>& commands);
  bool Perform();
  // Runs the started transfer until it ends or `stop` returns true.
  void Drive(const std::function<bool()>& stop);
  void Start();
  void Stop();
  bool Fail(CURLcode result);
  bool LastReplyWasCompletion() const;
  bool FindOnFreshHandle(const std::string& pattern, NameMatch match,
                         std::vector<FindData>& entries);
  static size_t OnReplyLine(char* data, size_t size, size_t count, void* self);

  ConnectRequest request_;
  std::string base_url_;
  CURLM* multi_ = nullptr;
  CURLSH* share_ = nullptr;  // what the connection's handles share: TLS sessions
  CURL* easy_ = nullptr;
  std::string cwd_ = "/";
  std::string last_reply_;
  bool running_ = false;
  bool done_ = false;
  CURLcode result_ = CURLE_OK;
};

// The internet session: the library set up once for the whole program,
// parent of the connections opened through it.
class Session {
 public:
  // nullptr with the error code set when the library cannot be set up.
  static std::unique_ptr<Session> Open();

  std::unique_ptr<Connection> Connect(const ConnectRequest& request) {
    return Connection::Open(request);
  }

 private:
  Session() = default;
};

}  // namespace inet
