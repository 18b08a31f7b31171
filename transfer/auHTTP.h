// auHTTP: the HTTP component of the upgrade family.
//
// TauCustomHTTP fetches one resource at a time (http, https or a local file
// URL) through the layer's internet client, on the worker thread of its
// TauCustomThread, and reports the response headers, the progress and
// exactly one outcome per started transfer through its events: OnDone,
// OnDoneWithoutData, OnTransferIncomplete, OnNoResponse, OnHTTPError,
// OnTransferSkipped or OnTransferAborted (OnTransferFailed accompanies the
// unsuccessful ones). The body goes into the output file (new, or resumed
// from a start position) or, without an output file name, into a memory
// stream.
//
// Threads. The component is created, configured, started, aborted and freed
// on the main thread; its settings must not change while a transfer runs.
// ExecuteTransfer runs on the worker and hands every event to the main
// thread through the thread component's Synchronize, waiting until the
// handler has returned; only OnBeforeSendRequest, OnStatusChange and
// OnRedirect run on the worker, and their handlers must not touch the user
// interface. FinishTransfer (the outcome) and an immediate abort run on the
// main thread. A handler may start the next transfer from an outcome event
// after ReleaseOutput; the finishing step then touches nothing of the new
// transfer.
//
// Ownership. The component owns its settings objects, its thread component,
// the transfer's stream and block buffer, and the library handles. A stream
// handed to an event (Data) stays valid only while the handler runs.
//
// Failures. Nothing escapes to the caller: every failure of the transfer is
// state that the outcome events report. An output file that cannot be
// created raises EFCreateError inside the transfer, which catches it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/Classes.h"
#include "platform/core/DateTime.h"
#include "platform/core/Strings.h"
#include "platform/core/Streams.h"
#include "platform/internet/Internet.h"
#include "platform/system/FileStream.h"
#include "support/auUtils.h"
#include "transfer/auThread.h"

namespace qorv {

using platform::HINTERNET;
using platform::TDateTime;
using platform::TPersistent;
using platform::TStream;

// --- Enumerations and sets ---------------------------------------------------

enum TauHTTPAccessType : std::uint8_t { atPreconfig, atDirect, atUseProxy };

enum TauInternetOption : std::uint8_t {
  ioIgnoreCertificateInvalid,
  ioIgnoreCertificateDateInvalid,
  ioIgnoreUnknownCertificateAuthority,
  ioIgnoreRedirectToHTTP,
  ioIgnoreRedirectToHTTPS,
  ioKeepConnection,
  ioNoAuthentication,
  ioNoAutoRedirect,
  ioNoCookies,
};
using TauInternetOptions = platform::TSet<TauInternetOption>;

enum TauCacheOption : std::uint8_t {
  coAlwaysReload,
  coReloadIfNoExpireInformation,
  coReloadUpdatedObjects,
  coPragmaNoCache,
  coNoCacheWrite,
  coCreateTempFilesIfCantCache,
  coUseCacheIfNetFail,
};
using TauCacheOptions = platform::TSet<TauCacheOption>;

enum TauHTTPRequestMethod : std::uint8_t { rmAuto, rmGET, rmPOST };

// Bytes per read or write block: 255 to 2147483647.
using TauBufferSize = std::uint32_t;
inline constexpr TauBufferSize kMinBufferSize = 255;
inline constexpr TauBufferSize kMaxBufferSize = 2147483647;

const platform::EnumTypeInfo& TauHTTPAccessTypeInfo();
const platform::EnumTypeInfo& TauInternetOptionInfo();
const platform::EnumTypeInfo& TauCacheOptionInfo();
const platform::EnumTypeInfo& TauFileAttributeInfo();

inline const TauCacheOptions kDefaultCacheOptions{coReloadIfNoExpireInformation, coReloadUpdatedObjects,
                                                  coCreateTempFilesIfCantCache};
inline const TauInternetOptions kDefaultInternetOptions{ioKeepConnection};

// The one-byte key that scrambles the stored login record "LInfo".
inline constexpr std::uint8_t LoginInfoKey = 0x5A;
// The agent text given to the internet session.
inline constexpr const char* kDefaultUserAgent = "TauCustomHTTP/1.0 (Qorv)";

// --- Event types -------------------------------------------------------------

using TauHTTPRequestEvent = platform::Method<void(TObject* Sender, HINTERNET RequestHandle)>;
using TauHTTPStatusEvent =
    platform::Method<void(TObject* Sender, DWORD StatusCode, const std::string& StatusText)>;
using TauHTTPRedirectEvent = platform::Method<void(TObject* Sender, const std::string& NewURL)>;
using TauHTTPHeadersEvent = platform::Method<void(
    TObject* Sender, std::int32_t StatusCode, const std::string& RawHeaders, const std::string& ContentType,
    const std::string& ContentLanguage, const std::string& ContentEncoding, DWORD ContentLength,
    const std::string& Location, TDateTime Date, TDateTime LastModified, TDateTime Expires,
    const std::string& ETag, bool& ContinueDownload)>;
using TauHTTPProgressEvent = platform::Method<void(
    TObject* Sender, const std::string& ContentType, DWORD TotalSize, DWORD BytesRead, DWORD ElapsedTime,
    std::int32_t EstimatedTimeLeft, std::uint8_t PercentDone, float TransferRate, TStream* Data)>;
using TauHTTPUploadProgressEvent =
    platform::Method<void(TObject* Sender, DWORD TotalSize, DWORD BytesSent, DWORD ElapsedTime,
                          std::int32_t EstimatedTimeLeft, std::uint8_t PercentDone, float TransferRate)>;
using TauHTTPPasswordRequestEvent =
    platform::Method<void(TObject* Sender, const std::string& Realm, bool& TryAgain)>;
using TauHTTPProxyAuthenticationEvent = platform::Method<void(
    TObject* Sender, std::string& ProxyUsername, std::string& ProxyPassword, bool& TryAgain)>;
using TauHTTPDoneEvent =
    platform::Method<void(TObject* Sender, const std::string& ContentType, DWORD DataSize, TStream* Data)>;
using TauHTTPIncompleteEvent = platform::Method<void(TObject* Sender, const std::string& ContentType,
                                                     DWORD TotalSize, DWORD BytesRead, TStream* Data)>;
using TauHTTPErrorEvent = platform::Method<void(TObject* Sender, std::int32_t StatusCode, TStream* Data)>;

// --- Settings classes --------------------------------------------------------

class TauHTTPProxy : public TPersistent {
  QORV_DECLARE_CLASSINFO()
public:
  TauHTTPProxy();
  // Null resets to the defaults; another TauHTTPProxy is copied; anything
  // else fails as TPersistent does.
  void Assign(TPersistent* Source) override;
  // ProxyServer and ProxyBypass are stored only for atUseProxy.
  bool IsProxyServerStored() const { return AccessType == atUseProxy; }

