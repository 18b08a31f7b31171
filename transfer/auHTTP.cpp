#include "transfer/auHTTP.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/core/FormStream.h"
#include "platform/core/SysUtils.h"
#include "platform/messages/Threads.h"
#include "platform/system/Errors.h"
#include "platform/system/Files.h"
#include "platform/system/Time.h"

namespace qorv {

using namespace platform;

namespace {

constexpr DWORD kQueryBufferSize = 4096;
// A memory stream is sized in advance to the announced length, but not
// beyond this: a server's claim alone must not reserve unbounded memory.
constexpr DWORD kMaxPresize = 64U * 1024U * 1024U;

using FA = TauFileAttribute;

TSet<TauFileAttribute> ToSet(TauFileAttributes a) { return TSet<TauFileAttribute>::FromBits(a.toByte()); }
TauFileAttributes FromSet(TSet<TauFileAttribute> s) {
  return TauFileAttributes::fromByte(static_cast<std::uint8_t>(s.Bits()));
}

// Reads the decimal number at the start of Text; 0 when there is none or
// it does not fit 32 bits.
DWORD ParseNumber(const std::string& Text) {
  std::uint64_t value = 0;
  std::size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  const std::size_t first = i;
  for (; i < Text.size() && Text[i] >= '0' && Text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::uint64_t>(Text[i] - '0');
    if (value > 0xFFFFFFFFULL) return 0;
  }
  return i == first ? 0 : static_cast<DWORD>(value);
}

}  // namespace

const EnumTypeInfo& TauHTTPAccessTypeInfo() {
  static const EnumTypeInfo info{"TauHTTPAccessType", {"atPreconfig", "atDirect", "atUseProxy"}};
  return info;
}
const EnumTypeInfo& TauInternetOptionInfo() {
  static const EnumTypeInfo info{"TauInternetOption",
                                 {"ioIgnoreCertificateInvalid", "ioIgnoreCertificateDateInvalid",
                                  "ioIgnoreUnknownCertificateAuthority", "ioIgnoreRedirectToHTTP",
                                  "ioIgnoreRedirectToHTTPS", "ioKeepConnection", "ioNoAuthentication",
                                  "ioNoAutoRedirect", "ioNoCookies"}};
  return info;
}
const EnumTypeInfo& TauCacheOptionInfo() {
  static const EnumTypeInfo info{"TauCacheOption",
                                 {"coAlwaysReload", "coReloadIfNoExpireInformation", "coReloadUpdatedObjects",
                                  "coPragmaNoCache", "coNoCacheWrite", "coCreateTempFilesIfCantCache",
                                  "coUseCacheIfNetFail"}};
  return info;
}
const EnumTypeInfo& TauFileAttributeInfo() {
  static const EnumTypeInfo info{
      "TauFileAttribute", {"atrArchive", "atrHidden", "atrReadOnly", "atrSystem", "atrTemporary", "atrOffline"}};
  return info;
}

// --- Settings classes --------------------------------------------------------

const TClassInfo& TauHTTPProxy::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TauHTTPProxy>("TauHTTPProxy", TPersistent::StaticClassInfo())
          .Enumeration("AccessType", TauHTTPAccessTypeInfo(), &TauHTTPProxy::AccessType, &TauHTTPProxy::AccessType,
                       atPreconfig)
          .Integer("ProxyPort", &TauHTTPProxy::ProxyPort, &TauHTTPProxy::ProxyPort, 8080)
          .String("ProxyServer", &TauHTTPProxy::ProxyServer, &TauHTTPProxy::ProxyServer, "",
                  [](const TauHTTPProxy& p) { return p.IsProxyServerStored(); })
          .String("ProxyBypass", &TauHTTPProxy::ProxyBypass, &TauHTTPProxy::ProxyBypass, NoDefault,
                  [](const TauHTTPProxy& p) { return p.IsProxyServerStored(); })
          .String("ProxyUsername", &TauHTTPProxy::ProxyUsername, &TauHTTPProxy::ProxyUsername)
          .String("ProxyPassword", &TauHTTPProxy::ProxyPassword, &TauHTTPProxy::ProxyPassword)
          .Build();
  return info;
}

TauHTTPProxy::TauHTTPProxy() : ProxyBypass("127.0.0.1;") {}

void TauHTTPProxy::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    AccessType = atPreconfig;
    ProxyPort = 8080;
    ProxyServer.clear();
    ProxyBypass = "127.0.0.1;";
    ProxyUsername.clear();
    ProxyPassword.clear();
    return;
  }
  if (auto* other = dynamic_cast<TauHTTPProxy*>(Source)) {
    AccessType = other->AccessType;
    ProxyPort = other->ProxyPort;
    ProxyServer = other->ProxyServer;
    ProxyBypass = other->ProxyBypass;
    ProxyUsername = other->ProxyUsername;
    ProxyPassword = other->ProxyPassword;
    return;
  }
  TPersistent::Assign(Source);
}

const TClassInfo& TauHTTPRange::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TauHTTPRange>("TauHTTPRange", TPersistent::StaticClassInfo())
                                     .Integer("StartRange", &TauHTTPRange::StartRange, &TauHTTPRange::StartRange, 0)
                                     .Integer("EndRange", &TauHTTPRange::EndRange, &TauHTTPRange::EndRange, 0)
                                     .Build();
  return info;
}

void TauHTTPRange::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    StartRange = EndRange = 0;
    return;
  }
  if (auto* other = dynamic_cast<TauHTTPRange*>(Source)) {
    StartRange = other->StartRange;
    EndRange = other->EndRange;
    return;
  }
  TPersistent::Assign(Source);
}

