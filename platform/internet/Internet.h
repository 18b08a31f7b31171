// The internet client of the layer: sessions, connections and HTTP requests.
//
// What it is for. The HTTP component above the layer drives one transfer at a
// time through these calls, in the order and with the flags, options and
// numeric constants of the system internet client it was designed for:
// InternetOpen, InternetSetStatusCallback, InternetConnect, HttpOpenRequest,
// InternetSetOption, HttpAddRequestHeaders, HttpSendRequest (or
// HttpSendRequestEx, InternetWriteFile, HttpEndRequest for an upload),
// HttpQueryInfo, InternetReadFile and InternetCloseHandle. The calls are
// synchronous: each returns when its step is done or has failed.
//
// Handles. An HINTERNET names a session, a connection or a request. A
// connection belongs to its session and a request to its connection; closing
// a handle closes everything below it. Handles are checked on every call: a
// closed or unknown handle fails with ERROR_INVALID_HANDLE, a handle of the
// wrong kind with ERROR_INTERNET_INCORRECT_HANDLE_TYPE. A session's handles
// share one connection cache, one cookie store (unless a request says
// INTERNET_FLAG_NO_COOKIES) and one lock.
//
// Threads. A session and the handles below it are meant for one thread at a
// time (the worker that runs the transfer); the calls of a second thread on
// the same session wait for the first one's call to end. InternetCloseHandle
// may come from any thread: a call that is blocked on that handle (a read
// waiting for data, a send waiting for the answer) then ends at once with
// ERROR_INTERNET_OPERATION_CANCELLED, and the close returns after it.
// A thread that is killed through the messages area while it is inside one
// of these calls is woken at once and unwinds with ThreadKilled from the call.
//
// Status callback. The callback set on a session is inherited by the handles
// created from it afterwards. It runs on the thread that made the call, from
// inside that call, never from inside the network library, so it may call
// back into this interface and may throw (a kill unwinds through it).
// Status information: RESOLVING_NAME the host name text; NAME_RESOLVED,
// CONNECTING_TO_SERVER and CONNECTED_TO_SERVER the address as text;
// REQUEST_SENT and RESPONSE_RECEIVED a DWORD byte count; REDIRECT the new URL;
// HANDLE_CREATED and HANDLE_CLOSING the HINTERNET; REQUEST_COMPLETE an
// INTERNET_ASYNC_RESULT; CLOSING_CONNECTION and CONNECTION_CLOSED carry
// nothing. Texts are zero-terminated and the length counts the terminator.
// Connection closes. CLOSING_CONNECTION then CONNECTION_CLOSED go to the
// request that used the connection last, from the call on that request in
// which the close happened, or, when a call on another request of the
// session closed it, from its next call that waits on the network. A request
// without INTERNET_FLAG_KEEP_CONNECTION reports them once its answer is
// complete; a resend while a body is unread, as the new send starts. A connection
// kept for reuse reports nothing while it stays open. One whose last request
// has been closed reports to nobody: neither the request, which is gone, nor
// the session, so closing a session closes its kept connections silently,
// and so does closing a request in the middle of its transfer. A connect
// that fails closes no connection.
//
// Failures are reported through the result (FALSE or a null handle) and the
// calling thread's last error (GetLastError of the system area), with the
// ERROR_INTERNET_* codes of the original system. InternetGetLastResponseInfo
// gives the network library's text for the calling thread's last failure.
//
// What the flags mean on this system (there is no cache):
// - INTERNET_FLAG_RELOAD sends "Cache-Control: no-cache" and
//   INTERNET_FLAG_PRAGMA_NOCACHE sends "Pragma: no-cache"; the other cache
//   flags have nothing to act on and are accepted.
// - INTERNET_FLAG_KEEP_CONNECTION keeps the connection open for the next
//   request of the session; without it the connection is closed after the
//   request's answer.
// - Redirects are followed (at most 10, to http and https only) unless
//   INTERNET_FLAG_NO_AUTO_REDIRECT, in which case the 3xx answer is the
//   response. A redirect from https down to http fails the send with
//   ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR unless
//   INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP allows it; one from http up to
//   https is always followed, so INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS
//   changes nothing. Credentials do not follow a redirect to another host.
// - Credentials (InternetConnect, INTERNET_OPTION_USERNAME/PASSWORD and the
//   proxy pair) are sent as Basic credentials with the request; a 401 or 407
//   answer is returned to the caller, who may set new credentials and call
//   HttpSendRequest again on the same request. INTERNET_FLAG_NO_AUTH sends no
//   server credentials at all.
// - Certificates are checked unless SECURITY_FLAG_IGNORE_UNKNOWN_CA,
//   INTERNET_FLAG_IGNORE_CERT_CN_INVALID or INTERNET_FLAG_IGNORE_CERT_DATE_INVALID
//   excuse the one fault they name.
// - INTERNET_OPEN_TYPE_PRECONFIG takes the proxy from the environment
//   (http_proxy, https_proxy, no_proxy); INTERNET_OPEN_TYPE_DIRECT uses no
//   proxy whatever the environment says; INTERNET_OPEN_TYPE_PROXY uses the
//   proxy text given ("host:port", or "http=host:port https=host:port") for
//   every host that the bypass list does not name ("127.0.0.1;*.example.com;
//   <local>", entries separated by ';' or blanks, '*' a wildcard, "<local>"
//   every host name without a dot).
// - INTERNET_FLAG_OFFLINE on the session: every request fails with
//   ERROR_FILE_NOT_FOUND, as a request that the (absent) cache cannot answer.
#pragma once