  TauHTTPAccessType AccessType = atPreconfig;
  std::int32_t ProxyPort = 8080;
  std::string ProxyServer;
  std::string ProxyBypass;
  std::string ProxyUsername;
  std::string ProxyPassword;
};

class TauHTTPRange : public TPersistent {
  QORV_DECLARE_CLASSINFO()
public:
  void Assign(TPersistent* Source) override;
  // EndRange 0 means to the end of the resource.
  std::uint32_t StartRange = 0;
  std::uint32_t EndRange = 0;
};

class TauHTTPTimeouts : public TPersistent {
  QORV_DECLARE_CLASSINFO()
public:
  void Assign(TPersistent* Source) override;
  // Milliseconds; 0 leaves the library's own timeout.
  std::uint32_t ConnectTimeout = 0;
  std::uint32_t ReceiveTimeout = 0;
  std::uint32_t SendTimeout = 0;
};

class TauOutputFileAttributes : public TPersistent {
  QORV_DECLARE_CLASSINFO()
public:
  void Assign(TPersistent* Source) override;
  TauFileAttributes Complete() const { return Complete_; }
  TauFileAttributes Incomplete() const { return Incomplete_; }
  // A different value is stored and announced through Changed.
  void SetComplete(TauFileAttributes Value);
  void SetIncomplete(TauFileAttributes Value);

protected:
  virtual void Changed() {}

private:
  TauFileAttributes Complete_{TauFileAttribute::atrArchive};
  TauFileAttributes Incomplete_{TauFileAttribute::atrArchive, TauFileAttribute::atrTemporary};
};

// A read-write stream on a file that it opens itself. CreateNew replaces
// the file, otherwise an existing one is kept; KeepAttributes opens a
// hidden or read-only file anyway and puts its attributes back after the
// opening. Raises EFCreateError "Cannot create file "%s". %s".
class TauFileStream : public platform::THandleStream {
  QORV_DECLARE_CLASSINFO()
public:
  TauFileStream(const std::string& FileName, bool CreateNew, bool KeepAttributes);
  ~TauFileStream() override;
};

// --- Components --------------------------------------------------------------

// The HTTP login, stored with a form as the scrambled record "LInfo".
class TauLoginComponent : public TComponent {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TauLoginComponent(TComponent* AOwner) : TComponent(AOwner) {}