const TClassInfo& TauHTTPTimeouts::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TauHTTPTimeouts>("TauHTTPTimeouts", TPersistent::StaticClassInfo())
          .Integer("ConnectTimeout", &TauHTTPTimeouts::ConnectTimeout, &TauHTTPTimeouts::ConnectTimeout, 0)
          .Integer("ReceiveTimeout", &TauHTTPTimeouts::ReceiveTimeout, &TauHTTPTimeouts::ReceiveTimeout, 0)
          .Integer("SendTimeout", &TauHTTPTimeouts::SendTimeout, &TauHTTPTimeouts::SendTimeout, 0)
          .Build();
  return info;
}

void TauHTTPTimeouts::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    ConnectTimeout = ReceiveTimeout = SendTimeout = 0;
    return;
  }
  if (auto* other = dynamic_cast<TauHTTPTimeouts*>(Source)) {
    ConnectTimeout = other->ConnectTimeout;
    ReceiveTimeout = other->ReceiveTimeout;
    SendTimeout = other->SendTimeout;
    return;
  }
  TPersistent::Assign(Source);
}

const TClassInfo& TauOutputFileAttributes::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TauOutputFileAttributes>("TauOutputFileAttributes", TPersistent::StaticClassInfo())
          .Set(
              "Complete", TauFileAttributeInfo(), [](const TauOutputFileAttributes& a) { return ToSet(a.Complete()); },
              [](TauOutputFileAttributes& a, TSet<TauFileAttribute> v) { a.SetComplete(FromSet(v)); },
              TSet<TauFileAttribute>{FA::atrArchive})
          .Set(
              "Incomplete", TauFileAttributeInfo(),
              [](const TauOutputFileAttributes& a) { return ToSet(a.Incomplete()); },
              [](TauOutputFileAttributes& a, TSet<TauFileAttribute> v) { a.SetIncomplete(FromSet(v)); },
              TSet<TauFileAttribute>{FA::atrArchive, FA::atrTemporary})
          .Build();
  return info;
}

void TauOutputFileAttributes::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    Complete_ = TauFileAttributes{FA::atrArchive};
    Incomplete_ = TauFileAttributes{FA::atrArchive, FA::atrTemporary};
    return;
  }
  if (auto* other = dynamic_cast<TauOutputFileAttributes*>(Source)) {
    Complete_ = other->Complete_;
    Incomplete_ = other->Incomplete_;
    return;
  }
  TPersistent::Assign(Source);
}

void TauOutputFileAttributes::SetComplete(TauFileAttributes Value) {
  if (Value == Complete_) return;
  Complete_ = Value;
  Changed();
}

void TauOutputFileAttributes::SetIncomplete(TauFileAttributes Value) {
  if (Value == Incomplete_) return;
  Incomplete_ = Value;
  Changed();
}

// --- TauFileStream -------------------------------------------------------------

namespace {

HANDLE OpenOutputFile(const std::string& FileName, bool CreateNew, bool KeepAttributes) {
  DWORD kept = INVALID_FILE_ATTRIBUTES;
  if (KeepAttributes) {
    kept = GetFileAttributes(FileName.c_str());
    if (kept != INVALID_FILE_ATTRIBUTES && (kept & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY)) != 0)
      SetFileAttributes(FileName.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  }
  HANDLE handle = CreateFile(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, CreateNew ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
    const DWORD error = GetLastError();
    if (kept != INVALID_FILE_ATTRIBUTES) SetFileAttributes(FileName.c_str(), kept);
    throw EFCreateError(Format("Cannot create file \"%s\". %s",
                               {ExpandFileName(FileName), platform::SysErrorMessage(error)}));
  }
  if (kept != INVALID_FILE_ATTRIBUTES) SetFileAttributes(FileName.c_str(), kept);
  return handle;
}

}  // namespace

const TClassInfo& TauFileStream::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TauFileStream>("TauFileStream", THandleStream::StaticClassInfo()).Build();
  return info;
}

TauFileStream::TauFileStream(const std::string& FileName, bool CreateNew, bool KeepAttributes)
    : THandleStream(OpenOutputFile(FileName, CreateNew, KeepAttributes)) {}

TauFileStream::~TauFileStream() {
  if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = nullptr;
}

// --- TauLoginComponent -----------------------------------------------------------

const TClassInfo& TauLoginComponent::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TauLoginComponent>("TauLoginComponent", TComponent::StaticClassInfo()).Build();
  return info;
}

std::string TauLoginComponent::EncodeLoginInfo(const std::string& Username, const std::string& Password) {
  const std::string user = Username.substr(0, 126);
  const std::string password = Password.substr(0, 126 - user.size());
  const auto n = static_cast<std::uint8_t>(user.size() + password.size() + 1);
  const auto key = static_cast<std::uint8_t>(n ^ LoginInfoKey);
  std::string record;
  record.push_back(static_cast<char>(n));
  record.push_back(static_cast<char>(static_cast<std::uint8_t>(user.size()) ^ key));
  for (char c : user + password) record.push_back(static_cast<char>(static_cast<std::uint8_t>(c) ^ key));
  return record;
}

bool TauLoginComponent::DecodeLoginInfo(const std::string& Record, std::string& Username, std::string& Password) {
  if (Record.empty()) return false;
  const auto n = static_cast<std::uint8_t>(Record[0]);
  if (n == 0 || n > 127 || Record.size() != static_cast<std::size_t>(n) + 1) return false;
  const auto key = static_cast<std::uint8_t>(n ^ LoginInfoKey);
  std::string plain;
  for (std::size_t i = 1; i < Record.size(); ++i)
    plain.push_back(static_cast<char>(static_cast<std::uint8_t>(Record[i]) ^ key));
  const auto l = static_cast<std::uint8_t>(plain[0]);
  if (l > n - 1) return false;
  Username = plain.substr(1, l);
  Password = plain.substr(1 + l);
  return true;
}

void TauLoginComponent::DefineProperties(TFiler& Filer) {
  TComponent::DefineProperties(Filer);
  Filer.DefineBinaryProperty(
      "LInfo", [this](TStream& s) { ReadLoginInfo(s); }, [this](TStream& s) { WriteLoginInfo(s); },
      !HTTPUsername.empty() || !HTTPPassword.empty());
}

