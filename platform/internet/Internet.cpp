#include "platform/internet/Internet.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/internet/InternetUrl.h"
#include "platform/messages/Threads.h"

namespace qorv::platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;

enum class Kind { Session, Connection, Request };

// Body bytes kept for the reader before the transfer is paused; the network
// library adds at most one block of its own on top.
constexpr std::size_t kMaxBuffered = 64 * 1024;
// How long one wait of the poll loop may last; kills and closes wake it
// earlier, so this only bounds the time between timeout checks.
constexpr int kPollMillis = 100;
constexpr DWORD kDefaultConnectTimeout = 60000;
constexpr DWORD kDefaultReceiveTimeout = 30000;
constexpr long kMaxRedirects = 10;

thread_local std::string lastResponseInfo;

void EnsureCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Texts that end up in a header line lose CR and LF, so that no caller's
// value can start a header of its own.
std::string HeaderSafe(const char* text) {
  std::string out;
  if (!text) return out;
  for (const char* p = text; *p; ++p) {
    if (*p != '\r' && *p != '\n') out.push_back(*p);
  }
  return out;
}

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return std::string(s.substr(b, e - b));
}

bool IsToken(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || std::strchr("()<>@,;:\\\"/[]?={}", c)) return false;
  }
  return true;
}

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// Header lines separated by CR LF (or LF); false on a line that is no header.
bool ParseHeaderLines(std::string_view text, HeaderList& out) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (Trim(line).empty()) continue;
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string name = Trim(line.substr(0, colon));
    if (!IsToken(name)) return false;
    std::string value = Trim(line.substr(colon + 1));
    if (value.find('\r') != std::string::npos) return false;
    out.emplace_back(std::move(name), std::move(value));
  }
  return true;
}

struct Response {
  std::string statusLine;
  std::string version;
  int status = 0;
  std::string statusText;
  HeaderList headers;
  bool HasHeader(std::string_view name) const {
    for (auto& h : headers) {
      if (EqualNoCase(h.first, name)) return true;
    }
    return false;
  }
  const std::string* Header(std::string_view name) const {
    for (auto& h : headers) {
      if (EqualNoCase(h.first, name)) return &h.second;
    }
    return nullptr;
  }
};

struct StatusEvent {
  enum class Info { None, Text, Number, Handle, AsyncResult };
  DWORD code;
  Info info;
  std::string text;
  DWORD number = 0;
};

struct Options {
  std::optional<DWORD> connectTimeout, sendTimeout, receiveTimeout, securityFlags;
  std::optional<std::string> user, password, proxyUser, proxyPassword;
};

struct RequestState;

struct Tree {
  std::recursive_mutex mutex;
  CURLM* multi = nullptr;
  CURLSH* share = nullptr;
  // The session's open connections, by their local address and port, each
  // with the request that used it last. The network library closes a
  // connection inside whatever call it is making for any request of the
  // session, and gives the close nothing but the socket; this is how the
  // close finds its request. A request that is closed takes its entries
  // out, so a connection that outlives its last request reports to nobody.
  // Only touched with the mutex held (or by the destructor, alone).
  std::unordered_map<std::string, RequestState*> connections;
  Tree() {
    multi = curl_multi_init();
    share = curl_share_init();
    if (share) {
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }
  }
  ~Tree() {
    if (multi) curl_multi_cleanup(multi);
    if (share) curl_share_cleanup(share);
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;
};

struct RequestState {
  Tree* tree = nullptr;  // the session's, which outlives the request
  std::string verb, object, version, referrer, accept;
  DWORD flags = 0;
  HeaderList added;  // kept for every send

  CURL* easy = nullptr;
  bool inMulti = false;
  curl_slist* headerList = nullptr;
  std::string body;
  std::string url;
  char errorBuffer[CURL_ERROR_SIZE] = {};

  // State of the current send.
  bool sent = false;  // a response is there to query and read
  bool headersFinal = false;
  bool done = false;
  CURLcode result = CURLE_OK;
  DWORD failError = 0;  // set by a callback that stopped the transfer
  bool connected = false;
  bool receiving = false;
  std::string pendingConnect;  // address of a socket opened, not yet reported
  Response current, final;
  std::string requestHead;  // the request line and headers last sent
  std::string buffer;
  std::size_t bufferPos = 0;
  bool paused = false;
  Clock::time_point lastActivity;
  std::vector<StatusEvent> events;
  std::string lastEffectiveUrl;

  // Upload through HttpSendRequestEx.
  bool uploading = false;
  std::string uploadBuffer;
  std::size_t uploadPos = 0;
  std::uint64_t uploadTotal = 0, uploadTaken = 0;
  bool uploadPaused = false;

  std::size_t Buffered() const { return buffer.size() - bufferPos; }

  ~RequestState() {
    if (headerList) curl_slist_free_all(headerList);
  }
};

}  // namespace

struct InternetHandle {
  Kind kind;
  std::shared_ptr<Tree> tree;
  std::shared_ptr<InternetHandle> parent;
  std::vector<InternetHandle*> children;
  std::atomic<bool> closed{false};
  DWORD_PTR context = 0;
  INTERNET_STATUS_CALLBACK callback = nullptr;
  Options options;
  // Session.
  std::string agent;
  DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::string proxy, bypass;
  DWORD sessionFlags = 0;
  // Connection.
  std::string server;
  INTERNET_PORT port = 0;
  std::string user, password;
  // Request.
  std::unique_ptr<RequestState> request;

  explicit InternetHandle(Kind k) : kind(k) {}
  bool Closed() const {
    for (const InternetHandle* h = this; h; h = h->parent.get()) {
      if (h->closed.load()) return true;
    }
    return false;
  }
  const InternetHandle* Session() const {
    const InternetHandle* h = this;
    while (h->parent) h = h->parent.get();
    return h;
  }
  const InternetHandle* Connection() const {
    if (kind == Kind::Connection) return this;
    if (kind == Kind::Request) return parent.get();
    return nullptr;
  }
  template <class T>
  std::optional<T> Inherited(std::optional<T> Options::*field) const {
    for (const InternetHandle* h = this; h; h = h->parent.get()) {
      if ((h->options.*field).has_value()) return h->options.*field;
    }
    return std::nullopt;
  }
};

namespace {

std::mutex registryMutex;
std::unordered_map<InternetHandle*, std::shared_ptr<InternetHandle>>& Registry() {
  static auto* registry = new std::unordered_map<InternetHandle*, std::shared_ptr<InternetHandle>>();
  return *registry;
}

std::shared_ptr<InternetHandle> Lookup(HINTERNET handle) {
  std::lock_guard lock(registryMutex);
  auto it = Registry().find(handle);
  if (it == Registry().end()) return nullptr;
  return it->second;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return kFalse;
}

// The handle locked for one call, or a failure already recorded.
struct Locked {
  std::shared_ptr<InternetHandle> handle;
  std::unique_lock<std::recursive_mutex> lock;
  explicit operator bool() const { return handle != nullptr; }
};

Locked Acquire(HINTERNET h, std::optional<Kind> kind) {
  Locked l;
  auto handle = Lookup(h);
  if (!handle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return l;
  }
  std::unique_lock lock(handle->tree->mutex);
  if (handle->Closed()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return l;
  }
  if (kind && handle->kind != *kind) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return l;
  }
  l.handle = std::move(handle);
  l.lock = std::move(lock);
  return l;
}