  // The record's bytes for a login, and the login of a record. A login
  // longer than the record holds (126 bytes together) keeps the user name
  // first and is cut; a malformed record gives false and changes nothing.
  static std::string EncodeLoginInfo(const std::string& Username, const std::string& Password);
  static bool DecodeLoginInfo(const std::string& Record, std::string& Username, std::string& Password);

  std::string HTTPUsername;
  std::string HTTPPassword;

protected:
  void DefineProperties(platform::TFiler& Filer) override;

private:
  void ReadLoginInfo(TStream& Stream);
  void WriteLoginInfo(TStream& Stream);
};

// The parts of a URL; a text without "://" is taken as "http://" + text.
// False (the parts untouched) when the library cannot split it.
bool CrackURL(const std::string& URL, std::string& Scheme, std::string& HostName, std::uint16_t& Port,
              std::string& UserName, std::string& Password, std::string& UrlPath, std::string& ExtraInfo);
// Percent-encodes controls, bytes from 0x80, and space # % * + < >.
std::string EncodeURLExtra(const std::string& Text);
// The status text of a library status code.
const char* StatusText(DWORD Status);

class TauCustomHTTP : public TauLoginComponent {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TauCustomHTTP(TComponent* AOwner);
  ~TauCustomHTTP() override;

  // StartTransferRange(0, 0, Wait).
  bool StartTransfer(bool Wait);
  // False, changing nothing, while a transfer's output is not released.
  bool StartTransferRange(std::uint32_t StartPos, std::uint32_t EndPos, bool Wait);
  // Sends Body (taken over, a memory stream) as a POST body with
  // UploadHeaders; the response goes where a download's would.
  bool StartUpload(platform::TMemoryStream* Body, bool Wait);
  // Nothing when no transfer runs. Soft: the worker stops at its next
  // checkpoint. Immediately: the worker is killed and OnTransferAborted
  // fires before the call returns.
  void AbortTransfer(bool DeleteOutputFile, bool Immediately);
  void ReleaseOutput();
  void CloseHandles();
  bool Running() const { return Thread_->Running(); }
  bool Busy() const { return Busy_.load(); }
  std::string GetURLFileName() const;
  std::string GetURLHostName() const;

  // Settings.
  std::string URL;
  std::string OutputFileName;
  std::string AcceptTypes = "text/html, */*";
  std::string UserAgent = kDefaultUserAgent;
  std::string Referer;
  std::string PostData;
  std::string UploadHeaders;
  TauHTTPRequestMethod RequestMethod = rmAuto;
  TauCacheOptions CacheOptions = kDefaultCacheOptions;
  TauInternetOptions InternetOptions = kDefaultInternetOptions;
  bool WorkOffline = false;
  bool AutoGoOnline = false;

  TauBufferSize TransferBufferSize() const { return TransferBufferSize_; }
  // Values outside 255..2147483647 are brought into the range.
  void SetTransferBufferSize(TauBufferSize Value);
  TThreadPriority ThreadPriority() const { return Thread_->Priority(); }
  void SetThreadPriority(TThreadPriority Value) { Thread_->SetPriority(Value); }

  TauHTTPProxy* Proxy() const { return Proxy_; }
  TauHTTPRange* Range() const { return Range_; }
  TauHTTPTimeouts* Timeouts() const { return Timeouts_; }
  TauOutputFileAttributes* OutputFileAttributes() const { return OutputFileAttributes_; }
  platform::TStringList* RequestHeaders() const { return RequestHeaders_; }
  TauCustomThread* Thread() const { return Thread_; }

  // Results of the latest transfer, readable until the next one starts.
  std::int32_t StatusCode() const { return StatusCode_; }
  bool Succeeded() const { return Succeeded_; }
  std::uint32_t StartPos() const { return StartPos_; }
  std::uint32_t EndPos() const { return EndPos_; }
  DWORD ContentLength() const { return ContentLength_; }
  DWORD BytesTransferred() const { return BytesTransferred_; }
  const std::string& ContentType() const { return ContentType_; }
  const std::string& RawHeaders() const { return RawHeaders_; }
  const std::string& ETag() const { return ETag_; }
  TDateTime LastModified() const { return LastModified_; }
  std::uint8_t PercentDone() const { return PercentDone_; }
  DWORD ElapsedTime() const { return ElapsedTime_; }
  std::int32_t EstimatedTimeLeft() const { return EstimatedTimeLeft_; }
  float TransferRate() const { return TransferRate_; }