void TauLoginComponent::ReadLoginInfo(TStream& Stream) {
  std::uint8_t n = 0;
  if (Stream.Read(&n, 1) != 1) return;
  std::string record(static_cast<std::size_t>(n) + 1, '\0');
  record[0] = static_cast<char>(n);
  if (n > 0 && Stream.Read(&record[1], n) != n) return;
  DecodeLoginInfo(record, HTTPUsername, HTTPPassword);
}

void TauLoginComponent::WriteLoginInfo(TStream& Stream) {
  const std::string record = EncodeLoginInfo(HTTPUsername, HTTPPassword);
  Stream.WriteBuffer(record.data(), static_cast<std::int32_t>(record.size()));
}

// --- URL helpers -----------------------------------------------------------------

bool CrackURL(const std::string& URL, std::string& Scheme, std::string& HostName, std::uint16_t& Port,
              std::string& UserName, std::string& Password, std::string& UrlPath, std::string& ExtraInfo) {
  std::string url = URL;
  if (url.find("://") == std::string::npos) url = "http://" + url;
  std::vector<char> scheme(33), host(257), user(129), password(129), path(2049), extra(2049);
  URL_COMPONENTS parts;
  InitSizedRecord(&parts, static_cast<int>(sizeof parts));
  parts.lpszScheme = scheme.data();
  parts.dwSchemeLength = static_cast<DWORD>(scheme.size());
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUserName = user.data();
  parts.dwUserNameLength = static_cast<DWORD>(user.size());
  parts.lpszPassword = password.data();
  parts.dwPasswordLength = static_cast<DWORD>(password.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!InternetCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), ICU_ESCAPE, &parts)) return false;
  Scheme.assign(scheme.data(), parts.dwSchemeLength);
  HostName.assign(host.data(), parts.dwHostNameLength);
  Port = parts.nPort;
  UserName.assign(user.data(), parts.dwUserNameLength);
  Password.assign(password.data(), parts.dwPasswordLength);
  UrlPath.assign(path.data(), parts.dwUrlPathLength);
  ExtraInfo.assign(extra.data(), parts.dwExtraInfoLength);
  return true;
}

std::string EncodeURLExtra(const std::string& Text) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (char ch : Text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c >= 0x80 || std::strchr(" #%*+<>", c) != nullptr) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

const char* StatusText(DWORD Status) {
  switch (Status) {
    case 10: return "Resolving name";
    case 11: return "Name resolved";
    case 20: return "Connecting to server";
    case 21: return "Connected";
    case 30: return "Sending Request";
    case 31: return "Request sent";
    case 40: return "Receiving response";
    case 41: return "Response received";
    case 42: return "CTL Response received";
    case 43: return "Prefetch";
    case 50: return "Closing connection";
    case 51: return "Connection closed";
    case 60: return "Handle created";
    case 70: return "Handle closing";
    case 100: return "Request complete";
    case 110: return "Redirect";
    case 120: return "Intermediate response";
    case 200: return "State change";
    default: return "Unknown status";
  }
}

// --- TauCustomHTTP -----------------------------------------------------------------

const TClassInfo& TauCustomHTTP::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TauCustomHTTP>("TauCustomHTTP", TauLoginComponent::StaticClassInfo()).Build();
  return info;
}

TauCustomHTTP::TauCustomHTTP(TComponent* AOwner) : TauLoginComponent(AOwner) {
  OutputFileAttributes_ = new TauOutputFileAttributes;
  Thread_ = new TauCustomThread(this);
  Thread_->SetOnExecute(TNotifyEvent::Of(this, &TauCustomHTTP::ExecuteTransfer));
  Thread_->SetOnException(TNotifyEvent::Of(this, &TauCustomHTTP::HandleException));
  Thread_->SetOnTerminate(TNotifyEvent::Of(this, &TauCustomHTTP::FinishTransfer));
  Thread_->OnWaitTimeoutExpired = TauThreadWaitTimeoutEvent::Of(this, &TauCustomHTTP::HandleWaitTimeout);
  RequestHeaders_ = new TStringList;
  Proxy_ = new TauHTTPProxy;
  Range_ = new TauHTTPRange;
  Timeouts_ = new TauHTTPTimeouts;
}

TauCustomHTTP::~TauCustomHTTP() {
  // A plain delete has not marked the tree yet; no event may fire from here on.
  Destroying();
  Thread_->Suspend();
  // The worker is gone before the settings it reads are freed: a suspend
  // of the layer only takes effect at the worker's next call into it.
  // Not FreeAndNil: a killed worker may still look at Thread_ on its way
  // out, while the thread component's destruction waits for it to leave.
  Thread_->Free();
  Thread_ = nullptr;
  FreeAndNil(Timeouts_);
  FreeAndNil(Range_);
  FreeAndNil(Proxy_);
  FreeAndNil(RequestHeaders_);
  // Closing reports through the status callback; nothing fires any more.
  if (SessionHandle_ != nullptr) InternetSetStatusCallback(SessionHandle_, nullptr);
  CloseHandles();
  ReleaseOutput();
  FreeAndNil(OutputFileAttributes_);
}

void TauCustomHTTP::SetTransferBufferSize(TauBufferSize Value) {
  if (Value < kMinBufferSize) Value = kMinBufferSize;
  if (Value > kMaxBufferSize) Value = kMaxBufferSize;
  TransferBufferSize_ = Value;
}

bool TauCustomHTTP::StartTransfer(bool Wait) { return StartTransferRange(0, 0, Wait); }

bool TauCustomHTTP::StartTransferRange(std::uint32_t StartPos, std::uint32_t EndPos, bool Wait) {
  if (Busy_.load()) return false;
  Busy_.store(true);
  Generation_.fetch_add(1);
  StartPos_ = StartPos;
  EndPos_ = EndPos;
  UploadMode_ = false;
  const bool keptWait = Thread_->WaitThread;
  if (Wait) Thread_->WaitThread = true;
  const bool result = Thread_->Execute();
  if (Wait) Thread_->WaitThread = keptWait;
  return result;
}