#include <cstdint>

#include "platform/core/Handles.h"
#include "platform/system/Errors.h"

namespace qorv::platform {

struct InternetHandle;
using HINTERNET = InternetHandle*;
using INTERNET_PORT = std::uint16_t;
using DWORD_PTR = std::uintptr_t;

using INTERNET_STATUS_CALLBACK = void (*)(HINTERNET handle, DWORD_PTR context, DWORD status,
                                          void* statusInformation, DWORD statusInformationLength);
// What InternetSetStatusCallback returns when it fails.
inline INTERNET_STATUS_CALLBACK const INTERNET_INVALID_STATUS_CALLBACK =
    reinterpret_cast<INTERNET_STATUS_CALLBACK>(~static_cast<std::uintptr_t>(0));

struct INTERNET_ASYNC_RESULT {
  DWORD_PTR dwResult;
  DWORD dwError;
};

// Parts of a URL. For each part: a buffer pointer and its size in bytes
// (counting the terminator) get a copy; a null pointer with a non-zero length
// gets a pointer into the URL text and the part's length; length 0 skips it.
struct URL_COMPONENTS {
  DWORD dwStructSize;
  char* lpszScheme;
  DWORD dwSchemeLength;
  int nScheme;
  char* lpszHostName;
  DWORD dwHostNameLength;
  INTERNET_PORT nPort;
  char* lpszUserName;
  DWORD dwUserNameLength;
  char* lpszPassword;
  DWORD dwPasswordLength;
  char* lpszUrlPath;
  DWORD dwUrlPathLength;
  char* lpszExtraInfo;
  DWORD dwExtraInfoLength;
};

struct INTERNET_BUFFERS {
  DWORD dwStructSize;
  INTERNET_BUFFERS* Next;
  const char* lpcszHeader;
  DWORD dwHeadersLength;
  DWORD dwHeadersTotal;
  void* lpvBuffer;
  DWORD dwBufferLength;
  DWORD dwBufferTotal;
  DWORD dwOffsetLow;
  DWORD dwOffsetHigh;
};

// Access types of InternetOpen.
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;

inline constexpr DWORD INTERNET_SERVICE_FTP = 1;
inline constexpr DWORD INTERNET_SERVICE_GOPHER = 2;
inline constexpr DWORD INTERNET_SERVICE_HTTP = 3;

inline constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// Schemes of URL_COMPONENTS::nScheme.
inline constexpr int INTERNET_SCHEME_UNKNOWN = -1;
inline constexpr int INTERNET_SCHEME_DEFAULT = 0;
inline constexpr int INTERNET_SCHEME_FTP = 1;
inline constexpr int INTERNET_SCHEME_GOPHER = 2;
inline constexpr int INTERNET_SCHEME_HTTP = 3;
inline constexpr int INTERNET_SCHEME_HTTPS = 4;
inline constexpr int INTERNET_SCHEME_FILE = 5;

// InternetCrackUrl: decode %xx escapes in the parts.
inline constexpr DWORD ICU_DECODE = 0x10000000;
inline constexpr DWORD ICU_ESCAPE = 0x80000000;

// Session and request flags.
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD INTERNET_FLAG_RAW_DATA = 0x40000000;
inline constexpr DWORD INTERNET_FLAG_EXISTING_CONNECT = 0x20000000;
inline constexpr DWORD INTERNET_FLAG_ASYNC = 0x10000000;
inline constexpr DWORD INTERNET_FLAG_PASSIVE = 0x08000000;
inline constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
inline constexpr DWORD INTERNET_FLAG_MAKE_PERSISTENT = 0x02000000;
inline constexpr DWORD INTERNET_FLAG_FROM_CACHE = 0x01000000;
inline constexpr DWORD INTERNET_FLAG_OFFLINE = 0x01000000;
inline constexpr DWORD INTERNET_FLAG_SECURE = 0x00800000;
inline constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
inline constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
inline constexpr DWORD INTERNET_FLAG_READ_PREFETCH = 0x00100000;
inline constexpr DWORD INTERNET_FLAG_NO_COOKIES = 0x00080000;
inline constexpr DWORD INTERNET_FLAG_NO_AUTH = 0x00040000;
inline constexpr DWORD INTERNET_FLAG_CACHE_IF_NET_FAIL = 0x00010000;
inline constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;
inline constexpr DWORD INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
inline constexpr DWORD INTERNET_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
inline constexpr DWORD INTERNET_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
inline constexpr DWORD INTERNET_FLAG_RESYNCHRONIZE = 0x00000800;
inline constexpr DWORD INTERNET_FLAG_HYPERLINK = 0x00000400;
inline constexpr DWORD INTERNET_FLAG_NO_UI = 0x00000200;
inline constexpr DWORD INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;
inline constexpr DWORD INTERNET_FLAG_CACHE_ASYNC = 0x00000080;
inline constexpr DWORD INTERNET_FLAG_FORMS_SUBMIT = 0x00000040;
inline constexpr DWORD INTERNET_FLAG_NEED_FILE = 0x00000010;

// Values of INTERNET_OPTION_SECURITY_FLAGS.
inline constexpr DWORD SECURITY_FLAG_SECURE = 0x00000001;
inline constexpr DWORD SECURITY_FLAG_IGNORE_REVOCATION = 0x00000080;
inline constexpr DWORD SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;
inline constexpr DWORD SECURITY_FLAG_IGNORE_WRONG_USAGE = 0x00000200;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
inline constexpr DWORD SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;

// Options of InternetSetOption and InternetQueryOption.
inline constexpr DWORD INTERNET_OPTION_CALLBACK = 1;
inline constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
inline constexpr DWORD INTERNET_OPTION_CONNECT_RETRIES = 3;
inline constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
inline constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
inline constexpr DWORD INTERNET_OPTION_DATA_SEND_TIMEOUT = 7;
inline constexpr DWORD INTERNET_OPTION_DATA_RECEIVE_TIMEOUT = 8;
inline constexpr DWORD INTERNET_OPTION_HANDLE_TYPE = 9;
inline constexpr DWORD INTERNET_OPTION_PARENT_HANDLE = 21;
inline constexpr DWORD INTERNET_OPTION_REQUEST_FLAGS = 23;
inline constexpr DWORD INTERNET_OPTION_USERNAME = 28;
inline constexpr DWORD INTERNET_OPTION_PASSWORD = 29;
inline constexpr DWORD INTERNET_OPTION_SECURITY_FLAGS = 31;
inline constexpr DWORD INTERNET_OPTION_URL = 34;
inline constexpr DWORD INTERNET_OPTION_USER_AGENT = 41;
inline constexpr DWORD INTERNET_OPTION_PROXY_USERNAME = 43;
inline constexpr DWORD INTERNET_OPTION_PROXY_PASSWORD = 44;
inline constexpr DWORD INTERNET_OPTION_CONTEXT_VALUE = 45;
inline constexpr DWORD INTERNET_OPTION_CONNECTED_STATE = 50;

// Values of INTERNET_OPTION_CONNECTED_STATE.
inline constexpr DWORD INTERNET_STATE_CONNECTED = 0x00000001;
inline constexpr DWORD INTERNET_STATE_DISCONNECTED = 0x00000002;
inline constexpr DWORD INTERNET_STATE_DISCONNECTED_BY_USER = 0x00000010;

// Values of INTERNET_OPTION_HANDLE_TYPE.
inline constexpr DWORD INTERNET_HANDLE_TYPE_INTERNET = 1;
inline constexpr DWORD INTERNET_HANDLE_TYPE_CONNECT_HTTP = 3;
inline constexpr DWORD INTERNET_HANDLE_TYPE_HTTP_REQUEST = 13;

// Status codes of the status callback.
inline constexpr DWORD INTERNET_STATUS_RESOLVING_NAME = 10;
inline constexpr DWORD INTERNET_STATUS_NAME_RESOLVED = 11;
inline constexpr DWORD INTERNET_STATUS_CONNECTING_TO_SERVER = 20;
inline constexpr DWORD INTERNET_STATUS_CONNECTED_TO_SERVER = 21;
inline constexpr DWORD INTERNET_STATUS_SENDING_REQUEST = 30;
inline constexpr DWORD INTERNET_STATUS_REQUEST_SENT = 31;
inline constexpr DWORD INTERNET_STATUS_RECEIVING_RESPONSE = 40;
inline constexpr DWORD INTERNET_STATUS_RESPONSE_RECEIVED = 41;
inline constexpr DWORD INTERNET_STATUS_CTL_RESPONSE_RECEIVED = 42;
inline constexpr DWORD INTERNET_STATUS_PREFETCH = 43;
inline constexpr DWORD INTERNET_STATUS_CLOSING_CONNECTION = 50;
inline constexpr DWORD INTERNET_STATUS_CONNECTION_CLOSED = 51;
inline constexpr DWORD INTERNET_STATUS_HANDLE_CREATED = 60;
inline constexpr DWORD INTERNET_STATUS_HANDLE_CLOSING = 70;
inline constexpr DWORD INTERNET_STATUS_REQUEST_COMPLETE = 100;
inline constexpr DWORD INTERNET_STATUS_REDIRECT = 110;
inline constexpr DWORD INTERNET_STATUS_INTERMEDIATE_RESPONSE = 120;
inline constexpr DWORD INTERNET_STATUS_STATE_CHANGE = 200;

// HttpAddRequestHeaders modifiers.
inline constexpr DWORD HTTP_ADDREQ_INDEX_MASK = 0x0000FFFF;
inline constexpr DWORD HTTP_ADDREQ_FLAGS_MASK = 0xFFFF0000;
inline constexpr DWORD HTTP_ADDREQ_FLAG_ADD_IF_NEW = 0x10000000;
inline constexpr DWORD HTTP_ADDREQ_FLAG_ADD = 0x20000000;
inline constexpr DWORD HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA = 0x40000000;
inline constexpr DWORD HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON = 0x01000000;
inline constexpr DWORD HTTP_ADDREQ_FLAG_COALESCE = HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA;
inline constexpr DWORD HTTP_ADDREQ_FLAG_REPLACE = 0x80000000;

// HttpSendRequestEx / HttpEndRequest flags.
inline constexpr DWORD HSR_ASYNC = 0x00000001;
inline constexpr DWORD HSR_SYNC = 0x00000004;
inline constexpr DWORD HSR_USE_CONTEXT = 0x00000008;
inline constexpr DWORD HSR_INITIATE = 0x00000008;
inline constexpr DWORD HSR_DOWNLOAD = 0x00000010;
inline constexpr DWORD HSR_CHUNKED = 0x00000020;

// HttpQueryInfo levels.
inline constexpr DWORD HTTP_QUERY_MIME_VERSION = 0;
inline constexpr DWORD HTTP_QUERY_CONTENT_TYPE = 1;
inline constexpr DWORD HTTP_QUERY_CONTENT_TRANSFER_ENCODING = 2;
inline constexpr DWORD HTTP_QUERY_CONTENT_ID = 3;
inline constexpr DWORD HTTP_QUERY_CONTENT_DESCRIPTION = 4;
inline constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr DWORD HTTP_QUERY_CONTENT_LANGUAGE = 6;
inline constexpr DWORD HTTP_QUERY_ALLOW = 7;
inline constexpr DWORD HTTP_QUERY_PUBLIC = 8;
inline constexpr DWORD HTTP_QUERY_DATE = 9;
inline constexpr DWORD HTTP_QUERY_EXPIRES = 10;
inline constexpr DWORD HTTP_QUERY_LAST_MODIFIED = 11;
inline constexpr DWORD HTTP_QUERY_MESSAGE_ID = 12;
inline constexpr DWORD HTTP_QUERY_URI = 13;
inline constexpr DWORD HTTP_QUERY_DERIVED_FROM = 14;
inline constexpr DWORD HTTP_QUERY_COST = 15;
inline constexpr DWORD HTTP_QUERY_LINK = 16;
inline constexpr DWORD HTTP_QUERY_PRAGMA = 17;
inline constexpr DWORD HTTP_QUERY_VERSION = 18;
inline constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD HTTP_QUERY_STATUS_TEXT = 20;
inline constexpr DWORD HTTP_QUERY_RAW_HEADERS = 21;
inline constexpr DWORD HTTP_QUERY_RAW_HEADERS_CRLF = 22;
inline constexpr DWORD HTTP_QUERY_CONNECTION = 23;
inline constexpr DWORD HTTP_QUERY_ACCEPT = 24;
inline constexpr DWORD HTTP_QUERY_ACCEPT_CHARSET = 25;
inline constexpr DWORD HTTP_QUERY_ACCEPT_ENCODING = 26;
inline constexpr DWORD HTTP_QUERY_ACCEPT_LANGUAGE = 27;
inline constexpr DWORD HTTP_QUERY_AUTHORIZATION = 28;
inline constexpr DWORD HTTP_QUERY_CONTENT_ENCODING = 29;
inline constexpr DWORD HTTP_QUERY_FORWARDED = 30;
inline constexpr DWORD HTTP_QUERY_FROM = 31;
inline constexpr DWORD HTTP_QUERY_IF_MODIFIED_SINCE = 32;
inline constexpr DWORD HTTP_QUERY_LOCATION = 33;
inline constexpr DWORD HTTP_QUERY_ORIG_URI = 34;
inline constexpr DWORD HTTP_QUERY_REFERER = 35;
inline constexpr DWORD HTTP_QUERY_RETRY_AFTER = 36;
inline constexpr DWORD HTTP_QUERY_SERVER = 37;
inline constexpr DWORD HTTP_QUERY_TITLE = 38;
inline constexpr DWORD HTTP_QUERY_USER_AGENT = 39;
inline constexpr DWORD HTTP_QUERY_WWW_AUTHENTICATE = 40;
inline constexpr DWORD HTTP_QUERY_PROXY_AUTHENTICATE = 41;
inline constexpr DWORD HTTP_QUERY_ACCEPT_RANGES = 42;
inline constexpr DWORD HTTP_QUERY_SET_COOKIE = 43;
inline constexpr DWORD HTTP_QUERY_COOKIE = 44;
inline constexpr DWORD HTTP_QUERY_REQUEST_METHOD = 45;
inline constexpr DWORD HTTP_QUERY_REFRESH = 46;
inline constexpr DWORD HTTP_QUERY_CONTENT_DISPOSITION = 47;
inline constexpr DWORD HTTP_QUERY_AGE = 48;
inline constexpr DWORD HTTP_QUERY_CACHE_CONTROL = 49;
inline constexpr DWORD HTTP_QUERY_CONTENT_BASE = 50;
inline constexpr DWORD HTTP_QUERY_CONTENT_LOCATION = 51;
inline constexpr DWORD HTTP_QUERY_CONTENT_MD5 = 52;
inline constexpr DWORD HTTP_QUERY_CONTENT_RANGE = 53;
inline constexpr DWORD HTTP_QUERY_ETAG = 54;
inline constexpr DWORD HTTP_QUERY_HOST = 55;
inline constexpr DWORD HTTP_QUERY_IF_MATCH = 56;
inline constexpr DWORD HTTP_QUERY_IF_NONE_MATCH = 57;
inline constexpr DWORD HTTP_QUERY_IF_RANGE = 58;
inline constexpr DWORD HTTP_QUERY_IF_UNMODIFIED_SINCE = 59;
inline constexpr DWORD HTTP_QUERY_MAX_FORWARDS = 60;
inline constexpr DWORD HTTP_QUERY_PROXY_AUTHORIZATION = 61;
inline constexpr DWORD HTTP_QUERY_RANGE = 62;
inline constexpr DWORD HTTP_QUERY_TRANSFER_ENCODING = 63;
inline constexpr DWORD HTTP_QUERY_UPGRADE = 64;
inline constexpr DWORD HTTP_QUERY_VARY = 65;
inline constexpr DWORD HTTP_QUERY_VIA = 66;
inline constexpr DWORD HTTP_QUERY_WARNING = 67;
inline constexpr DWORD HTTP_QUERY_EXPECT = 68;
inline constexpr DWORD HTTP_QUERY_PROXY_CONNECTION = 69;
inline constexpr DWORD HTTP_QUERY_UNLESS_MODIFIED_SINCE = 70;
inline constexpr DWORD HTTP_QUERY_CUSTOM = 65535;
inline constexpr DWORD HTTP_QUERY_MODIFIER_FLAGS_MASK = 0xFFFF0000;
inline constexpr DWORD HTTP_QUERY_HEADER_MASK = 0x0000FFFF;
inline constexpr DWORD HTTP_QUERY_FLAG_REQUEST_HEADERS = 0x80000000;
inline constexpr DWORD HTTP_QUERY_FLAG_SYSTEMTIME = 0x40000000;
inline constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;
inline constexpr DWORD HTTP_QUERY_FLAG_COALESCE = 0x10000000;

// Error codes of this interface (the system area defines the general ones,
// ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER...).
inline constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_PROTOCOL_NOT_FOUND = 12008;
inline constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
inline constexpr DWORD ERROR_INTERNET_BAD_OPTION_LENGTH = 12010;
inline constexpr DWORD ERROR_INTERNET_OPTION_NOT_SETTABLE = 12011;
inline constexpr DWORD ERROR_INTERNET_SHUTDOWN = 12012;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_USER_NAME = 12013;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
inline constexpr DWORD ERROR_INTERNET_LOGIN_FAILURE = 12015;
inline constexpr DWORD ERROR_INTERNET_INVALID_OPERATION = 12016;
inline constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr DWORD ERROR_INTERNET_NOT_PROXY_REQUEST = 12020;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_INTERNET_FORCE_RETRY = 12032;
inline constexpr DWORD ERROR_INTERNET_INVALID_PROXY_REQUEST = 12033;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
inline constexpr DWORD ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR = 12039;
inline constexpr DWORD ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
inline constexpr DWORD ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_ERRORS = 12055;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;
inline constexpr DWORD ERROR_INTERNET_DISCONNECTED = 12163;
inline constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr DWORD ERROR_HTTP_DOWNLEVEL_SERVER = 12151;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_HTTP_INVALID_HEADER = 12153;
inline constexpr DWORD ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
inline constexpr DWORD ERROR_HTTP_HEADER_ALREADY_EXISTS = 12155;
inline constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;

// Opens a session. Proxy and ProxyBypass are read only for
// INTERNET_OPEN_TYPE_PROXY; either may be null. Flags: INTERNET_FLAG_OFFLINE.
HINTERNET InternetOpen(const char* agent, DWORD accessType, const char* proxy,
                       const char* proxyBypass, DWORD flags);

// Sets the callback of a handle (and of the handles created from it later).
// Returns the previous callback (null when there was none).
INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET handle,
                                                   INTERNET_STATUS_CALLBACK callback);

