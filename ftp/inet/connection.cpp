#include "ftp/inet/connection.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include "base/posix_io.h"
#include "base/text.h"
#include "base/yielding_wait.h"
#include "ftp/inet/curl_workarounds.h"
#include "ftp/inet/errors.h"
#include "ftp/inet/local_download.h"
#include "ftp/inet/mlsd.h"
#include "ftp/inet/remote_file.h"
#include "ftp/inet/remote_path.h"
#include "ftp/inet/socket_checks.h"

namespace inet {

namespace {

// Long replies are cut: the text ends up in a status line and a log record.
constexpr size_t kMaxReplyLength = 1000;
// Keepalive probes on every connection: a NAT that forgets an idle control
// connection during a long transfer would swallow its completion reply.
constexpr long kKeepIdleSeconds = 60;
constexpr long kKeepIntervalSeconds = 60;
// How often the end of closing is looked for: most closes take less.
constexpr auto kCloseCheck = std::chrono::milliseconds(1);
// The replies of a server that has no such command.
constexpr int kNotRecognised = 500;
constexpr int kNotImplemented = 502;
// The reply to a CWD into what is no directory.
constexpr char kNoSuchDirectory[] = "550";

std::string OneLine(const char* data, size_t size) {
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  std::ranges::replace_if(line, IsControlCharacter, ' ');
  if (line.size() > kMaxReplyLength) line.resize(kMaxReplyLength);
  return line;
}

size_t DiscardBytes(char*, size_t size, size_t count, void*) { return size * count; }

bool ActiveTlsWorks() {
  return ActiveTlsProtected(curl_version_info(CURLVERSION_NOW)->version_num);
}

}  // namespace

std::unique_ptr<Session> Session::Open() {
  // curl_global_init counts its calls; the program keeps its one session
  // for its whole life, so the matching cleanup is the process's end.
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
  return std::unique_ptr<Session>(new Session());
}

std::unique_ptr<Connection> Session::Connect(const ConnectRequest& request) {
  if (request.server.tls != Tls::kNone && !request.passive && !ActiveTlsWorks()) {
    error_ = {kActiveTlsUnsupported, {}};
    return nullptr;
  }
  std::unique_ptr<Connection> connection(new Connection(request));
  if (connection->LogIn()) return connection;
  error_ = connection->error();
  return nullptr;
}

Connection::Connection(const ConnectRequest& request)
    : request_(request), base_url_(ServerUrl(request.server)) {
  multi_ = curl_multi_init();
  easy_ = curl_easy_init();
  share_ = curl_share_init();
  if (share_) curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

Connection::~Connection() {
  Stop();
  CloseYielding();
  curl_share_cleanup(share_);
}

// Cleaning up the multi handle closes the control connection: QUIT, and a
// wait for its reply. That wait runs on a thread of its own, so that the
// window stays served meanwhile. Both cleanups fail only for handles that
// are not libcurl's, and a destructor has nobody to tell.
void Connection::CloseYielding() {
  std::atomic<bool> closed = false;
  std::thread closer([&] {
    curl_easy_cleanup(easy_);
    curl_multi_cleanup(multi_);
    closed = true;
  });
  while (!closed) {
    YieldIfDue();
    std::this_thread::sleep_for(kCloseCheck);
  }
  closer.join();
}

bool Connection::LogIn() {
  if (!multi_ || !easy_ || !share_) return FailWith(kInternalError);
  Prepare("/");
  Option(CURLOPT_NOBODY, 1L);
  if (!Perform()) return false;
  const char* entry = nullptr;
  if (curl_easy_getinfo(easy_, CURLINFO_FTP_ENTRY_PATH, &entry) != CURLE_OK)
    return FailWith(kInternalError);
  if (entry && entry[0] == '/') cwd_ = ResolveRemotePath("/", entry);
  return true;
}

std::string Connection::Resolve(const std::string& path) const {
  return ResolveRemotePath(cwd_, path);
}

// A line break would end the FTP command early, and libcurl refuses every
// control character in a path: such a name cannot be sent.
bool Connection::ValidName(const std::string& path) {
  return !HasControlCharacter(path) || FailWith(kInvalidName);
}

size_t Connection::OnReplyLine(char* data, size_t size, size_t count, void* self) {
  auto* connection = static_cast<Connection*>(self);
  connection->last_reply_ = OneLine(data, size * count);
  // "ddd text" ends a reply; "ddd-text" and other lines go on with it.
  const std::string& line = connection->last_reply_;
  const bool complete =
      line.size() >= 4 && line[3] == ' ' &&
      std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
  if (complete) connection->replies_.push_back(line);
  return size * count;
}

// libcurl takes the first connection to its port in active mode, whoever
// makes it: another user of this machine could receive an upload or send a
// download of their own. Only the server's address may connect, and a
// stranger's connection is reset before a byte goes over it.
int Connection::OnSocket(void* self, curl_socket_t socket, curlsocktype purpose) {
  auto* connection = static_cast<Connection*>(self);
  if (purpose == CURLSOCKTYPE_ACCEPT && !connection->FromServer(socket)) {
    connection->foreign_data_ = true;
    ResetOnClose(socket);
    return CURL_SOCKOPT_ERROR;
  }
  // An upload's control connection is in place before its data connection
  // opens, so the last socket an upload opens or accepts carries its data.
  if (connection->uploading_) connection->upload_data_.Hold(socket);
  return CURL_SOCKOPT_OK;
}

void Connection::Uploading() {
  Option(CURLOPT_UPLOAD, 1L);
  uploading_ = true;
}

// Every upload's answer to libcurl passes through here: once the file's
// end is handed over, libcurl's own close of the data connection (FIN) is
// that end.
size_t Connection::Handed(size_t answer) {
  if (answer == 0) upload_data_.Release();
  return answer;
}

bool Connection::FromServer(curl_socket_t socket) const {
  const char* server = nullptr;
  return curl_easy_getinfo(easy_, CURLINFO_PRIMARY_IP, &server) == CURLE_OK && server &&
         PeerIs(socket, server);
}

// Every operation starts from the same options, so nothing one operation
// set can leak into the next. The connection itself survives the reset.
void Connection::Prepare(const std::string& urlPath) {
  curl_easy_reset(easy_);
  setup_ = CURLE_OK;
  const FtpTimeouts& t = request_.timeouts;
  Option(CURLOPT_URL, (base_url_ + urlPath).c_str());
  Option(CURLOPT_PROTOCOLS_STR, request_.server.tls == Tls::kImplicit ? "ftps" : "ftp");
  Option(CURLOPT_USERNAME, request_.user.c_str());
  Option(CURLOPT_PASSWORD, request_.password.c_str());
  Option(CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
  Option(CURLOPT_NOSIGNAL, 1L);
  Option(CURLOPT_CONNECTTIMEOUT, t.connect);
  Option(CURLOPT_SERVER_RESPONSE_TIMEOUT, t.reply);
  Option(CURLOPT_ACCEPTTIMEOUT_MS, t.reply * 1000L);
  Option(CURLOPT_LOW_SPEED_LIMIT, 1L);
  Option(CURLOPT_LOW_SPEED_TIME, t.stall);
  Option(CURLOPT_TCP_KEEPALIVE, 1L);
  Option(CURLOPT_TCP_KEEPIDLE, kKeepIdleSeconds);
  Option(CURLOPT_TCP_KEEPINTVL, kKeepIntervalSeconds);
  Option(CURLOPT_HEADERFUNCTION, &Connection::OnReplyLine);
  Option(CURLOPT_HEADERDATA, this);
  Option(CURLOPT_SOCKOPTFUNCTION, &Connection::OnSocket);
  Option(CURLOPT_SOCKOPTDATA, this);
  uploading_ = false;
  if (!request_.passive) Option(CURLOPT_FTPPORT, "-");
  if (request_.server.tls != Tls::kNone) PrepareTls();
}

// TLS for the login and every data connection, or no connection at all:
// with CURLUSESSL_ALL libcurl never goes on in clear. The data connections
// resume the control connection's TLS session (libcurl's session cache,
// on by default), as many servers demand; kTlsVersions keeps it usable.
void Connection::PrepareTls() {
  Option(CURLOPT_SSLVERSION, kTlsVersions);
  // The cache is shared by the connection's handles, as a listing runs on
  // a handle of its own (see Find).
  Option(CURLOPT_SHARE, share_);
  Option(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  Option(CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
  const CertificateCheck& check = request_.certificate;
  // Only the file is replaced: the system's certificates stay trusted
  // through libcurl's CA directory.
  if (!check.caFile.empty()) Option(CURLOPT_CAINFO, check.caFile.c_str());
  if (!check.verify) {
    Option(CURLOPT_SSL_VERIFYPEER, 0L);
    Option(CURLOPT_SSL_VERIFYHOST, 0L);
  }
}

// False, with the operation done and failed, when an option was refused or
// the transfer could not be started.
bool Connection::Start() {
  done_ = false;
  result_ = CURLE_OK;
  foreign_data_ = false;
  last_reply_.clear();
  replies_.clear();
  if (setup_ != CURLE_OK) {
    done_ = true;
    result_ = setup_;
    return false;
  }
  const CURLMcode added = curl_multi_add_handle(multi_, easy_);
  if (added != CURLM_OK) {
    Abort(added);
    return false;
  }
  running_ = true;
  return true;
}

// A handle that cannot be taken out again fails the operation, should it
// still count as a success.
void Connection::Stop() {
  if (!running_) return;
  running_ = false;
  const CURLMcode removed = curl_multi_remove_handle(multi_, easy_);
  if (removed != CURLM_OK && result_ == CURLE_OK) Abort(removed);
  // Whatever ended an upload before its end was handed over, libcurl has
  // closed its data connection in order by now.
  upload_data_.Reset();
}

// A failing multi call ends the operation as failed; going round again
// would only fail again, for ever.
void Connection::Abort(CURLMcode code) {
  done_ = true;
  result_ = code == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
}

void Connection::Drive(const std::function<bool()>& stop) {
  while (!done_) {
    int still_running = 0;
    const CURLMcode performed = curl_multi_perform(multi_, &still_running);
    if (performed != CURLM_OK) return Abort(performed);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg == CURLMSG_DONE) {
        done_ = true;
        result_ = message->data.result;
      }
    }
    if (done_ || stop()) return;
    // libcurl's own timeouts end a transfer that stalls.
    const CURLMcode polled = curl_multi_poll(multi_, nullptr, 0, kLongestWaitMs, nullptr);
    if (polled != CURLM_OK) return Abort(polled);
  }
}

// On the caller's thread only: the pump's turns never reach the window.
void Connection::YieldIfDue() { paced_yield_(request_.yield); }

bool Connection::FailWith(int32_t code) {
  error_ = {code, last_reply_};
  return false;
}

bool Connection::Fail(CURLcode result) {
  if (foreign_data_) return FailWith(kForeignDataConnection);
  long verifyResult = 0;
  if (result == CURLE_PEER_FAILED_VERIFICATION &&
      curl_easy_getinfo(easy_, CURLINFO_SSL_VERIFYRESULT, &verifyResult) == CURLE_OK)
    return FailWith(ErrorFromCertificate(verifyResult));
  // A preliminary reply ("150 Opening ... data connection") only says that
  // the transfer began; it is no refusal, and no reason to show for what
  // ended the transfer after it.
  const int32_t error = ErrorFromCurl(result);
  const bool preliminary = last_reply_.starts_with('1');
  return FailWith(error == kExtendedError && preliminary ? kConnectionAborted : error);
}

bool Connection::Perform() {
  if (Start()) {
    Drive([this] {
      YieldIfDue();
      return false;
    });
    Stop();
  }
  return result_ == CURLE_OK || Fail(result_);
}

bool Connection::Quote(const std::vector<std::string>& commands) {
  Prepare(CommandUrlPath());
  Option(CURLOPT_NOBODY, 1L);
  curl_slist* list = nullptr;
  for (const std::string& command : commands) {
    curl_slist* longer = curl_slist_append(list, command.c_str());
    if (!longer) {
      curl_slist_free_all(list);
      return FailWith(kInternalError);
    }
    list = longer;
  }
  Option(CURLOPT_QUOTE, list);
  bool ok = Perform();
  curl_slist_free_all(list);
  return ok;
}

bool Connection::Rename(const std::string& from, const std::string& to) {
  if (!ValidName(from) || !ValidName(to)) return false;
  return Quote({"RNFR " + Resolve(from), "RNTO " + Resolve(to)});
}

bool Connection::CreateDirectory(const std::string& path) {
  return ValidName(path) && Quote({"MKD " + Resolve(path)});
}

bool Connection::RemoveDirectory(const std::string& path) {
  return ValidName(path) && Quote({"RMD " + Resolve(path)});
}

bool Connection::DeleteFile(const std::string& path) {
  return ValidName(path) && Quote({"DELE " + Resolve(path)});
}

// Of the refusals libcurl reads as "not said" (see SizeReply), only a
// server that has no SIZE at all may leave the size unsaid.
bool Connection::Stat(const std::string& path, bool withTime, RemoteStat& stat) {
  if (!ValidName(path)) return false;
  Prepare(UrlPath(Resolve(path)));
  Option(CURLOPT_NOBODY, 1L);
  // libcurl also writes what it learnt as header lines, which say nothing new.
  Option(CURLOPT_WRITEFUNCTION, &DiscardBytes);
  if (withTime) Option(CURLOPT_FILETIME, 1L);
  if (!Perform()) return false;
  curl_off_t size = -1, time = -1;
  if (curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size) != CURLE_OK ||
      curl_easy_getinfo(easy_, CURLINFO_FILETIME_T, &time) != CURLE_OK)
    return FailWith(kInternalError);
  stat.size = size;
  stat.mtime = time;
  if (size >= 0) return true;
  const std::string sizeReply = SizeReply(replies_);
  const int code = sizeReply.empty() ? 0 : std::stoi(sizeReply.substr(0, 3));
  if (code == kNotRecognised || code == kNotImplemented) return true;
  error_ = {kExtendedError, sizeReply};
  return false;
}

bool Connection::SetCurrentDirectory(const std::string& path) {
  if (!ValidName(path)) return false;
  std::string target = Resolve(path);
  if (!Quote({"CWD " + target})) return false;
  cwd_ = target;
  return true;
}

namespace {

struct FindState {
  std::string_view pattern;
  NameMatch match;
  std::vector<FindData>* entries;
  size_t kept = 0;

  // Counts one more entry to keep; false once that is one too many.
  bool Keep() { return ++kept <= kMostListedEntries; }
  bool Overflowed() const { return kept > kMostListedEntries; }
};

// libcurl keeps every LIST entry matched here until the listing ends; past
// the bound none is, and the listing fails when it ends.
int MatchName(void* state, const char*, const char* name) {
  auto* find = static_cast<FindState*>(state);
  return MayMatchListed(find->pattern, name, find->match) && find->Keep()
             ? CURL_FNMATCHFUNC_MATCH
             : CURL_FNMATCHFUNC_NOMATCH;
}

long TakeEntry(const void* transfer_info, void* state, int) {
  const auto* info = static_cast<const curl_fileinfo*>(transfer_info);
  auto* find = static_cast<FindState*>(state);
  FindData entry;
  entry.cFileName = ListedName(*info);
  if (!find->match(find->pattern, entry.cFileName)) return CURL_CHUNK_BGN_FUNC_SKIP;
  entry.size = (info->flags & CURLFINFOFLAG_KNOWN_SIZE) ? static_cast<int64_t>(info->size) : 0;
  entry.is_file = info->filetype == CURLFILETYPE_FILE || info->filetype == CURLFILETYPE_SYMLINK;
  entry.is_link = info->filetype == CURLFILETYPE_SYMLINK;
  find->entries->push_back(std::move(entry));
  return CURL_CHUNK_BGN_FUNC_SKIP;
}

// An MLSD listing arrives through the write callback and is read line by
// line as it comes, so that a huge directory never lies in memory whole.
struct MlsdState {
  explicit MlsdState(FindState& find)
      : find(find), reader([&find](MlsdEntry&& entry) { Take(find, entry); }) {}

  static void Take(FindState& find, MlsdEntry& entry) {
    if (entry.kind == MlsdKind::kThisOrUp || !find.match(find.pattern, entry.name)) return;
    if (!find.Keep()) return;
    const bool link = entry.kind == MlsdKind::kLink;
    find.entries->push_back(
        {std::move(entry.name), entry.size, link || entry.kind == MlsdKind::kFile, link});
  }

  FindState& find;
  MlsdReader reader;
  bool unreadable = false;
};

size_t TakeMlsd(char* data, size_t size, size_t count, void* state) {
  auto* mlsd = static_cast<MlsdState*>(state);
  if (mlsd->reader.Add({data, size * count}) && !mlsd->find.Overflowed()) return size * count;
  mlsd->unreadable = true;
  return 0;
}

// The directory's URL ends in "/", which makes libcurl list it.
std::string DirectoryUrl(std::string_view directory) {
  std::string url = UrlPath(directory);
  if (url.back() != '/') url += '/';
  return url;
}

}  // namespace

bool Connection::Find(const std::string& pattern, NameMatch match, std::vector<FindData>& entries) {
  entries.clear();
  if (!ValidName(pattern) || !KnowListing()) return false;
  const std::string target = Resolve(pattern);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(request_.timeouts.listing);
  const bool listed = listing_ == Listing::kMlsd ? FindWithMlsd(target, match, entries)
                                                 : FindWithList(target, match, entries);
  return listed && SettleLinks(ParentOf(target), entries, deadline) && Found(entries);
}

bool Connection::Found(const std::vector<FindData>& entries) {
  return !entries.empty() || FailWith(kNoMoreFiles);
}

bool Connection::FailOverlong() {
  error_ = {kListingUnreadable,
            {},
            "(more than " + std::to_string(kMostListedEntries) + " matching entries)"};
  return false;
}

// FEAT is asked once per connection, at its first listing. A server that
// refuses FEAT offers no MLSD either.
bool Connection::KnowListing() {
  if (listing_ != Listing::kUnknown) return true;
  char feat[] = "FEAT";
  curl_slist command{feat, nullptr};
  Prepare(CommandUrlPath());
  Option(CURLOPT_NOBODY, 1L);
  Option(CURLOPT_QUOTE, &command);
  Option(CURLOPT_HEADERFUNCTION, &OnFeatureLine);
  if (Perform() || result_ == CURLE_QUOTE_ERROR) {
    if (listing_ == Listing::kUnknown) listing_ = Listing::kList;
    return true;
  }
  listing_ = Listing::kUnknown;
  return false;
}

size_t Connection::OnFeatureLine(char* data, size_t size, size_t count, void* self) {
  if (AnnouncesMlsd(OneLine(data, size * count)))
    static_cast<Connection*>(self)->listing_ = Listing::kMlsd;
  return OnReplyLine(data, size, count, self);
}

void Connection::PrepareListing(const std::string& urlPath) {
  Prepare(urlPath);
  // A listing trickled in a few bytes at a time would otherwise never end.
  Option(CURLOPT_LOW_SPEED_LIMIT, kListingLeastBytesPerSecond);
  Option(CURLOPT_TIMEOUT, request_.timeouts.listing);
}

bool Connection::FindWithMlsd(const std::string& target, NameMatch match,
                              std::vector<FindData>& entries) {
  FindState find{LeafOf(target), match, &entries};
  MlsdState state(find);
  PrepareListing(DirectoryUrl(ParentOf(target)));
  Option(CURLOPT_CUSTOMREQUEST, "MLSD");
  Option(CURLOPT_WRITEFUNCTION, &TakeMlsd);
  Option(CURLOPT_WRITEDATA, &state);
  const bool performed = Perform();
  if (find.Overflowed()) return FailOverlong();
  if (state.unreadable || (performed && !state.reader.End())) return FailWith(kListingUnreadable);
  if (!performed || ListingCompleted(last_reply_)) return performed;
  return FailWith(kExtendedError);
}

bool Connection::FindWithList(const std::string& target, NameMatch match,
                              std::vector<FindData>& entries) {
  FreshListingHandle fresh(easy_);
  return easy_ ? FindOnFreshHandle(target, match, entries) : Fail(CURLE_OUT_OF_MEMORY);
}

bool Connection::FindOnFreshHandle(const std::string& target, NameMatch match,
                                   std::vector<FindData>& entries) {
  FindState state{LeafOf(target), match, &entries};
  // libcurl lists the whole directory and asks us about each name, so the
  // wildcard rules are the caller's, not those of libcurl's own matcher.
  PrepareListing(DirectoryUrl(ParentOf(target)) + "*");
  Option(CURLOPT_WILDCARDMATCH, 1L);
  Option(CURLOPT_FNMATCH_FUNCTION, &MatchName);
  Option(CURLOPT_FNMATCH_DATA, &state);
  Option(CURLOPT_CHUNK_BGN_FUNCTION, &TakeEntry);
  Option(CURLOPT_CHUNK_DATA, &state);
  const bool performed =
      Perform() || (result_ == CURLE_REMOTE_FILE_NOT_FOUND && ListingCompleted(last_reply_));
  return state.Overflowed() ? FailOverlong() : performed;
}

// A link's LIST line does not tell whether it leads to a directory, which
// no download can fetch: a CWD into it does. Only "no such directory"
// makes it a file; any other refusal tells nothing, and fails the listing.
// The server is sent back at once; the layer's paths are absolute, so
// nothing depends on it. These round trips belong to the listing, and so
// does its time: many links, or slow answers, must not stretch it.
bool Connection::SettleLinks(std::string_view directory, std::vector<FindData>& entries,
                             std::chrono::steady_clock::time_point deadline) {
  for (FindData& entry : entries) {
    if (!entry.is_link || !entry.is_file || HasControlCharacter(entry.cFileName)) continue;
    if (std::chrono::steady_clock::now() >= deadline) return FailWith(kTimeout);
    const std::string path =
        std::string(directory) + (directory.ends_with('/') ? "" : "/") + entry.cFileName;
    if (Quote({"CWD " + path, "*CWD " + cwd_}))
      entry.is_file = false;
    else if (result_ != CURLE_QUOTE_ERROR || !last_reply_.starts_with(kNoSuchDirectory))
      return false;
  }
  return true;
}

namespace {

size_t ReadFromFile(char* buffer, size_t size, FILE* file) {
  size_t got = std::fread(buffer, 1, size, file);
  if (got == 0 && std::ferror(file)) return CURL_READFUNC_ABORT;
  return got;
}

}  // namespace

size_t Connection::OnPutWanted(char* buffer, size_t size, size_t count, void* source) {
  auto* put = static_cast<PutSource*>(source);
  return put->connection->Handed(ReadFromFile(buffer, size * count, put->file));
}

namespace {

size_t WriteToDownload(char* data, size_t size, size_t count, void* download) {
  return static_cast<LocalDownload*>(download)->Write(data, size * count) ? size * count : 0;
}

}  // namespace

bool Connection::PutFile(const std::string& local, const std::string& remote, TransferType type) {
  if (!ValidName(remote)) return false;
  struct stat info {};
  UniqueFile file = OpenRegularFile(local, info);
  if (!file) return FailWith(ErrorFromErrno(errno));
  Prepare(UrlPath(Resolve(remote)));
  Uploading();
  Option(CURLOPT_TRANSFERTEXT, type == TransferType::kAscii ? 1L : 0L);
  PutSource source{this, file.get()};
  Option(CURLOPT_READFUNCTION, &Connection::OnPutWanted);
  Option(CURLOPT_READDATA, &source);
  if (Perform()) return true;
  if (result_ == CURLE_ABORTED_BY_CALLBACK && !foreign_data_) FailWith(kReadFault);
  return false;
}

bool Connection::GetFile(const std::string& remote, const std::string& local, TransferType type) {
  if (!ValidName(remote)) return false;
  LocalDownload download(local);
  if (!download.Create()) return FailWith(download.error().code);
  Prepare(UrlPath(Resolve(remote)));
  Option(CURLOPT_TRANSFERTEXT, type == TransferType::kAscii ? 1L : 0L);
  Option(CURLOPT_WRITEFUNCTION, &WriteToDownload);
  Option(CURLOPT_WRITEDATA, &download);
  if (!Perform()) {
    if (result_ == CURLE_WRITE_ERROR) FailWith(download.error().code);
    return false;
  }
  return download.Commit() || FailWith(download.error().code);
}

std::unique_ptr<RemoteStream> Connection::OpenFile(const std::string& remote, Access access,
                                                   TransferType type) {
  if (!ValidName(remote)) return nullptr;
  Prepare(UrlPath(Resolve(remote)));
  Option(CURLOPT_TRANSFERTEXT, type == TransferType::kAscii ? 1L : 0L);
  std::unique_ptr<RemoteFile> file(new RemoteFile(*this, access, type));
  if (!file->Begin()) return nullptr;
  return file;
}

}  // namespace inet