bool TauCustomHTTP::StartUpload(TMemoryStream* Body, bool Wait) {
  if (Busy_.load() || Body == nullptr) {
    if (Body != nullptr) Body->Free();
    return false;
  }
  Busy_.store(true);
  Generation_.fetch_add(1);
  StartPos_ = 0;
  EndPos_ = 0;
  FreeDataStream();
  DataStream_ = Body;
  UploadMode_ = true;
  const bool keptWait = Thread_->WaitThread;
  if (Wait) Thread_->WaitThread = true;
  const bool result = Thread_->Execute();
  if (Wait) Thread_->WaitThread = keptWait;
  return result;
}

void TauCustomHTTP::AbortTransfer(bool DeleteOutputFile, bool Immediately) {
  if (!Running()) return;
  DeleteOnAbort_ = DeleteOutputFile;
  Thread_->Terminate(Immediately);
  if (Immediately) HandleAbort(AbortSite::Caller);
}

void TauCustomHTTP::HandleAbort(AbortSite Site) {
  CloseHandles();
  const bool created = OutputCreated_;
  ReleaseOutput();
  if (created && DeleteOnAbort_) DeleteFile(OutputFileName.c_str());
  Generation_.fetch_add(1);
  if (ComponentState().Contains(csDestroying) || !OnTransferAborted) return;
  if (Site == AbortSite::Caller) OnTransferAborted(this);
  else Thread_->Synchronize([this] { OnTransferAborted(this); });
}

void TauCustomHTTP::CheckTerminated() {
  if (!Thread_->Terminated()) return;
  HandleAbort(AbortSite::Worker);
  // Ends this worker thread here.
  Thread_->Terminate(true);
}

void TauCustomHTTP::FreeDataStream() {
  if (DataStream_ != nullptr) {
    TStream* stream = DataStream_;
    DataStream_ = nullptr;
    stream->Free();
  }
}

void TauCustomHTTP::ReleaseOutput() {
  ReadBuffer_.reset();
  if (DataStream_ != nullptr) {
    FreeDataStream();
    if (OutputCreated_ && !(OutputFileAttributes_->Incomplete() == TauFileAttributes{FA::atrArchive}))
      ApplyFileAttributes(OutputFileName, OutputFileAttributes_->Incomplete());
    OutputCreated_ = false;
  }
  Busy_.store(false);
}

void TauCustomHTTP::CloseHandles() {
  if (LocalFileHandle_ != nullptr) {
    CloseHandle(LocalFileHandle_);
    LocalFileHandle_ = nullptr;
  }
  for (HINTERNET* handle : {&RequestHandle_, &ConnectionHandle_, &SessionHandle_}) {
    if (*handle != nullptr) {
      InternetCloseHandle(*handle);
      *handle = nullptr;
    }
  }
}