void Notify(InternetHandle& h, const StatusEvent& e) {
  if (!h.callback) return;
  switch (e.info) {
    case StatusEvent::Info::Text: {
      std::string text = e.text;
      h.callback(&h, h.context, e.code, text.data(), static_cast<DWORD>(text.size() + 1));
      break;
    }
    case StatusEvent::Info::Number: {
      DWORD number = e.number;
      h.callback(&h, h.context, e.code, &number, sizeof number);
      break;
    }
    case StatusEvent::Info::Handle: {
      HINTERNET value = &h;
      h.callback(&h, h.context, e.code, &value, sizeof value);
      break;
    }
    case StatusEvent::Info::AsyncResult: {
      INTERNET_ASYNC_RESULT result{reinterpret_cast<DWORD_PTR>(&h), e.number};
      h.callback(&h, h.context, e.code, &result, sizeof result);
      break;
    }
    case StatusEvent::Info::None:
      h.callback(&h, h.context, e.code, nullptr, 0);
      break;
  }
}

// Runs the queued notifications outside the network library, so that the
// callback may call back into this interface or unwind a killed thread.
void DeliverEvents(InternetHandle& h) {
  RequestState& r = *h.request;
  while (!r.events.empty()) {
    std::vector<StatusEvent> batch;
    batch.swap(r.events);
    for (auto& e : batch) Notify(h, e);
  }
}

void Queue(RequestState& r, DWORD code, std::string text) {
  r.events.push_back({code, StatusEvent::Info::Text, std::move(text)});
}
void QueueNumber(RequestState& r, DWORD code, DWORD number) {
  r.events.push_back({code, StatusEvent::Info::Number, {}, number});
}

// Wakes a blocked poll when the calling thread is killed. The listener may
// run on another thread at any time while it is registered; the waker keeps
// it from touching a multi handle that is gone.
class KillWake {
public:
  explicit KillWake(CURLM* multi) : waker_(std::make_shared<Waker>()) {
    waker_->multi = multi;
    auto waker = waker_;
    id_ = AddKillListener([waker] {
      std::lock_guard lock(waker->mutex);
      if (waker->multi) curl_multi_wakeup(waker->multi);
    });
  }
  ~KillWake() {
    RemoveKillListener(id_);
    std::lock_guard lock(waker_->mutex);
    waker_->multi = nullptr;
  }
  KillWake(const KillWake&) = delete;
  KillWake& operator=(const KillWake&) = delete;

private:
  struct Waker {
    std::mutex mutex;
    CURLM* multi = nullptr;
  };
  std::shared_ptr<Waker> waker_;
  int id_ = 0;
};

DWORD ErrorFromCurl(CURL* easy, CURLcode code) {
  switch (code) {
    case CURLE_OK: return ERROR_SUCCESS;
    case CURLE_UNSUPPORTED_PROTOCOL: return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
    case CURLE_TOO_MANY_REDIRECTS: return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_OUT_OF_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR: return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_SSL_CONNECT_ERROR: return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE: {
      long verify = 0;
      curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
      // A chain that passed (or was excused) leaves the library's own
      // check of the host name as the one that failed.
      if (verify == X509_V_OK || verify == X509_V_ERR_UNSPECIFIED || verify == X509_V_ERR_HOSTNAME_MISMATCH ||
          verify == X509_V_ERR_IP_ADDRESS_MISMATCH)
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
      if (verify == X509_V_ERR_CERT_HAS_EXPIRED || verify == X509_V_ERR_CERT_NOT_YET_VALID)
        return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
      return ERROR_INTERNET_INVALID_CA;
    }
    default: return ERROR_INTERNET_CONNECTION_ABORTED;
  }
}

bool IsRedirectStatus(int status) { return status >= 300 && status < 400 && status != 304; }

std::string SchemeOf(std::string_view url) {
  std::size_t colon = url.find(':');
  std::size_t slash = url.find('/');
  if (colon == std::string_view::npos || (slash != std::string_view::npos && slash < colon)) return {};
  std::string s(url.substr(0, colon));
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto& r = *static_cast<RequestState*>(user);
  std::size_t length = size * count;
  r.lastActivity = Clock::now();
  if (r.headersFinal) return length;  // trailers of a chunked body
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.substr(0, 5) == "HTTP/") {
    if (!r.receiving) {
      r.receiving = true;
      r.events.push_back({INTERNET_STATUS_RECEIVING_RESPONSE, StatusEvent::Info::None, {}});
    }
    if (IsRedirectStatus(r.current.status) && r.current.HasHeader("Location")) {
      char* effective = nullptr;
      curl_easy_getinfo(r.easy, CURLINFO_EFFECTIVE_URL, &effective);
      Queue(r, INTERNET_STATUS_REDIRECT, effective ? effective : "");
    }
    r.current = Response{};
    r.current.statusLine = std::string(line);
    std::size_t sp = line.find(' ');
    r.current.version = std::string(line.substr(0, sp));
    if (sp != std::string_view::npos) {
      std::string_view rest = line.substr(sp + 1);
      int status = 0;
      std::size_t i = 0;
      while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') status = status * 10 + (rest[i++] - '0');
      r.current.status = status;
      r.current.statusText = Trim(rest.substr(i));
    }
    return length;
  }
  if (line.empty()) {
    if (r.current.status < 200) return length;  // 1xx: the real answer follows
    bool follow = !(r.flags & INTERNET_FLAG_NO_AUTO_REDIRECT);
    const std::string* location = r.current.Header("Location");
    if (follow && IsRedirectStatus(r.current.status) && location) {
      char* effective = nullptr;
      curl_easy_getinfo(r.easy, CURLINFO_EFFECTIVE_URL, &effective);
      std::string from = SchemeOf(effective ? effective : "");
      std::string to = SchemeOf(*location);
      if (to.empty()) to = from;  // relative: same scheme
      if (from == "https" && to == "http" && !(r.flags & INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP)) {
        r.failError = ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
        return 0;
      }
      return length;
    }
    r.final = r.current;
    r.headersFinal = true;
    std::size_t bytes = r.final.statusLine.size() + 4;
    for (auto& h : r.final.headers) bytes += h.first.size() + h.second.size() + 4;
    QueueNumber(r, INTERNET_STATUS_RESPONSE_RECEIVED, static_cast<DWORD>(bytes));
    return length;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !r.current.headers.empty()) {
    r.current.headers.back().second += " " + Trim(line);
    return length;
  }
  std::size_t colon = line.find(':');
  if (colon != std::string_view::npos) {
    r.current.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  return length;
}

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  auto& r = *static_cast<RequestState*>(user);
  std::size_t length = size * count;
  if (!r.headersFinal) {
    // Body bytes mean the answer is final whatever the headers suggested.
    r.final = r.current;
    r.headersFinal = true;
  }
  if (r.Buffered() >= kMaxBuffered) {
    r.paused = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (r.bufferPos > 0 && r.bufferPos >= r.buffer.size() / 2) {
    r.buffer.erase(0, r.bufferPos);
    r.bufferPos = 0;
  }
  r.buffer.append(data, length);
  r.lastActivity = Clock::now();
  return length;
}

size_t OnRead(char* data, size_t size, size_t count, void* user) {
  auto& r = *static_cast<RequestState*>(user);
  std::size_t room = size * count;
  std::size_t available = r.uploadBuffer.size() - r.uploadPos;
  if (available == 0) {
    if (r.uploadTaken >= r.uploadTotal) return 0;
    r.uploadPaused = true;
    return CURL_READFUNC_PAUSE;
  }
  std::size_t n = std::min(room, available);
  std::memcpy(data, r.uploadBuffer.data() + r.uploadPos, n);
  r.uploadPos += n;
  r.uploadTaken += n;
  if (r.uploadPos == r.uploadBuffer.size()) {
    r.uploadBuffer.clear();
    r.uploadPos = 0;
  }
  r.lastActivity = Clock::now();
  return n;
}

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  auto& r = *static_cast<RequestState*>(user);
  if (type == CURLINFO_HEADER_OUT) {
    r.requestHead.assign(data, size);
    QueueNumber(r, INTERNET_STATUS_REQUEST_SENT, static_cast<DWORD>(size));
  }
  return 0;
}