  // Events.
  TauHTTPRequestEvent OnBeforeSendRequest;
  TauHTTPStatusEvent OnStatusChange;
  TauHTTPRedirectEvent OnRedirect;
  TauHTTPHeadersEvent OnHeadersReceived;
  TauHTTPProgressEvent OnDownloadProgress;
  TauHTTPUploadProgressEvent OnUploadProgress;
  TauHTTPPasswordRequestEvent OnAuthenticationRequest;
  TauHTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;
  TauHTTPDoneEvent OnDone;
  TauHTTPIncompleteEvent OnTransferIncomplete;
  TNotifyEvent OnNoResponse;
  TauHTTPErrorEvent OnHTTPError;
  TNotifyEvent OnDoneWithoutData;
  TNotifyEvent OnTransferFailed;
  TNotifyEvent OnTransferSkipped;
  TNotifyEvent OnTransferAborted;
  TauThreadWaitTimeoutEvent OnWaitTimeoutExpired;

  // Main thread, right before each progress event.
  void UpdateProgressFigures();

private:
  enum class Step { Continue, EndBody, Restart };
  enum class AbortSite { Worker, Caller };

  void ExecuteTransfer(TObject* Sender);
  void FinishTransfer(TObject* Sender);
  void HandleException(TObject* Sender);
  void HandleWaitTimeout(TObject* Sender, bool& TerminateThread);
  void HandleAbort(AbortSite Site);
  void CheckTerminated();

  Step Connect(const std::string& Scheme, const std::string& HostName, std::uint16_t Port,
               const std::string& UserName, const std::string& Password, const std::string& Object);
  Step Send();
  Step ReadHeaders();
  Step ReceiveBody(bool IsLocalFile);
  void CloseAttempt();
  bool AddRequestHeaders(bool WithRange);
  static std::string RangeLine(std::uint32_t Start, std::uint32_t End);
  DWORD QueryEntityLength();
  bool QueryText(DWORD Level, std::string& Text);
  bool IsOfflineMode();
  static void StatusCallback(HINTERNET Handle, platform::DWORD_PTR Context, DWORD Status, void* Info,
                             DWORD InfoLength);
  const std::string& Verb() const;
  void SetOption(HINTERNET Handle, DWORD Option, DWORD Value);
  void SetOption(HINTERNET Handle, DWORD Option, const std::string& Value);
  void FreeDataStream();

  TauCustomThread* Thread_ = nullptr;
  TauHTTPProxy* Proxy_ = nullptr;
  TauHTTPRange* Range_ = nullptr;
  TauHTTPTimeouts* Timeouts_ = nullptr;
  TauOutputFileAttributes* OutputFileAttributes_ = nullptr;
  platform::TStringList* RequestHeaders_ = nullptr;
  TauBufferSize TransferBufferSize_ = 4096;

  std::atomic<bool> Busy_{false};
  // Changes with every start and every abort, so that a finishing step
  // whose handler started or aborted a transfer leaves the rest alone.
  std::atomic<std::uint32_t> Generation_{0};
  bool UploadMode_ = false;
  bool DeleteOnAbort_ = false;
  bool OutputCreated_ = false;
  TStream* DataStream_ = nullptr;
  std::unique_ptr<std::uint8_t[]> ReadBuffer_;
  HANDLE LocalFileHandle_ = nullptr;
  HINTERNET SessionHandle_ = nullptr;
  HINTERNET ConnectionHandle_ = nullptr;
  HINTERNET RequestHandle_ = nullptr;

  std::uint32_t StartPos_ = 0;
  std::uint32_t EndPos_ = 0;
  std::int32_t StatusCode_ = -1;
  bool Succeeded_ = false;
  bool TryAgainFlag_ = false;
  bool ContinueDownload_ = true;
  // A block that could not be stored or a read that failed: the body is
  // incomplete whatever the length says.
  bool BodyFailed_ = false;
  DWORD ContentLength_ = 0;
  DWORD BytesTransferred_ = 0;
  DWORD StartTick_ = 0;
  DWORD BlockSize_ = 4096;
  std::string ContentType_;
  std::string RawHeaders_;
  std::string ContentLanguage_;
  std::string ContentEncoding_;
  std::string Location_;
  std::string ETag_;
  TDateTime Date_ = 0;
  TDateTime LastModified_ = 0;
  TDateTime Expires_ = 0;
  std::uint8_t PercentDone_ = 0;
  DWORD ElapsedTime_ = 0;
  std::int32_t EstimatedTimeLeft_ = 0;
  float TransferRate_ = 0;
};

}  // namespace qorv