// A connection to one HTTP server. Nothing goes over the network yet. Port 0
// means the scheme's port (443 for requests opened with INTERNET_FLAG_SECURE).
// User name and password, when given, are the connection's credentials.
HINTERNET InternetConnect(HINTERNET session, const char* serverName, INTERNET_PORT port,
                          const char* userName, const char* password, DWORD service,
                          DWORD flags, DWORD_PTR context);

// A request on a connection. Verb null means "GET"; ObjectName is the path
// and query as they go to the server (null or empty: "/"): bytes that may not
// travel in a request line (controls, blanks, non-ASCII, '"', '<', '>', '\',
// '^', '`', '{', '|', '}', '#' and a '%' that starts no escape) are sent
// %-escaped. Version "HTTP/1.0" asks for HTTP/1.0, anything else HTTP/1.1.
// AcceptTypes is a null-terminated list joined into one Accept header.
HINTERNET HttpOpenRequest(HINTERNET connection, const char* verb, const char* objectName,
                          const char* version, const char* referrer, const char** acceptTypes,
                          DWORD flags, DWORD_PTR context);

// Numbers are passed as 4 bytes, texts with their length (the terminator may be
// left out). Options set on a session or connection apply to the requests
// below it unless the request sets its own.
BOOL InternetSetOption(HINTERNET handle, DWORD option, const void* buffer, DWORD bufferLength);
// Handle may be null for INTERNET_OPTION_CONNECTED_STATE. Texts come back
// zero-terminated with *bufferLength the length without the terminator; a
// buffer that is too small fails with ERROR_INSUFFICIENT_BUFFER and
// *bufferLength the size needed.
BOOL InternetQueryOption(HINTERNET handle, DWORD option, void* buffer, DWORD* bufferLength);