curl_socket_t OnOpenSocket(void* user, curlsocktype, struct curl_sockaddr* address) {
  auto& r = *static_cast<RequestState*>(user);
  char host[NI_MAXHOST] = {};
  getnameinfo(&address->addr, address->addrlen, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
  Queue(r, INTERNET_STATUS_RESOLVING_NAME, [&] {
    char* url = nullptr;
    curl_easy_getinfo(r.easy, CURLINFO_EFFECTIVE_URL, &url);
    internet::UrlParts parts;
    return url && internet::SplitUrl(url, parts) ? parts.host : std::string(host);
  }());
  Queue(r, INTERNET_STATUS_NAME_RESOLVED, host);
  Queue(r, INTERNET_STATUS_CONNECTING_TO_SERVER, host);
  r.pendingConnect = host;
  return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

std::string EndpointKey(const char* address, const char* port) {
  return std::string(address) + " " + port;
}

// The local end of a socket as the connection map knows it; empty when the
// socket has none (it never got as far as a connect).
std::string LocalEndpointOf(curl_socket_t socket) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) return {};
  char host[NI_MAXHOST] = {};
  char port[NI_MAXSERV] = {};
  if (getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, port, sizeof port,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return {};
  return EndpointKey(host, port);
}

// Runs inside the network library whenever it lets go of a socket, so the
// notifications are only queued here; the owner's next delivery reports
// them. A socket that never carried a request (a connect that failed, a
// connection whose last request is closed) is closed without a word.
int OnCloseSocket(void* user, curl_socket_t socket) {
  auto& tree = *static_cast<Tree*>(user);
  if (!tree.connections.empty()) {
    auto it = tree.connections.find(LocalEndpointOf(socket));
    if (it != tree.connections.end()) {
      RequestState* owner = it->second;
      tree.connections.erase(it);
      owner->events.push_back({INTERNET_STATUS_CLOSING_CONNECTION, StatusEvent::Info::None, {}});
      owner->events.push_back({INTERNET_STATUS_CONNECTION_CLOSED, StatusEvent::Info::None, {}});
    }
  }
  return close(socket);
}

// A closed request no longer hears of the connections it used.
void ForgetConnections(RequestState& r) {
  auto& connections = r.tree->connections;
  for (auto it = connections.begin(); it != connections.end();) {
    it = it->second == &r ? connections.erase(it) : std::next(it);
  }
}

int OnPrereq(void* user, char* primaryIp, char* localIp, int, int localPort) {
  auto& r = *static_cast<RequestState*>(user);
  // New or reused, the connection now carries this request.
  if (localIp) r.tree->connections[EndpointKey(localIp, std::to_string(localPort).c_str())] = &r;
  r.connected = true;
  r.lastActivity = Clock::now();
  if (!r.pendingConnect.empty()) {
    Queue(r, INTERNET_STATUS_CONNECTED_TO_SERVER, primaryIp ? primaryIp : r.pendingConnect);
    r.pendingConnect.clear();
  }
  r.events.push_back({INTERNET_STATUS_SENDING_REQUEST, StatusEvent::Info::None, {}});
  return CURL_PREREQFUNC_OK;
}

// Certificate faults that the request's security flags excuse. The network
// library checks the peer after the handshake by the verification result,
// so an excused fault is cleared from it here.
int VerifyCertificate(int ok, X509_STORE_CTX* store) {
  if (ok) return ok;
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (!ssl) return ok;
  auto flags = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), 0)));
  int error = X509_STORE_CTX_get_error(store);
  bool excused = false;
  switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      excused = flags & SECURITY_FLAG_IGNORE_UNKNOWN_CA;
      break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      excused = flags & SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
      break;
    default:
      break;
  }
  if (!excused) return ok;
  X509_STORE_CTX_set_error(store, X509_V_OK);
  return 1;
}

CURLcode OnSslContext(CURL*, void* context, void* user) {
  auto* ctx = static_cast<SSL_CTX*>(context);
  SSL_CTX_set_ex_data(ctx, 0, user);
  SSL_CTX_set_verify(ctx, SSL_CTX_get_verify_mode(ctx), VerifyCertificate);
  return CURLE_OK;
}

void RemoveFromMulti(InternetHandle& h) {
  RequestState& r = *h.request;
  if (r.easy && r.inMulti) {
    curl_multi_remove_handle(h.tree->multi, r.easy);
    r.inMulti = false;
  }
}

// Collects finished transfers of the session; each belongs to a request.
void ReadMultiMessages(Tree& tree) {
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(tree.multi, &left)) {
    if (msg->msg != CURLMSG_DONE) continue;
    RequestState* r = nullptr;
    curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &r);
    if (!r) continue;
    r->done = true;
    r->result = msg->data.result;
  }
}

enum class Waiting { Connected, Headers, Body, UploadTaken };

bool Reached(const RequestState& r, Waiting what) {
  switch (what) {
    case Waiting::Connected: return r.uploadPaused || r.headersFinal;
    case Waiting::Headers: return r.headersFinal;
    case Waiting::Body: return r.Buffered() > 0;
    case Waiting::UploadTaken: return r.uploadBuffer.size() == r.uploadPos || r.headersFinal;
  }
  return false;
}

// Drives the session's transfers on the calling thread until the request
// reaches What or ends. False with the last error set when the handle was
// closed meanwhile or the request stalled beyond its receive timeout. A kill
// of the calling thread throws ThreadKilled from here.
bool Drive(InternetHandle& h, Waiting what) {
  RequestState& r = *h.request;
  Tree& tree = *h.tree;
  KillWake wake(tree.multi);
  DWORD receiveTimeout = h.Inherited(&Options::receiveTimeout).value_or(kDefaultReceiveTimeout);
  if (receiveTimeout == 0) receiveTimeout = kDefaultReceiveTimeout;
  r.lastActivity = Clock::now();
  for (;;) {
    DeliverEvents(h);
    if (h.Closed()) return Fail(ERROR_INTERNET_OPERATION_CANCELLED);
    KillCheckpoint();
    if (Reached(r, what) || r.done) return true;
    int running = 0;
    curl_multi_perform(tree.multi, &running);
    ReadMultiMessages(tree);
    DeliverEvents(h);
    if (h.Closed()) return Fail(ERROR_INTERNET_OPERATION_CANCELLED);
    if (Reached(r, what) || r.done) return true;
    if (r.connected && !r.paused &&
        Clock::now() - r.lastActivity > std::chrono::milliseconds(receiveTimeout)) {
      RemoveFromMulti(h);
      r.done = true;
      r.result = CURLE_OPERATION_TIMEDOUT;
      DeliverEvents(h);  // the stalled connection has just been closed
      return true;
    }
    curl_multi_poll(tree.multi, nullptr, 0, kPollMillis, nullptr);
  }
}

void ResetSend(InternetHandle& h) {
  RequestState& r = *h.request;
  RemoveFromMulti(h);
  r.sent = r.headersFinal = r.done = r.connected = r.receiving = r.paused = false;
  r.result = CURLE_OK;
  r.failError = 0;
  r.pendingConnect.clear();
  r.current = Response{};
  r.final = Response{};
  r.buffer.clear();
  r.bufferPos = 0;
  r.errorBuffer[0] = 0;
  r.uploading = r.uploadPaused = false;
  r.uploadBuffer.clear();
  r.uploadPos = 0;
  r.uploadTotal = r.uploadTaken = 0;
}