std::string TauCustomHTTP::GetURLFileName() const {
  std::string scheme, host, user, password, path, extra;
  std::uint16_t port = 0;
  CrackURL(URL, scheme, host, port, user, password, path, extra);
  const std::size_t at = path.find_last_of("/\\:");
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string TauCustomHTTP::GetURLHostName() const {
  std::string scheme, host, user, password, path, extra;
  std::uint16_t port = 0;
  CrackURL(URL, scheme, host, port, user, password, path, extra);
  return host;
}

void TauCustomHTTP::HandleException(TObject*) {
  // The body did not get to its verdict; what Succeeded held then was the
  // result of some earlier step, and must not make the outcome a success.
  // The worker waits in the hand-over while this runs.
  Succeeded_ = false;
  if (OnTransferFailed) OnTransferFailed(this);
}

void TauCustomHTTP::HandleWaitTimeout(TObject*, bool& TerminateThread) {
  if (OnWaitTimeoutExpired) OnWaitTimeoutExpired(this, TerminateThread);
  if (TerminateThread) {
    // The worker is stopped before its stream and handles go: it could
    // still be using them otherwise. The thread component's own kill that
    // follows then only replaces the fresh successor.
    Thread_->Terminate(true);
    CloseHandles();
    ReleaseOutput();
  }
}

// --- The transfer ---------------------------------------------------------------

void TauCustomHTTP::SetOption(HINTERNET Handle, DWORD Option, DWORD Value) {
  InternetSetOption(Handle, Option, &Value, sizeof Value);
}

void TauCustomHTTP::SetOption(HINTERNET Handle, DWORD Option, const std::string& Value) {
  InternetSetOption(Handle, Option, Value.c_str(), static_cast<DWORD>(Value.size()));
}

bool TauCustomHTTP::QueryText(DWORD Level, std::string& Text) {
  char buffer[kQueryBufferSize];
  DWORD length = kQueryBufferSize;
  DWORD index = 0;
  if (!HttpQueryInfo(RequestHandle_, Level, buffer, &length, &index)) return false;
  Text.assign(buffer, strnlen(buffer, std::min<DWORD>(length, kQueryBufferSize - 1)));
  return true;
}

bool TauCustomHTTP::IsOfflineMode() {
  DWORD state = 0;
  DWORD length = sizeof state;
  return InternetQueryOption(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &length) &&
         (state & INTERNET_STATE_DISCONNECTED_BY_USER) != 0;
}

const std::string& TauCustomHTTP::Verb() const {
  static const std::string get = "GET";
  static const std::string post = "POST";
  switch (RequestMethod) {
    case rmGET: return get;
    case rmPOST: return post;
    default: return (!PostData.empty() || UploadMode_) ? post : get;
  }
}

std::string TauCustomHTTP::RangeLine(std::uint32_t Start, std::uint32_t End) {
  std::string line = "RANGE: bytes=" + std::to_string(Start) + "-";
  if (End != 0) line += std::to_string(End);
  return line + "\r\n";
}

bool TauCustomHTTP::AddRequestHeaders(bool WithRange) {
  std::string text = RequestHeaders_->Text();
  if (WithRange) {
    if (StartPos_ != 0 || EndPos_ != 0) text += RangeLine(StartPos_, EndPos_);
    else if (Range_->StartRange != 0 || Range_->EndRange != 0) text += RangeLine(Range_->StartRange, Range_->EndRange);
  } else {
    text += RangeLine(0, 0);
  }
  if (text.empty()) return true;
  return HttpAddRequestHeaders(RequestHandle_, text.c_str(), static_cast<DWORD>(text.size()),
                               StatusCode_ == 416 ? HTTP_ADDREQ_FLAG_REPLACE : HTTP_ADDREQ_FLAG_ADD) != 0;
}

DWORD TauCustomHTTP::QueryEntityLength() {
  if (!AddRequestHeaders(false)) return 0;
  CheckTerminated();
  if (!HttpSendRequest(RequestHandle_, nullptr, 0, nullptr, 0)) return 0;
  std::string text;
  if (!QueryText(HTTP_QUERY_STATUS_CODE, text)) return 0;
  StatusCode_ = static_cast<std::int32_t>(ParseNumber(text));
  if (StatusCode_ != 200 && StatusCode_ != 206) return 0;
  const DWORD length = QueryText(HTTP_QUERY_CONTENT_LENGTH, text) ? ParseNumber(text) : 0;
  CheckTerminated();
  return length;
}

void TauCustomHTTP::StatusCallback(HINTERNET, DWORD_PTR Context, DWORD Status, void* Info, DWORD InfoLength) {
  auto* self = reinterpret_cast<TauCustomHTTP*>(Context);
  // A killed worker on its way out, and a component going away, report
  // nothing.
  if (self == nullptr || CurrentThreadKilled() || self->Thread_ == nullptr || self->Thread_->BeingDestroyed())
    return;
  if (self->OnStatusChange) self->OnStatusChange(self, Status, StatusText(Status));
  if (Status == INTERNET_STATUS_REDIRECT) {
    std::string newURL;
    if (InfoLength > 0 && Info != nullptr) newURL.assign(static_cast<const char*>(Info), InfoLength - 1);
    if (self->OnRedirect) self->OnRedirect(self, newURL);
  }
}

void TauCustomHTTP::CloseAttempt() {
  for (HINTERNET* handle : {&RequestHandle_, &ConnectionHandle_}) {
    if (*handle != nullptr) {
      InternetCloseHandle(*handle);
      *handle = nullptr;
    }
  }
}

TauCustomHTTP::Step TauCustomHTTP::Connect(const std::string& Scheme, const std::string& HostName,
                                           std::uint16_t Port, const std::string& UserName,
                                           const std::string& Password, const std::string& Object) {
  CheckTerminated();
  ConnectionHandle_ = InternetConnect(SessionHandle_, HostName.c_str(), Port, UserName.c_str(), Password.c_str(),
                                      INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(this));
  Succeeded_ = ConnectionHandle_ != nullptr;
  if (!Succeeded_) return Step::EndBody;
  CheckTerminated();

  DWORD flags = 0;
  if (Scheme == "https") flags |= INTERNET_FLAG_SECURE;
  else if (CacheOptions.Contains(coCreateTempFilesIfCantCache)) flags |= INTERNET_FLAG_NEED_FILE;
  static const std::pair<TauCacheOption, DWORD> cacheFlags[] = {
      {coAlwaysReload, INTERNET_FLAG_RELOAD},
      {coReloadIfNoExpireInformation, INTERNET_FLAG_HYPERLINK},
      {coReloadUpdatedObjects, INTERNET_FLAG_RESYNCHRONIZE},
      {coPragmaNoCache, INTERNET_FLAG_PRAGMA_NOCACHE},
      {coNoCacheWrite, INTERNET_FLAG_NO_CACHE_WRITE},
      {coUseCacheIfNetFail, INTERNET_FLAG_CACHE_IF_NET_FAIL}};
  for (const auto& [option, flag] : cacheFlags)
    if (CacheOptions.Contains(option)) flags |= flag;
  static const std::pair<TauInternetOption, DWORD> internetFlags[] = {
      {ioIgnoreCertificateInvalid, INTERNET_FLAG_IGNORE_CERT_CN_INVALID},
      {ioIgnoreCertificateDateInvalid, INTERNET_FLAG_IGNORE_CERT_DATE_INVALID},
      {ioIgnoreRedirectToHTTP, INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP},
      {ioIgnoreRedirectToHTTPS, INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS},
      {ioKeepConnection, INTERNET_FLAG_KEEP_CONNECTION},
      {ioNoAuthentication, INTERNET_FLAG_NO_AUTH},
      {ioNoAutoRedirect, INTERNET_FLAG_NO_AUTO_REDIRECT},
      {ioNoCookies, INTERNET_FLAG_NO_COOKIES}};
  for (const auto& [option, flag] : internetFlags)
    if (InternetOptions.Contains(option)) flags |= flag;

  const char* acceptTypes[] = {AcceptTypes.c_str(), nullptr};
  RequestHandle_ = HttpOpenRequest(ConnectionHandle_, Verb().c_str(), Object.c_str(), nullptr, Referer.c_str(),
                                   acceptTypes, flags, reinterpret_cast<DWORD_PTR>(this));
  Succeeded_ = RequestHandle_ != nullptr;
  if (!Succeeded_) return Step::EndBody;
  CheckTerminated();

  if (Timeouts_->ConnectTimeout != 0)
    SetOption(RequestHandle_, INTERNET_OPTION_CONNECT_TIMEOUT, Timeouts_->ConnectTimeout);
  if (Timeouts_->ReceiveTimeout != 0)
    SetOption(RequestHandle_, INTERNET_OPTION_RECEIVE_TIMEOUT, Timeouts_->ReceiveTimeout);
  if (Timeouts_->SendTimeout != 0) SetOption(RequestHandle_, INTERNET_OPTION_SEND_TIMEOUT, Timeouts_->SendTimeout);
  if (InternetOptions.Contains(ioIgnoreUnknownCertificateAuthority))
    SetOption(RequestHandle_, INTERNET_OPTION_SECURITY_FLAGS, SECURITY_FLAG_IGNORE_UNKNOWN_CA);
  if (Proxy_->AccessType != atDirect && !Proxy_->ProxyUsername.empty() && !Proxy_->ProxyPassword.empty()) {
    SetOption(RequestHandle_, INTERNET_OPTION_PROXY_USERNAME, Proxy_->ProxyUsername);
    SetOption(RequestHandle_, INTERNET_OPTION_PROXY_PASSWORD, Proxy_->ProxyPassword);
  }
  // The layer has no desktop window to offer; the system asks nobody here.
  if (AutoGoOnline && IsOfflineMode()) InternetGoOnline(URL.c_str(), nullptr, 0);
  if (OnBeforeSendRequest) OnBeforeSendRequest(this, RequestHandle_);
  if (!AddRequestHeaders(true)) {
    Succeeded_ = false;
    return Step::EndBody;
  }
  (void)Scheme;
  return Step::Continue;
}

TauCustomHTTP::Step TauCustomHTTP::Send() {
  do {
    CheckTerminated();
    TryAgainFlag_ = false;
    bool resend = false;
    if (Verb() == "GET") {
      Succeeded_ = HttpSendRequest(RequestHandle_, nullptr, 0, nullptr, 0) != 0;
    } else if (!UploadMode_) {
      static const char kFormHeader[] = "Content-Type: application/x-www-form-urlencoded";
      Succeeded_ = HttpSendRequest(RequestHandle_, kFormHeader, 47, PostData.data(),
                                   static_cast<DWORD>(PostData.size())) != 0;
    } else {
      auto* body = dynamic_cast<TMemoryStream*>(DataStream_);
      ContentLength_ = body != nullptr ? static_cast<DWORD>(body->Size()) : 0;
      INTERNET_BUFFERS buffers;
      InitSizedRecord(&buffers, static_cast<int>(sizeof buffers));
      buffers.lpcszHeader = UploadHeaders.c_str();
      buffers.dwHeadersLength = static_cast<DWORD>(UploadHeaders.size());
      buffers.dwHeadersTotal = static_cast<DWORD>(UploadHeaders.size());
      buffers.dwBufferTotal = ContentLength_;
      Succeeded_ = body != nullptr && HttpSendRequestEx(RequestHandle_, &buffers, nullptr, HSR_INITIATE, 0) != 0;
      if (Succeeded_) {
        body->SetPosition(0);
        BytesTransferred_ = 0;
        while (BytesTransferred_ < ContentLength_) {
          CheckTerminated();
          const DWORD count = std::min<DWORD>(BlockSize_, ContentLength_ - BytesTransferred_);
          DWORD written = 0;
          if (!InternetWriteFile(RequestHandle_, body->Memory() + BytesTransferred_, count, &written) ||
              written == 0)
            break;
          BytesTransferred_ += written;
          if (OnUploadProgress) {
            Thread_->Synchronize([this] {
              UpdateProgressFigures();
              OnUploadProgress(this, ContentLength_, BytesTransferred_, ElapsedTime_, EstimatedTimeLeft_,
                               PercentDone_, TransferRate_);
            });
          }
        }
        if (!HttpEndRequest(RequestHandle_, nullptr, 0, 0)) {
          if (GetLastError() == ERROR_INTERNET_FORCE_RETRY) {
            TryAgainFlag_ = true;
            resend = true;
          } else {
            Succeeded_ = false;
          }
        }
      }
    }
    if (resend) continue;
    if (!Succeeded_) {
      FreeDataStream();
      return Step::EndBody;
    }
    CheckTerminated();
    std::string text;
    Succeeded_ = QueryText(HTTP_QUERY_STATUS_CODE, text);
    if (Succeeded_) StatusCode_ = static_cast<std::int32_t>(ParseNumber(text));
    if (StatusCode_ == 416 && StartPos_ != 0) {
      const DWORD length = QueryEntityLength();
      if (length == StartPos_) return Step::EndBody;
      StatusCode_ = -1;
      StartPos_ = 0;
      return Step::Restart;
    }
    if (StatusCode_ == 401 && OnAuthenticationRequest) {
      std::string realm;
      Succeeded_ = QueryText(HTTP_QUERY_WWW_AUTHENTICATE, realm);
      if (Succeeded_) {
        const std::size_t at = realm.find("=\"");
        if (at != std::string::npos) {
          realm = realm.substr(at + 2);
          if (!realm.empty()) realm.pop_back();
        }
      } else {
        realm.clear();
      }
      ContentType_ = realm;
      Thread_->Synchronize([this] { OnAuthenticationRequest(this, ContentType_, TryAgainFlag_); });
      SetOption(RequestHandle_, INTERNET_OPTION_USERNAME, HTTPUsername);
      SetOption(RequestHandle_, INTERNET_OPTION_PASSWORD, HTTPPassword);
    } else if (StatusCode_ == 407 && OnProxyAuthenticationRequest) {
      Thread_->Synchronize([this] {
        OnProxyAuthenticationRequest(this, Proxy_->ProxyUsername, Proxy_->ProxyPassword, TryAgainFlag_);
      });
      SetOption(RequestHandle_, INTERNET_OPTION_PROXY_USERNAME, Proxy_->ProxyUsername);
      SetOption(RequestHandle_, INTERNET_OPTION_PROXY_PASSWORD, Proxy_->ProxyPassword);
    }
  } while (TryAgainFlag_);
  return Step::Continue;
}

TauCustomHTTP::Step TauCustomHTTP::ReadHeaders() {
  FreeDataStream();
  CheckTerminated();
  std::string text;
  if (QueryText(HTTP_QUERY_CONTENT_TYPE, text)) ContentType_ = text;
  Succeeded_ = QueryText(HTTP_QUERY_CONTENT_LENGTH, text);
  ContentLength_ = Succeeded_ ? ParseNumber(text) : 0;
  if (!QueryText(HTTP_QUERY_CONTENT_RANGE, text)) StartPos_ = 0;
  if (OnHeadersReceived) {
    auto textOf = [this](DWORD level) {
      std::string value;
      return QueryText(level, value) ? value : std::string();
    };
    auto dateOf = [this](DWORD level) {
      std::string value;
      return QueryText(level, value) ? ParseHTTPDate(value) : TDateTime(0);
    };
    RawHeaders_ = textOf(HTTP_QUERY_RAW_HEADERS_CRLF);
    ContentLanguage_ = textOf(HTTP_QUERY_CONTENT_LANGUAGE);
    ContentEncoding_ = textOf(HTTP_QUERY_CONTENT_ENCODING);
    Location_ = textOf(HTTP_QUERY_LOCATION);
    ETag_ = textOf(HTTP_QUERY_ETAG);
    Date_ = dateOf(HTTP_QUERY_DATE);
    LastModified_ = dateOf(HTTP_QUERY_LAST_MODIFIED);
    Expires_ = dateOf(HTTP_QUERY_EXPIRES);
    Thread_->Synchronize([this] {
      OnHeadersReceived(this, StatusCode_, RawHeaders_, ContentType_, ContentLanguage_, ContentEncoding_,
                        ContentLength_ + StartPos_, Location_, Date_, LastModified_, Expires_, ETag_,
                        ContinueDownload_);
    });
    if (!ContinueDownload_) return Step::EndBody;
  }
  return Step::Continue;
}

TauCustomHTTP::Step TauCustomHTTP::ReceiveBody(bool IsLocalFile) {
  CheckTerminated();
  if ((StatusCode_ == 200 || StatusCode_ == 206) && !OutputFileName.empty()) {
    try {
      DataStream_ = new TauFileStream(OutputFileName, StartPos_ == 0, true);
    } catch (const platform::Exception&) {
      DataStream_ = nullptr;
    }
    if (DataStream_ == nullptr) {
      if (Succeeded_) return Step::EndBody;
      DataStream_ = new TMemoryStream;
    } else {
      if (StartPos_ != 0 && DataStream_->Seek(StartPos_, soBeginning) != static_cast<std::int64_t>(StartPos_)) {
        FreeDataStream();
        StatusCode_ = -1;
        StartPos_ = 0;
        return Step::Restart;
      }
      if (!(OutputFileAttributes_->Incomplete() == TauFileAttributes{FA::atrArchive}))
        ApplyFileAttributes(OutputFileName, OutputFileAttributes_->Incomplete());
      OutputCreated_ = true;
    }
  } else {
    auto* memory = new TMemoryStream;
    DataStream_ = memory;
    if (Succeeded_ && ContentLength_ <= kMaxPresize) memory->SetSize(ContentLength_);
  }

  bool verifyFirstBlock = StartPos_ != 0 && OutputCreated_;
  BytesTransferred_ = 0;
  BodyFailed_ = false;
  ReadBuffer_.reset(new std::uint8_t[BlockSize_]);
  for (;;) {
    CheckTerminated();
    DWORD count = 0;
    BOOL ok = IsLocalFile ? ReadFile(LocalFileHandle_, ReadBuffer_.get(), BlockSize_, &count, nullptr)
                          : InternetReadFile(RequestHandle_, ReadBuffer_.get(), BlockSize_, &count);
    if (!ok) {
      BodyFailed_ = true;
      break;
    }
    if (count == 0) break;
    BytesTransferred_ += count;
    if (verifyFirstBlock) {
      verifyFirstBlock = false;
      std::vector<std::uint8_t> stored(count);
      const std::int32_t got = DataStream_->Read(stored.data(), static_cast<std::int32_t>(count));
      if (got == static_cast<std::int32_t>(count) && std::memcmp(stored.data(), ReadBuffer_.get(), count) == 0)
        continue;
      ReadBuffer_.reset();
      FreeDataStream();
      OutputCreated_ = false;
      StatusCode_ = -1;
      StartPos_ = 0;
      return Step::Restart;
    }
    if (DataStream_->Write(ReadBuffer_.get(), static_cast<std::int32_t>(count)) !=
        static_cast<std::int32_t>(count)) {
      // The block is lost (a full disk, say): the file must not pass for
      // complete.
      BodyFailed_ = true;
      break;
    }
    if (OnDownloadProgress) {
      Thread_->Synchronize([this] {
        UpdateProgressFigures();
        OnDownloadProgress(this, ContentType_, ContentLength_ + StartPos_, BytesTransferred_ + StartPos_,
                           ElapsedTime_, EstimatedTimeLeft_, PercentDone_, TransferRate_, DataStream_);
      });
    }
  }
  ReadBuffer_.reset();
  // What arrived, not what was announced, is the memory stream's content.
  if (auto* memory = dynamic_cast<TMemoryStream*>(DataStream_); memory != nullptr && !OutputCreated_) {
    if (memory->Size() > static_cast<std::int64_t>(BytesTransferred_)) memory->SetSize(BytesTransferred_);
  }
  Succeeded_ = (StatusCode_ == 200 || StatusCode_ == 206) && !BodyFailed_;
  if (Succeeded_ && ContentLength_ != 0 && DataStream_ != nullptr) Succeeded_ = ContentLength_ == BytesTransferred_;
  return Step::EndBody;
}

void TauCustomHTTP::ExecuteTransfer(TObject*) {
  StatusCode_ = -1;
  ContentType_.clear();
  OutputCreated_ = false;
  BodyFailed_ = false;
  BlockSize_ = TransferBufferSize_;
  StartTick_ = GetTickCount();
  ContinueDownload_ = true;

  std::string scheme, host, user, password, path, extra;
  std::uint16_t port = 0;
  CrackURL(URL, scheme, host, port, user, password, path, extra);
  extra = EncodeURLExtra(extra);
  if (user.empty()) user = HTTPUsername;
  if (password.empty()) password = HTTPPassword;
  CheckTerminated();

  if (scheme == "file") {
    for (;;) {
      if (LocalFileHandle_ == nullptr) {
        LocalFileHandle_ = CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (LocalFileHandle_ == INVALID_HANDLE_VALUE) LocalFileHandle_ = nullptr;
      }
      if (LocalFileHandle_ == nullptr) {
        StatusCode_ = 404;
        ContentLength_ = 0;
        Succeeded_ = false;
      } else {
        // The length is what this read will deliver, so that the
        // completeness test compares like with like; progress adds StartPos.
        StatusCode_ = 200;
        const DWORD size = GetFileSize(LocalFileHandle_, nullptr);
        const std::uint32_t from = StartPos_ != 0 ? StartPos_ : Range_->StartRange;
        const DWORD position = from <= size ? from : size;
        SetFilePointer(LocalFileHandle_, static_cast<LONG>(position), nullptr, FILE_BEGIN);
        ContentLength_ = size - position;
        Succeeded_ = true;
      }
      if (ReceiveBody(true) != Step::Restart) return;
    }
  }

  const DWORD sessionFlags = WorkOffline ? INTERNET_FLAG_OFFLINE : 0;
  if (Proxy_->AccessType == atUseProxy) {
    const std::string proxy = Proxy_->ProxyServer + ":" + std::to_string(Proxy_->ProxyPort);
    SessionHandle_ = InternetOpen(UserAgent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxy.c_str(),
                                  Proxy_->ProxyBypass.empty() ? nullptr : Proxy_->ProxyBypass.c_str(), sessionFlags);
  } else {
    SessionHandle_ =
        InternetOpen(UserAgent.c_str(),
                     Proxy_->AccessType == atDirect ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PRECONFIG,
                     nullptr, nullptr, sessionFlags);
  }
  if (SessionHandle_ != nullptr) InternetSetStatusCallback(SessionHandle_, &TauCustomHTTP::StatusCallback);
  Succeeded_ = SessionHandle_ != nullptr;
  if (!Succeeded_) return;

  const std::string object = path + extra;
  for (;;) {
    Step step = Connect(scheme, host, port, user, password, object);
    if (step == Step::Continue) step = Send();
    if (step == Step::Continue) step = ReadHeaders();
    if (step == Step::Continue) step = ReceiveBody(false);
    if (step != Step::Restart) return;
    CloseAttempt();
  }
}

void TauCustomHTTP::UpdateProgressFigures() {
  PercentDone_ = CalcPercent(static_cast<double>(ContentLength_) + StartPos_,
                             static_cast<double>(BytesTransferred_) + StartPos_);
  ElapsedTime_ = (GetTickCount() - StartTick_) / 1000;
  if (BytesTransferred_ != 0) {
    const double estimate = std::nearbyint(static_cast<double>(ContentLength_) / BytesTransferred_ * ElapsedTime_);
    // The announced length comes from the server: a large one read slowly
    // gives an estimate beyond the figure's range, which is held at its end.
    const double left = estimate - static_cast<double>(ElapsedTime_);
    EstimatedTimeLeft_ = static_cast<std::int32_t>(
        std::clamp(left, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
  } else {
    EstimatedTimeLeft_ = -static_cast<std::int32_t>(ElapsedTime_);
  }
  TransferRate_ = static_cast<float>(BytesTransferred_) / 1024.0F;
  if (ElapsedTime_ != 0) TransferRate_ /= static_cast<float>(ElapsedTime_);
}

void TauCustomHTTP::FinishTransfer(TObject*) {
  const std::uint32_t generation = Generation_.load();
  // A handler that started or aborted a transfer owns everything from then on.
  auto superseded = [this, generation] { return Generation_.load() != generation; };
  CloseHandles();
  if (DataStream_ != nullptr) DataStream_->SetPosition(0);
  bool deleteOutput = false;
  const std::string outputName = OutputFileName;
  const bool continued = ContinueDownload_;
  if (continued) {
    if (Succeeded_) {
      if (DataStream_ == nullptr) {
        if (OnTransferFailed) OnTransferFailed(this);
        if (superseded()) return;
        if (OnDoneWithoutData) OnDoneWithoutData(this);
        if (superseded()) return;
        Busy_.store(false);
        return;
      }
      if (OutputCreated_) {
        ReleaseOutput();
        if (!(OutputFileAttributes_->Incomplete() == OutputFileAttributes_->Complete()))
          ApplyFileAttributes(outputName, OutputFileAttributes_->Complete());
      }
      if (OnDone) OnDone(this, ContentType_, BytesTransferred_ + StartPos_, DataStream_);
      if (superseded()) return;
    } else {
      if (StatusCode_ == 200 || StatusCode_ == 206) {
        if (OnTransferIncomplete)
          OnTransferIncomplete(this, ContentType_, ContentLength_, BytesTransferred_, DataStream_);
      } else if (StatusCode_ == -1) {
        if (OnNoResponse) OnNoResponse(this);
      } else {
        deleteOutput = OutputCreated_;
        if (OnHTTPError) OnHTTPError(this, StatusCode_, DataStream_);
      }
      if (superseded()) {
        if (deleteOutput && outputName != OutputFileName) DeleteFile(outputName.c_str());
        return;
      }
      if (OnTransferFailed) OnTransferFailed(this);
      if (superseded()) return;
    }
  }
  ReleaseOutput();
  if (deleteOutput) DeleteFile(outputName.c_str());
  if (!continued && OnTransferSkipped) OnTransferSkipped(this);
}

}  // namespace qorv