// There is no offline state to leave on this system: TRUE.
BOOL InternetGoOnline(const char* url, void* parentWindow, DWORD reserved);

// Adds header lines (CR LF separated; length (DWORD)-1 means zero-terminated)
// to a request. HTTP_ADDREQ_FLAG_REPLACE replaces a header of the same name
// (and removes it when the value is empty); HTTP_ADDREQ_FLAG_ADD_IF_NEW fails
// with ERROR_HTTP_HEADER_ALREADY_EXISTS when the name is there; otherwise
// the line is added. The headers stay with the request for every later send.
BOOL HttpAddRequestHeaders(HINTERNET request, const char* headers, DWORD headersLength,
                           DWORD modifiers);

// Sends the request and returns when the final response's status line and
// headers are in (1xx answers are skipped, redirects followed as the flags
// say). Headers given here go with this send only. Optional is the body.
// May be called again on the same request (to answer a 401 or 407): the
// previous response, and any of its body not yet read, is dropped.
BOOL HttpSendRequest(HINTERNET request, const char* headers, DWORD headersLength,
                     const void* optional, DWORD optionalLength);

// Starts a request whose body of buffersIn->dwBufferTotal bytes follows
// through InternetWriteFile; HttpEndRequest then waits for the response as
// HttpSendRequest does. The header text of buffersIn goes with this send.
BOOL HttpSendRequestEx(HINTERNET request, INTERNET_BUFFERS* buffersIn,
                       INTERNET_BUFFERS* buffersOut, DWORD flags, DWORD_PTR context);