bool HasHeader(const HeaderList& list, std::string_view name) {
  for (auto& h : list) {
    if (EqualNoCase(h.first, name)) return true;
  }
  return false;
}

// Sets up the request's transfer for one send. Body, when given, is the
// request body; an upload instead pulls its body from InternetWriteFile.
DWORD Configure(InternetHandle& h, const HeaderList& sendHeaders, const std::string* body,
                std::uint64_t uploadTotal) {
  RequestState& r = *h.request;
  const InternetHandle& connection = *h.Connection();
  const InternetHandle& session = *h.Session();
  // A fresh transfer handle per send: resetting one keeps parts of the old
  // send's state (its cookie file list) alive. Connections live in the
  // session's multi handle, so they are reused all the same.
  if (r.easy) curl_easy_cleanup(r.easy);
  r.easy = curl_easy_init();
  if (!r.easy) return ERROR_NOT_ENOUGH_MEMORY;
  CURL* e = r.easy;
  bool secure = r.flags & INTERNET_FLAG_SECURE;
  std::string scheme = secure ? "https" : "http";
  unsigned port = connection.port ? connection.port : (secure ? 443u : 80u);
  std::string host = connection.server;
  if (host.empty()) return ERROR_INTERNET_INVALID_URL;
  for (char c : host) {
    if (static_cast<unsigned char>(c) <= 0x20 || std::strchr("/?#@\\", c)) return ERROR_INTERNET_INVALID_URL;
  }
  std::string hostPart = host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
  std::string target = r.object.empty() ? "/" : r.object;
  if (target.front() != '/') target = "/" + target;
  r.url = scheme + "://" + hostPart + ":" + std::to_string(port) + internet::EncodeRequestTarget(target);

  curl_easy_setopt(e, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(e, CURLOPT_PRIVATE, &r);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, r.errorBuffer);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &r);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &r);
  curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(e, CURLOPT_DEBUGDATA, &r);
  curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, OnOpenSocket);
  curl_easy_setopt(e, CURLOPT_OPENSOCKETDATA, &r);
  // A connection keeps the close function of the transfer that opened it,
  // and may outlive that request, hence the session's data rather than r.
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, OnCloseSocket);
  curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, h.tree.get());
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, OnPrereq);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, &r);
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION,
                   EqualNoCase(r.version, "HTTP/1.0") ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  if (!session.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, session.agent.c_str());
  if (!r.referrer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, r.referrer.c_str());

  // Verb and body.
  std::string verb = r.verb.empty() ? "GET" : r.verb;
  if (r.uploading) {
    curl_easy_setopt(e, CURLOPT_POST, 1L);
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(uploadTotal));
    curl_easy_setopt(e, CURLOPT_READFUNCTION, OnRead);
    curl_easy_setopt(e, CURLOPT_READDATA, &r);
    if (verb != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb.c_str());
  } else if (body) {
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, body->c_str());
    if (verb != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb.c_str());
  } else if (verb == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else if (verb == "GET") {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }

  // Headers: the request's own, then this send's; the library's defaults
  // that the caller did not ask for are taken out.
  HeaderList all;
  if (!r.accept.empty()) all.emplace_back("Accept", r.accept);
  if (r.flags & INTERNET_FLAG_RELOAD) all.emplace_back("Cache-Control", "no-cache");
  if (r.flags & INTERNET_FLAG_PRAGMA_NOCACHE) all.emplace_back("Pragma", "no-cache");
  for (auto& x : r.added) all.push_back(x);
  for (auto& x : sendHeaders) all.push_back(x);
  if (r.headerList) {
    curl_slist_free_all(r.headerList);
    r.headerList = nullptr;
  }
  auto add = [&](const std::string& line) {
    if (curl_slist* next = curl_slist_append(r.headerList, line.c_str())) r.headerList = next;
  };
  for (auto& x : all) add(x.second.empty() ? x.first + ";" : x.first + ": " + x.second);
  if (!HasHeader(all, "Accept")) add("Accept:");
  if (!HasHeader(all, "Expect")) add("Expect:");
  if ((body || r.uploading) && !HasHeader(all, "Content-Type")) add("Content-Type:");
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, r.headerList);

  // Connection reuse, cookies, redirects.
  curl_easy_setopt(e, CURLOPT_FORBID_REUSE, (r.flags & INTERNET_FLAG_KEEP_CONNECTION) ? 0L : 1L);
  if (!(r.flags & INTERNET_FLAG_NO_COOKIES) && h.tree->share) {
    curl_easy_setopt(e, CURLOPT_SHARE, h.tree->share);
    curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
  }
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, (r.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) ? 0L : 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);

  // Credentials.
  std::string user = h.Inherited(&Options::user).value_or(connection.user);
  std::string password = h.Inherited(&Options::password).value_or(connection.password);
  if (!(r.flags & INTERNET_FLAG_NO_AUTH) && (!user.empty() || !password.empty())) {
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
  }

  // Proxy.
  switch (session.accessType) {
    case INTERNET_OPEN_TYPE_DIRECT:
      curl_easy_setopt(e, CURLOPT_PROXY, "");
      break;
    case INTERNET_OPEN_TYPE_PROXY: {
      std::string proxy = internet::ProxyForScheme(session.proxy, scheme);
      bool bypass = proxy.empty() || internet::HostInBypassList(host, session.bypass);
      std::string text = bypass ? std::string() : (proxy.find("://") == std::string::npos ? "http://" + proxy : proxy);
      curl_easy_setopt(e, CURLOPT_PROXY, text.c_str());
      break;
    }
    default:
      break;  // the environment's proxy settings, read by the library
  }
  std::string proxyUser = h.Inherited(&Options::proxyUser).value_or("");
  std::string proxyPassword = h.Inherited(&Options::proxyPassword).value_or("");
  if (!proxyUser.empty() || !proxyPassword.empty()) {
    curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
    curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
  }

  // Certificates.
  DWORD security = h.Inherited(&Options::securityFlags).value_or(0);
  if (r.flags & INTERNET_FLAG_IGNORE_CERT_CN_INVALID) security |= SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
  if (r.flags & INTERNET_FLAG_IGNORE_CERT_DATE_INVALID) security |= SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, (security & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) ? 0L : 2L);
  if (security & (SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID)) {
    curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, OnSslContext);
    curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, reinterpret_cast<void*>(static_cast<std::uintptr_t>(security)));
    // A reused connection was checked under other flags.
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
  }

  DWORD connectTimeout = h.Inherited(&Options::connectTimeout).value_or(kDefaultConnectTimeout);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout ? connectTimeout : kDefaultConnectTimeout));
  return ERROR_SUCCESS;
}

// The failure of a send that got no final answer. A proxy that refused the
// tunnel with 407 is presented as that answer, so that the caller can log in.
bool PresentTunnelRefusal(RequestState& r) {
  long connectCode = 0;
  curl_easy_getinfo(r.easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
  if (connectCode != 407) return false;
  r.final = Response{};
  r.final.statusLine = "HTTP/1.1 407 Proxy Authentication Required";
  r.final.version = "HTTP/1.1";
  r.final.status = 407;
  r.final.statusText = "Proxy Authentication Required";
  r.headersFinal = true;
  return true;
}

BOOL FinishSend(InternetHandle& h) {
  RequestState& r = *h.request;
  if (!Drive(h, Waiting::Headers)) return kFalse;
  if (!r.headersFinal && !PresentTunnelRefusal(r)) {
    DWORD error = r.failError ? r.failError : ErrorFromCurl(r.easy, r.result);
    if (error == ERROR_SUCCESS) error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    lastResponseInfo = r.errorBuffer[0] ? r.errorBuffer : curl_easy_strerror(r.result);
    RemoveFromMulti(h);
    return Fail(error);
  }
  r.sent = true;
  r.events.push_back({INTERNET_STATUS_REQUEST_COMPLETE, StatusEvent::Info::AsyncResult, {}, 0});
  DeliverEvents(h);
  return kTrue;
}

BOOL StartSend(InternetHandle& h, const char* headers, DWORD headersLength, const std::string* body,
               bool upload, std::uint64_t uploadTotal) {
  RequestState& r = *h.request;
  ResetSend(h);
  if (h.Session()->sessionFlags & INTERNET_FLAG_OFFLINE) return Fail(ERROR_FILE_NOT_FOUND);
  HeaderList sendHeaders;
  if (headers) {
    std::string_view text = headersLength == static_cast<DWORD>(-1) ? std::string_view(headers)
                                                                     : std::string_view(headers, headersLength);
    if (!ParseHeaderLines(text, sendHeaders)) return Fail(ERROR_HTTP_INVALID_HEADER);
  }
  r.uploading = upload;
  r.uploadTotal = uploadTotal;
  if (DWORD error = Configure(h, sendHeaders, body, uploadTotal)) return Fail(error);
  if (curl_multi_add_handle(h.tree->multi, r.easy) != CURLM_OK) return Fail(ERROR_INTERNET_INTERNAL_ERROR);
  r.inMulti = true;
  return kTrue;
}

void CloseLocked(InternetHandle& h) {
  for (InternetHandle* child : std::vector<InternetHandle*>(h.children)) CloseLocked(*child);
  h.closed = true;
  // Before anything can throw: the connection map must not keep a request
  // that may be freed. A connection that taking an unfinished transfer out
  // closes therefore reports nothing to a handle that is going away.
  if (h.request) ForgetConnections(*h.request);
  Notify(h, {INTERNET_STATUS_HANDLE_CLOSING, StatusEvent::Info::Handle, {}});
  if (h.request) {
    RemoveFromMulti(h);
    if (h.request->easy) {
      curl_easy_cleanup(h.request->easy);
      h.request->easy = nullptr;
    }
  }
  if (h.parent) {
    auto& siblings = h.parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), &h), siblings.end());
  }
  std::lock_guard lock(registryMutex);
  Registry().erase(&h);
}

HINTERNET Register(std::shared_ptr<InternetHandle> handle) {
  HINTERNET raw = handle.get();
  std::lock_guard lock(registryMutex);
  Registry().emplace(raw, std::move(handle));
  return raw;
}

std::string CopyText(const void* buffer, DWORD length) {
  const char* text = static_cast<const char*>(buffer);
  if (!text) return {};
  std::string s(text, length);
  std::size_t zero = s.find('\0');
  if (zero != std::string::npos) s.resize(zero);
  return s;
}

BOOL ReturnText(const std::string& text, void* buffer, DWORD* length) {
  if (!length) return Fail(ERROR_INVALID_PARAMETER);
  DWORD needed = static_cast<DWORD>(text.size() + 1);
  if (!buffer || *length < needed) {
    *length = needed;
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, text.data(), text.size());
  static_cast<char*>(buffer)[text.size()] = 0;
  *length = static_cast<DWORD>(text.size());
  return kTrue;
}

BOOL ReturnNumber(DWORD value, void* buffer, DWORD* length) {
  if (!length) return Fail(ERROR_INVALID_PARAMETER);
  if (!buffer || *length < sizeof(DWORD)) {
    *length = sizeof(DWORD);
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, &value, sizeof value);
  *length = sizeof value;
  return kTrue;
}

const char* HeaderNameOf(DWORD level) {
  static const char* const names[] = {
      "MIME-Version", "Content-Type", "Content-Transfer-Encoding", "Content-ID", "Content-Description",
      "Content-Length", "Content-Language", "Allow", "Public", "Date", "Expires", "Last-Modified",
      "Message-ID", "URI", "Derived-From", "Cost", "Link", "Pragma", nullptr, nullptr, nullptr, nullptr,
      nullptr, "Connection", "Accept", "Accept-Charset", "Accept-Encoding", "Accept-Language",
      "Authorization", "Content-Encoding", "Forwarded", "From", "If-Modified-Since", "Location",
      "Orig-URI", "Referer", "Retry-After", "Server", "Title", "User-Agent", "WWW-Authenticate",
      "Proxy-Authenticate", "Accept-Ranges", "Set-Cookie", "Cookie", nullptr, "Refresh",
      "Content-Disposition", "Age", "Cache-Control", "Content-Base", "Content-Location", "Content-MD5",
      "Content-Range", "ETag", "Host", "If-Match", "If-None-Match", "If-Range", "If-Unmodified-Since",
      "Max-Forwards", "Proxy-Authorization", "Range", "Transfer-Encoding", "Upgrade", "Vary", "Via",
      "Warning", "Expect", "Proxy-Connection", "Unless-Modified-Since"};
  return level < std::size(names) ? names[level] : nullptr;
}

Response ParseRequestHead(const std::string& head) {
  Response req;
  std::string_view text(head);
  std::size_t end = text.find("\r\n");
  req.statusLine = std::string(text.substr(0, end));
  if (end != std::string_view::npos) {
    HeaderList headers;
    if (ParseHeaderLines(text.substr(end + 2), headers)) req.headers = std::move(headers);
  }
  return req;
}

}  // namespace

HINTERNET InternetOpen(const char* agent, DWORD accessType, const char* proxy, const char* proxyBypass,
                       DWORD flags) {
  EnsureCurl();
  if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
      accessType != INTERNET_OPEN_TYPE_PROXY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (accessType == INTERNET_OPEN_TYPE_PROXY && (!proxy || !*proxy)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto h = std::make_shared<InternetHandle>(Kind::Session);
  h->tree = std::make_shared<Tree>();
  if (!h->tree->multi) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  h->agent = HeaderSafe(agent);
  h->accessType = accessType;
  if (accessType == INTERNET_OPEN_TYPE_PROXY) {
    h->proxy = proxy;
    h->bypass = proxyBypass ? proxyBypass : "";
  }
  h->sessionFlags = flags;
  return Register(std::move(h));
}

INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET handle, INTERNET_STATUS_CALLBACK callback) {
  Locked l = Acquire(handle, std::nullopt);
  if (!l) return INTERNET_INVALID_STATUS_CALLBACK;
  INTERNET_STATUS_CALLBACK previous = l.handle->callback;
  l.handle->callback = callback;
  return previous;
}

HINTERNET InternetConnect(HINTERNET session, const char* serverName, INTERNET_PORT port, const char* userName,
                          const char* password, DWORD service, DWORD, DWORD_PTR context) {
  Locked l = Acquire(session, Kind::Session);
  if (!l) return nullptr;
  if (service != INTERNET_SERVICE_HTTP) {
    SetLastError(ERROR_INTERNET_INVALID_OPERATION);
    return nullptr;
  }
  if (!serverName || !*serverName) {
    SetLastError(ERROR_INTERNET_INVALID_URL);
    return nullptr;
  }
  auto h = std::make_shared<InternetHandle>(Kind::Connection);
  h->tree = l.handle->tree;
  h->parent = l.handle;
  h->callback = l.handle->callback;
  h->context = context;
  h->server = serverName;
  h->port = port;
  h->user = userName ? userName : "";
  h->password = password ? password : "";
  l.handle->children.push_back(h.get());
  InternetHandle& ref = *h;
  HINTERNET result = Register(std::move(h));
  Notify(ref, {INTERNET_STATUS_HANDLE_CREATED, StatusEvent::Info::AsyncResult, {}, 0});
  return result;
}