BOOL InternetWriteFile(HINTERNET request, const void* buffer, DWORD numberOfBytesToWrite,
                       DWORD* numberOfBytesWritten);
BOOL HttpEndRequest(HINTERNET request, INTERNET_BUFFERS* buffersOut, DWORD flags,
                    DWORD_PTR context);

// Reads one item of the response (or, with HTTP_QUERY_FLAG_REQUEST_HEADERS,
// of the request last sent). Texts: *bufferLength in is the buffer's size,
// out the text's length without its terminator; ERROR_INSUFFICIENT_BUFFER
// gives the size needed (terminator included). HTTP_QUERY_FLAG_NUMBER writes a
// DWORD. Index, when given, picks the n-th header of that name and comes back
// as the next index. HTTP_QUERY_CUSTOM takes the header name from the buffer.
// A header that is absent: ERROR_HTTP_HEADER_NOT_FOUND.
BOOL HttpQueryInfo(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                   DWORD* index);

// Reads body bytes: waits until at least one byte is there or the body ends,
// then returns what there is, up to numberOfBytesToRead. TRUE with 0 bytes
// marks the end of a complete body. A body that ends before its announced
// length, or whose connection breaks, fails with
// ERROR_INTERNET_CONNECTION_RESET once the bytes that did arrive have been
// read; a stall longer than the receive timeout fails with
// ERROR_INTERNET_TIMEOUT.
BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD numberOfBytesToRead,
                      DWORD* numberOfBytesRead);

// Closes a handle and those below it. Any thread (see the top).
BOOL InternetCloseHandle(HINTERNET handle);

// Splits a URL (urlLength 0 means zero-terminated). With ICU_DECODE or
// ICU_ESCAPE the %xx escapes of user name, password, path and extra
// information are decoded, which needs buffers of the caller. The path ends
// before "?" or "#"; the extra information is the rest. A missing port gives
// the scheme's default.
BOOL InternetCrackUrl(const char* url, DWORD urlLength, DWORD flags, URL_COMPONENTS* components);

// The network library's text for the calling thread's last failure; *error is
// 0. Buffer semantics as InternetQueryOption.
BOOL InternetGetLastResponseInfo(DWORD* error, char* buffer, DWORD* bufferLength);

}  // namespace qorv::platform