HINTERNET HttpOpenRequest(HINTERNET connection, const char* verb, const char* objectName, const char* version,
                          const char* referrer, const char** acceptTypes, DWORD flags, DWORD_PTR context) {
  Locked l = Acquire(connection, Kind::Connection);
  if (!l) return nullptr;
  auto h = std::make_shared<InternetHandle>(Kind::Request);
  h->tree = l.handle->tree;
  h->parent = l.handle;
  h->callback = l.handle->callback;
  h->context = context;
  h->request = std::make_unique<RequestState>();
  RequestState& r = *h->request;
  r.tree = h->tree.get();
  r.verb = verb && *verb ? verb : "GET";
  for (char c : r.verb) {
    if (!IsToken(std::string(1, c))) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
  }
  r.object = objectName ? objectName : "";
  r.version = version ? version : "";
  r.referrer = HeaderSafe(referrer);
  if (acceptTypes) {
    for (const char** t = acceptTypes; *t; ++t) {
      std::string type = HeaderSafe(*t);
      if (type.empty()) continue;
      if (!r.accept.empty()) r.accept += ", ";
      r.accept += type;
    }
  }
  r.flags = flags;
  l.handle->children.push_back(h.get());
  InternetHandle& ref = *h;
  HINTERNET result = Register(std::move(h));
  Notify(ref, {INTERNET_STATUS_HANDLE_CREATED, StatusEvent::Info::AsyncResult, {}, 0});
  return result;
}

BOOL InternetSetOption(HINTERNET handle, DWORD option, const void* buffer, DWORD bufferLength) {
  Locked l = Acquire(handle, std::nullopt);
  if (!l) return kFalse;
  Options& o = l.handle->options;
  auto number = [&](std::optional<DWORD>& field) -> BOOL {
    if (!buffer || bufferLength < sizeof(DWORD)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
    DWORD value;
    std::memcpy(&value, buffer, sizeof value);
    field = value;
    return kTrue;
  };
  auto text = [&](std::optional<std::string>& field) -> BOOL {
    field = CopyText(buffer, bufferLength);
    return kTrue;
  };
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT: return number(o.connectTimeout);
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_DATA_SEND_TIMEOUT: return number(o.sendTimeout);
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT: return number(o.receiveTimeout);
    case INTERNET_OPTION_SECURITY_FLAGS: return number(o.securityFlags);
    case INTERNET_OPTION_USERNAME: return text(o.user);
    case INTERNET_OPTION_PASSWORD: return text(o.password);
    case INTERNET_OPTION_PROXY_USERNAME: return text(o.proxyUser);
    case INTERNET_OPTION_PROXY_PASSWORD: return text(o.proxyPassword);
    case INTERNET_OPTION_CONTEXT_VALUE:
      if (!buffer || bufferLength < sizeof(DWORD_PTR)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
      std::memcpy(&l.handle->context, buffer, sizeof(DWORD_PTR));
      return kTrue;
    case INTERNET_OPTION_USER_AGENT:
      if (l.handle->kind != Kind::Session) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
      l.handle->agent = HeaderSafe(CopyText(buffer, bufferLength).c_str());
      return kTrue;
    default:
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

BOOL InternetQueryOption(HINTERNET handle, DWORD option, void* buffer, DWORD* bufferLength) {
  if (option == INTERNET_OPTION_CONNECTED_STATE) {
    // Linux keeps no per-user "work offline" switch.
    return ReturnNumber(INTERNET_STATE_CONNECTED, buffer, bufferLength);
  }
  Locked l = Acquire(handle, std::nullopt);
  if (!l) return kFalse;
  InternetHandle& h = *l.handle;
  auto number = [&](std::optional<DWORD> Options::*field, DWORD fallback) {
    return ReturnNumber(h.Inherited(field).value_or(fallback), buffer, bufferLength);
  };
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT: return number(&Options::connectTimeout, kDefaultConnectTimeout);
    case INTERNET_OPTION_SEND_TIMEOUT:
    case INTERNET_OPTION_DATA_SEND_TIMEOUT: return number(&Options::sendTimeout, kDefaultReceiveTimeout);
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_DATA_RECEIVE_TIMEOUT: return number(&Options::receiveTimeout, kDefaultReceiveTimeout);
    case INTERNET_OPTION_SECURITY_FLAGS: {
      DWORD flags = h.Inherited(&Options::securityFlags).value_or(0);
      if (h.request && (h.request->flags & INTERNET_FLAG_SECURE)) flags |= SECURITY_FLAG_SECURE;
      return ReturnNumber(flags, buffer, bufferLength);
    }
    case INTERNET_OPTION_HANDLE_TYPE:
      return ReturnNumber(h.kind == Kind::Session      ? INTERNET_HANDLE_TYPE_INTERNET
                          : h.kind == Kind::Connection ? INTERNET_HANDLE_TYPE_CONNECT_HTTP
                                                       : INTERNET_HANDLE_TYPE_HTTP_REQUEST,
                          buffer, bufferLength);
    case INTERNET_OPTION_REQUEST_FLAGS:
      if (!h.request) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
      return ReturnNumber(h.request->flags, buffer, bufferLength);
    case INTERNET_OPTION_USERNAME: {
      const InternetHandle* c = h.Connection();
      return ReturnText(h.Inherited(&Options::user).value_or(c ? c->user : ""), buffer, bufferLength);
    }
    case INTERNET_OPTION_PASSWORD: {
      const InternetHandle* c = h.Connection();
      return ReturnText(h.Inherited(&Options::password).value_or(c ? c->password : ""), buffer, bufferLength);
    }
    case INTERNET_OPTION_PROXY_USERNAME:
      return ReturnText(h.Inherited(&Options::proxyUser).value_or(""), buffer, bufferLength);
    case INTERNET_OPTION_PROXY_PASSWORD:
      return ReturnText(h.Inherited(&Options::proxyPassword).value_or(""), buffer, bufferLength);
    case INTERNET_OPTION_USER_AGENT: return ReturnText(h.Session()->agent, buffer, bufferLength);
    case INTERNET_OPTION_URL: {
      if (!h.request) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
      char* effective = nullptr;
      if (h.request->easy) curl_easy_getinfo(h.request->easy, CURLINFO_EFFECTIVE_URL, &effective);
      return ReturnText(effective ? effective : h.request->url, buffer, bufferLength);
    }
    case INTERNET_OPTION_PARENT_HANDLE: {
      if (!bufferLength) return Fail(ERROR_INVALID_PARAMETER);
      if (!buffer || *bufferLength < sizeof(HINTERNET)) {
        *bufferLength = sizeof(HINTERNET);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
      HINTERNET parent = h.parent.get();
      std::memcpy(buffer, &parent, sizeof parent);
      *bufferLength = sizeof parent;
      return kTrue;
    }
    case INTERNET_OPTION_CONTEXT_VALUE: {
      if (!bufferLength) return Fail(ERROR_INVALID_PARAMETER);
      if (!buffer || *bufferLength < sizeof(DWORD_PTR)) {
        *bufferLength = sizeof(DWORD_PTR);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
      }
      std::memcpy(buffer, &h.context, sizeof(DWORD_PTR));
      *bufferLength = sizeof(DWORD_PTR);
      return kTrue;
    }
    default:
      return Fail(ERROR_INTERNET_INVALID_OPTION);
  }
}

BOOL InternetGoOnline(const char*, void*, DWORD) { return kTrue; }

BOOL HttpAddRequestHeaders(HINTERNET request, const char* headers, DWORD headersLength, DWORD modifiers) {
  Locked l = Acquire(request, Kind::Request);
  if (!l) return kFalse;
  if (!headers) return Fail(ERROR_INVALID_PARAMETER);
  std::string_view text =
      headersLength == static_cast<DWORD>(-1) ? std::string_view(headers) : std::string_view(headers, headersLength);
  HeaderList lines;
  if (!ParseHeaderLines(text, lines)) return Fail(ERROR_HTTP_INVALID_HEADER);
  HeaderList& added = l.handle->request->added;
  for (auto& line : lines) {
    auto same = [&](const std::pair<std::string, std::string>& x) { return EqualNoCase(x.first, line.first); };
    bool exists = std::any_of(added.begin(), added.end(), same);
    if (modifiers & HTTP_ADDREQ_FLAG_REPLACE) {
      if (!exists && !(modifiers & HTTP_ADDREQ_FLAG_ADD) && !line.second.empty()) {
        // Replace alone changes only what is there.
        continue;
      }
      added.erase(std::remove_if(added.begin(), added.end(), same), added.end());
      if (!line.second.empty()) added.push_back(line);
    } else if (modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) {
      if (exists) return Fail(ERROR_HTTP_HEADER_ALREADY_EXISTS);
      added.push_back(line);
    } else if (modifiers & (HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA | HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON)) {
      auto it = std::find_if(added.begin(), added.end(), same);
      if (it == added.end()) {
        added.push_back(line);
      } else {
        it->second += (modifiers & HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA) ? ", " : "; ";
        it->second += line.second;
      }
    } else {
      added.push_back(line);
    }
  }
  return kTrue;
}

BOOL HttpSendRequest(HINTERNET request, const char* headers, DWORD headersLength, const void* optional,
                     DWORD optionalLength) {
  Locked l = Acquire(request, Kind::Request);
  if (!l) return kFalse;
  std::optional<std::string> body;
  if (optional && optionalLength) body.emplace(static_cast<const char*>(optional), optionalLength);
  if (!StartSend(*l.handle, headers, headersLength, body ? &*body : nullptr, false, 0)) return kFalse;
  return FinishSend(*l.handle);
}

BOOL HttpSendRequestEx(HINTERNET request, INTERNET_BUFFERS* buffersIn, INTERNET_BUFFERS*, DWORD, DWORD_PTR) {
  Locked l = Acquire(request, Kind::Request);
  if (!l) return kFalse;
  const char* headers = buffersIn ? buffersIn->lpcszHeader : nullptr;
  DWORD headersLength = buffersIn ? buffersIn->dwHeadersLength : 0;
  if (headers && headersLength == 0) headersLength = static_cast<DWORD>(std::strlen(headers));
  std::uint64_t total = buffersIn ? buffersIn->dwBufferTotal : 0;
  if (!StartSend(*l.handle, headers, headersLength, nullptr, true, total)) return kFalse;
  RequestState& r = *l.handle->request;
  if (!Drive(*l.handle, Waiting::Connected)) return kFalse;
  if (r.done && !r.headersFinal) {
    lastResponseInfo = r.errorBuffer;
    DWORD error = ErrorFromCurl(r.easy, r.result);
    RemoveFromMulti(*l.handle);
    return Fail(error ? error : ERROR_HTTP_INVALID_SERVER_RESPONSE);
  }
  return kTrue;
}

BOOL InternetWriteFile(HINTERNET request, const void* buffer, DWORD numberOfBytesToWrite,
                       DWORD* numberOfBytesWritten) {
  Locked l = Acquire(request, Kind::Request);
  if (!l) return kFalse;
  if (!numberOfBytesWritten || (!buffer && numberOfBytesToWrite)) return Fail(ERROR_INVALID_PARAMETER);
  *numberOfBytesWritten = 0;
  RequestState& r = *l.handle->request;
  if (!r.uploading || !r.inMulti) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  std::uint64_t room = r.uploadTotal - r.uploadTaken - (r.uploadBuffer.size() - r.uploadPos);
  DWORD n = static_cast<DWORD>(std::min<std::uint64_t>(numberOfBytesToWrite, room));
  if (n == 0) return kTrue;
  r.uploadBuffer.append(static_cast<const char*>(buffer), n);
  if (r.uploadPaused) {
    r.uploadPaused = false;
    curl_easy_pause(r.easy, CURLPAUSE_CONT);
  }
  if (!Drive(*l.handle, Waiting::UploadTaken)) return kFalse;
  if (r.done && !r.headersFinal && r.result != CURLE_OK) {
    lastResponseInfo = r.errorBuffer;
    return Fail(ErrorFromCurl(r.easy, r.result));
  }
  *numberOfBytesWritten = n;
  return kTrue;
}

BOOL HttpEndRequest(HINTERNET request, INTERNET_BUFFERS*, DWORD, DWORD_PTR) {
  Locked l = Acquire(request, Kind::Request);
  if (!l) return kFalse;
  RequestState& r = *l.handle->request;
  if (!r.uploading || (!r.inMulti && !r.done)) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  if (r.uploadPaused) {
    r.uploadPaused = false;
    curl_easy_pause(r.easy, CURLPAUSE_CONT);
  }
  return FinishSend(*l.handle);
}

BOOL HttpQueryInfo(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength, DWORD* index) {
  Locked l = Acquire(request, Kind::Request);
  if (!l) return kFalse;
  if (!bufferLength) return Fail(ERROR_INVALID_PARAMETER);
  RequestState& r = *l.handle->request;
  DWORD level = infoLevel & HTTP_QUERY_HEADER_MASK;
  DWORD modifiers = infoLevel & HTTP_QUERY_MODIFIER_FLAGS_MASK;
  bool ofRequest = modifiers & HTTP_QUERY_FLAG_REQUEST_HEADERS;
  if (modifiers & HTTP_QUERY_FLAG_SYSTEMTIME) return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
  if (ofRequest ? r.requestHead.empty() : !r.sent) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  Response source = ofRequest ? ParseRequestHead(r.requestHead) : r.final;

  std::string value;
  bool isHeader = false;
  DWORD wanted = index ? *index : 0;
  std::string name;
  switch (level) {
    case HTTP_QUERY_STATUS_CODE:
      if (ofRequest) return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
      value = std::to_string(source.status);
      break;
    case HTTP_QUERY_STATUS_TEXT:
      if (ofRequest) return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
      value = source.statusText;
      break;
    case HTTP_QUERY_VERSION:
      if (ofRequest) {
        std::size_t sp = source.statusLine.rfind(' ');
        value = sp == std::string::npos ? std::string() : source.statusLine.substr(sp + 1);
      } else {
        value = source.version;
      }
      break;
    case HTTP_QUERY_REQUEST_METHOD:
      value = r.verb;
      break;
    case HTTP_QUERY_RAW_HEADERS_CRLF:
      value = source.statusLine + "\r\n";
      for (auto& h : source.headers) value += h.first + ": " + h.second + "\r\n";
      value += "\r\n";
      break;
    case HTTP_QUERY_RAW_HEADERS:
      value = source.statusLine;
      value.push_back('\0');
      for (auto& h : source.headers) {
        value += h.first + ": " + h.second;
        value.push_back('\0');
      }
      break;
    case HTTP_QUERY_CUSTOM:
      if (!buffer) return Fail(ERROR_INVALID_PARAMETER);
      name = CopyText(buffer, *bufferLength);
      isHeader = true;
      break;
    default:
      if (const char* n = HeaderNameOf(level)) {
        name = n;
        isHeader = true;
      } else {
        return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
      }
  }
  if (isHeader) {
    DWORD seen = 0;
    bool found = false;
    for (auto& h : source.headers) {
      if (!EqualNoCase(h.first, name)) continue;
      if (seen++ == wanted) {
        value = h.second;
        found = true;
        break;
      }
    }
    if (!found) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
  }
  BOOL ok;
  if (modifiers & HTTP_QUERY_FLAG_NUMBER) {
    DWORD number = 0;
    for (char c : value) {
      if (c < '0' || c > '9') break;
      number = number * 10 + static_cast<DWORD>(c - '0');
    }
    ok = ReturnNumber(number, buffer, bufferLength);
  } else {
    ok = ReturnText(value, buffer, bufferLength);
  }
  if (ok && isHeader && index) *index = wanted + 1;
  return ok;
}

BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD numberOfBytesToRead, DWORD* numberOfBytesRead) {
  Locked l = Acquire(request, Kind::Request);
  if (!l) return kFalse;
  if (!numberOfBytesRead || (!buffer && numberOfBytesToRead)) return Fail(ERROR_INVALID_PARAMETER);
  *numberOfBytesRead = 0;
  InternetHandle& h = *l.handle;
  RequestState& r = *h.request;
  if (!r.sent) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  if (numberOfBytesToRead == 0) return kTrue;
  if (r.Buffered() == 0 && r.paused) {
    r.paused = false;
    curl_easy_pause(r.easy, CURLPAUSE_CONT);
  }
  if (!Drive(h, Waiting::Body)) return kFalse;
  std::size_t n = std::min<std::size_t>(numberOfBytesToRead, r.Buffered());
  if (n > 0) {
    std::memcpy(buffer, r.buffer.data() + r.bufferPos, n);
    r.bufferPos += n;
    if (r.bufferPos == r.buffer.size()) {
      r.buffer.clear();
      r.bufferPos = 0;
    }
    if (r.paused && r.Buffered() < kMaxBuffered / 2) {
      r.paused = false;
      curl_easy_pause(r.easy, CURLPAUSE_CONT);
    }
    *numberOfBytesRead = static_cast<DWORD>(n);
    return kTrue;
  }
  // The body has ended: completely, or broken off.
  RemoveFromMulti(h);
  if (r.result == CURLE_OK) return kTrue;
  lastResponseInfo = r.errorBuffer[0] ? r.errorBuffer : curl_easy_strerror(r.result);
  DWORD error = ErrorFromCurl(r.easy, r.result);
  if (error == ERROR_HTTP_INVALID_SERVER_RESPONSE) error = ERROR_INTERNET_CONNECTION_RESET;
  return Fail(error);
}

BOOL InternetCloseHandle(HINTERNET handle) {
  auto h = Lookup(handle);
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  // Mark first and wake the session, so that a call blocked on this handle
  // in another thread lets go of the lock.
  bool wasClosed = h->closed.exchange(true);
  if (wasClosed) return Fail(ERROR_INVALID_HANDLE);
  curl_multi_wakeup(h->tree->multi);
  std::lock_guard lock(h->tree->mutex);
  CloseLocked(*h);
  return kTrue;
}

BOOL InternetCrackUrl(const char* url, DWORD urlLength, DWORD flags, URL_COMPONENTS* components) {
  if (!url || !components) return Fail(ERROR_INVALID_PARAMETER);
  std::string_view text = urlLength ? std::string_view(url, urlLength) : std::string_view(url);
  internet::UrlParts parts;
  if (!internet::SplitUrl(text, parts)) return Fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
  bool decode = flags & (ICU_DECODE | ICU_ESCAPE);
  int scheme = INTERNET_SCHEME_UNKNOWN;
  INTERNET_PORT defaultPort = 0;
  if (EqualNoCase(parts.scheme, "http")) {
    scheme = INTERNET_SCHEME_HTTP;
    defaultPort = INTERNET_DEFAULT_HTTP_PORT;
  } else if (EqualNoCase(parts.scheme, "https")) {
    scheme = INTERNET_SCHEME_HTTPS;
    defaultPort = INTERNET_DEFAULT_HTTPS_PORT;
  } else if (EqualNoCase(parts.scheme, "ftp")) {
    scheme = INTERNET_SCHEME_FTP;
    defaultPort = 21;
  } else if (EqualNoCase(parts.scheme, "file")) {
    scheme = INTERNET_SCHEME_FILE;
  }
  struct Part {
    char*& pointer;
    DWORD& length;
    std::string value;
    bool decodable;
    std::size_t offset;
  };
  // Where each part starts in the text, found in the order the parts are
  // written, for the callers that ask for pointers into the URL.
  std::size_t cursor = 0;
  auto offsetOf = [&](const std::string& value) {
    std::size_t at = value.empty() ? std::string_view::npos : text.find(value, cursor);
    if (at != std::string_view::npos) cursor = at + value.size();
    return at;
  };
  std::size_t schemeAt = offsetOf(parts.scheme);
  std::size_t userAt = offsetOf(parts.user);
  std::size_t passwordAt = offsetOf(parts.password);
  std::size_t hostAt = offsetOf(parts.host);
  std::size_t pathAt = offsetOf(parts.path);
  std::size_t extraAt = offsetOf(parts.extra);
  Part fields[] = {
      {components->lpszScheme, components->dwSchemeLength, parts.scheme, false, schemeAt},
      {components->lpszHostName, components->dwHostNameLength, parts.host, false, hostAt},
      {components->lpszUserName, components->dwUserNameLength, parts.user, true, userAt},
      {components->lpszPassword, components->dwPasswordLength, parts.password, true, passwordAt},
      {components->lpszUrlPath, components->dwUrlPathLength, parts.path, true, pathAt},
      {components->lpszExtraInfo, components->dwExtraInfoLength, parts.extra, true, extraAt},
  };
  // Check every buffer before writing any, so that a failure leaves the
  // caller's record as it was.
  for (auto& f : fields) {
    if (f.length == 0) continue;
    if (f.pointer) {
      std::string v = decode && f.decodable ? internet::DecodeEscapes(f.value) : f.value;
      if (f.length < v.size() + 1) return Fail(ERROR_INSUFFICIENT_BUFFER);
    } else if (decode && f.decodable) {
      return Fail(ERROR_INVALID_PARAMETER);
    }
  }
  for (auto& f : fields) {
    if (f.length == 0) continue;
    if (f.pointer) {
      std::string v = decode && f.decodable ? internet::DecodeEscapes(f.value) : f.value;
      std::memcpy(f.pointer, v.data(), v.size());
      f.pointer[v.size()] = 0;
      f.length = static_cast<DWORD>(v.size());
    } else {
      f.pointer = f.offset == std::string_view::npos ? nullptr : const_cast<char*>(url + f.offset);
      f.length = static_cast<DWORD>(f.value.size());
    }
  }
  components->nScheme = scheme;
  components->nPort = parts.port ? static_cast<INTERNET_PORT>(parts.port) : defaultPort;
  return kTrue;
}

BOOL InternetGetLastResponseInfo(DWORD* error, char* buffer, DWORD* bufferLength) {
  if (error) *error = 0;
  return ReturnText(lastResponseInfo, buffer, bufferLength);
}

}  // namespace qorv::platform
