// The internet client against real servers on loopback: the scripted fault
// server as a child process, nginx where a real peer matters. Every wait is
// bounded: requests carry timeouts of a few seconds and blocked calls are
// watched through futures with a deadline.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/internet/Internet.h"
#include "platform/messages/Events.h"
#include "platform/messages/Threads.h"
#include "tests/servers/ServerProcess.h"

namespace qorv::platform {
namespace {

using namespace std::chrono_literals;
using qorv::testing::NginxProcess;
using qorv::testing::ServerProcess;
using qorv::testing::MakeSelfSignedCertificate;
using qorv::testing::TempDir;

const char* kAccept[] = {"text/html, */*", nullptr};

std::string Pattern(std::size_t start, std::size_t count) {
  static const char p[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string s;
  for (std::size_t i = 0; i < count; ++i) s.push_back(p[(start + i) % 36]);
  return s;
}

// Environment variables set for one test and put back afterwards.
class ScopedEnv {
public:
  void set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }

private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// One session, connection and request, closed in reverse order.
struct Request {
  HINTERNET session = nullptr, connection = nullptr, request = nullptr;
  Request(const std::string& host, int port, const std::string& object, DWORD flags = INTERNET_FLAG_KEEP_CONNECTION,
          DWORD access = INTERNET_OPEN_TYPE_DIRECT, const char* proxy = nullptr, const char* bypass = nullptr,
          const char* verb = "GET") {
    session = InternetOpen("QorvTest/1.0", access, proxy, bypass, 0);
    if (!session) return;
    DWORD timeout = 5000;
    InternetSetOption(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOption(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    connection = InternetConnect(session, host.c_str(), static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                 INTERNET_SERVICE_HTTP, 0, 1);
    if (!connection) return;
    request = HttpOpenRequest(connection, verb, object.c_str(), nullptr, "", kAccept, flags, 2);
  }
  ~Request() { close(); }
  void close() {
    if (session) InternetCloseHandle(session);
    session = connection = request = nullptr;
  }
  bool send() { return HttpSendRequest(request, nullptr, 0, nullptr, 0); }
  int status() {
    DWORD status = 0, length = sizeof status;
    if (!HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr))
      return -1;
    return static_cast<int>(status);
  }
  bool header(DWORD level, std::string& value) {
    char buffer[4096];
    DWORD length = sizeof buffer;
    if (!HttpQueryInfo(request, level, buffer, &length, nullptr)) return false;
    value.assign(buffer, length);
    return true;
  }
  // Reads the body in blocks of Block bytes. False when a read failed; the
  // error is in ReadError and the bytes up to then in Body.
  bool read(std::string& body, DWORD block = 4096) {
    body.clear();
    std::vector<char> buffer(block);
    for (int guard = 0; guard < 1000000; ++guard) {
      DWORD got = 0;
      if (!InternetReadFile(request, buffer.data(), block, &got)) {
        readError = GetLastError();
        return false;
      }
      if (got == 0) return true;
      body.append(buffer.data(), got);
    }
    return false;
  }
  DWORD readError = 0;
};

class InternetTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { server_ = new ServerProcess(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server_->ok()) << server_->error(); }
  static int port() { return server_->port(); }
  static ServerProcess* server_;
};
ServerProcess* InternetTest::server_ = nullptr;

TEST_F(InternetTest, BodyArrivesWholeInSmallBlocks) {
  struct Row {
    std::size_t size;
    DWORD block;
  } rows[] = {{0, 7}, {1, 7}, {1000, 7}, {300000, 4096}, {300000, 1 << 20}};
  for (const Row& row : rows) {
    SCOPED_TRACE("size " + std::to_string(row.size) + " block " + std::to_string(row.block));
    Request r("127.0.0.1", port(), "/ok/" + std::to_string(row.size));
    ASSERT_TRUE(r.send()) << GetLastError();
    EXPECT_EQ(r.status(), 200);
    DWORD length = 0, size = sizeof length;
    ASSERT_TRUE(HttpQueryInfo(r.request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr));
    EXPECT_EQ(length, row.size);
    std::string body;
    ASSERT_TRUE(r.read(body, row.block)) << r.readError;
    EXPECT_EQ(body.size(), row.size);
    EXPECT_TRUE(body == Pattern(0, row.size));
    DWORD got = 99;
    char c;
    EXPECT_TRUE(InternetReadFile(r.request, &c, 1, &got));
    EXPECT_EQ(got, 0u);
  }
}

TEST_F(InternetTest, ErrorStatusesComeBackWithTheirPages) {
  struct Row {
    int status;
    const char* page;
  } rows[] = {{404, "status 404"}, {500, "status 500"}, {403, "status 403"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    Request r("127.0.0.1", port(), "/status/" + std::to_string(row.status));
    ASSERT_TRUE(r.send());
    EXPECT_EQ(r.status(), row.status);
    std::string body;
    ASSERT_TRUE(r.read(body));
    EXPECT_NE(body.find(row.page), std::string::npos) << body;
  }
}

TEST_F(InternetTest, LoginIsAnsweredByResendingTheSameRequest) {
  Request r("127.0.0.1", port(), "/auth");
  ASSERT_TRUE(r.send());
  ASSERT_EQ(r.status(), 401);
  std::string challenge;
  ASSERT_TRUE(r.header(HTTP_QUERY_WWW_AUTHENTICATE, challenge));
  EXPECT_EQ(challenge, "Basic realm=\"Qorv test\"");

  struct Row {
    const char* user;
    const char* password;
    int status;
  } rows[] = {{"user", "wrong", 401}, {"user", "secret", 200}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.user) + ":" + row.password);
    ASSERT_TRUE(InternetSetOption(r.request, INTERNET_OPTION_USERNAME, row.user, std::strlen(row.user)));
    ASSERT_TRUE(InternetSetOption(r.request, INTERNET_OPTION_PASSWORD, row.password, std::strlen(row.password)));
    ASSERT_TRUE(r.send());
    EXPECT_EQ(r.status(), row.status);
    std::string body;
    ASSERT_TRUE(r.read(body));
    if (row.status == 200) {
      EXPECT_EQ(body, "welcome\n");
    }
  }
}

TEST_F(InternetTest, NoAuthFlagSendsNoCredentials) {
  HINTERNET session = InternetOpen("QorvTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection = InternetConnect(session, "127.0.0.1", static_cast<INTERNET_PORT>(port()), "user", "secret",
                                         INTERNET_SERVICE_HTTP, 0, 0);
  struct Row {
    DWORD flags;
    int status;
  } rows[] = {{0, 200}, {INTERNET_FLAG_NO_AUTH, 401}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    HINTERNET request = HttpOpenRequest(connection, "GET", "/auth", nullptr, nullptr, kAccept, row.flags, 0);
    ASSERT_TRUE(HttpSendRequest(request, nullptr, 0, nullptr, 0));
    DWORD status = 0, length = sizeof status;
    ASSERT_TRUE(HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr));
    EXPECT_EQ(static_cast<int>(status), row.status);
    InternetCloseHandle(request);
  }
  InternetCloseHandle(session);
}

TEST_F(InternetTest, RangesAndTheRetryFromTheStart) {
  struct Row {
    const char* path;
    const char* range;
    int status;
    std::string body;
    const char* contentRange;
  } rows[] = {
      {"/range/100", "Range: bytes=10-19\r\n", 206, Pattern(10, 10), "bytes 10-19/100"},
      {"/range/100", "Range: bytes=90-\r\n", 206, Pattern(90, 10), "bytes 90-99/100"},
      {"/range/100", "Range: bytes=100-\r\n", 416, "", "bytes */100"},
      {"/ignore-range/100", "Range: bytes=10-19\r\n", 200, Pattern(0, 100), nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.path) + " " + row.range);
    Request r("127.0.0.1", port(), row.path);
    ASSERT_TRUE(HttpAddRequestHeaders(r.request, row.range, static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD));
    ASSERT_TRUE(r.send());
    EXPECT_EQ(r.status(), row.status);
    std::string contentRange;
    bool hasRange = r.header(HTTP_QUERY_CONTENT_RANGE, contentRange);
    EXPECT_EQ(hasRange, row.contentRange != nullptr);
    if (row.contentRange) {
      EXPECT_EQ(contentRange, row.contentRange);
    }
    std::string body;
    ASSERT_TRUE(r.read(body));
    if (row.status != 416) {
      EXPECT_EQ(body, row.body);
    }
    if (row.status == 416) {
      // The resend after a range past the end asks from byte 0 instead.
      ASSERT_TRUE(HttpAddRequestHeaders(r.request, "RANGE: bytes=0-\r\n", static_cast<DWORD>(-1),
                                        HTTP_ADDREQ_FLAG_REPLACE | HTTP_ADDREQ_FLAG_ADD));
      ASSERT_TRUE(r.send());
      EXPECT_EQ(r.status(), 206);
      ASSERT_TRUE(r.read(body));
      EXPECT_EQ(body, Pattern(0, 100));
    }
  }
}

TEST_F(InternetTest, BodyCutShortFailsTheReadAfterTheBytesThatCame) {
  Request r("127.0.0.1", port(), "/cut/100000/40000");
  ASSERT_TRUE(r.send());
  EXPECT_EQ(r.status(), 200);
  std::string body;
  EXPECT_FALSE(r.read(body, 4096));
  EXPECT_EQ(r.readError, ERROR_INTERNET_CONNECTION_RESET);
  EXPECT_EQ(body.size(), 40000u);
  EXPECT_TRUE(body == Pattern(0, 40000));
}

TEST_F(InternetTest, BodyWithoutLengthEndsWithTheConnection) {
  Request r("127.0.0.1", port(), "/nolength/70000");
  ASSERT_TRUE(r.send());
  std::string length;
  SetLastError(0);
  EXPECT_FALSE(r.header(HTTP_QUERY_CONTENT_LENGTH, length));
  EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
  std::string body;
  ASSERT_TRUE(r.read(body, 1000)) << r.readError;
  EXPECT_TRUE(body == Pattern(0, 70000));
}

TEST_F(InternetTest, FailuresToReachTheServerHaveTheirCodes) {
  int closedPort = qorv::testing::FreeLoopbackPort();
  struct Row {
    std::string host;
    int port;
    DWORD error;
  } rows[] = {
      {"127.0.0.1", closedPort, ERROR_INTERNET_CANNOT_CONNECT},
      {"no-such-host.invalid", 80, ERROR_INTERNET_NAME_NOT_RESOLVED},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.host);
    Request r(row.host, row.port, "/");
    SetLastError(0);
    EXPECT_FALSE(r.send());
    EXPECT_EQ(GetLastError(), row.error);
    DWORD status = 0, length = sizeof status;
    EXPECT_FALSE(HttpQueryInfo(r.request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr));
    char text[256];
    DWORD textLength = sizeof text, code = 1;
    EXPECT_TRUE(InternetGetLastResponseInfo(&code, text, &textLength));
    EXPECT_GT(textLength, 0u);
  }
}

TEST_F(InternetTest, RequestLineAndHeadersAsSent) {
  struct Row {
    const char* object;
    DWORD flags;
    const char* expected;
    const char* absent;
  } rows[] = {
      {"/echo?a b&c=d/e", 0, "GET /echo?a%20b&c=d/e HTTP/1.1\r\n", nullptr},
      {"/echo", 0, "\r\nAccept: text/html, */*\r\n", "Expect:"},
      {"/echo", 0, "\r\nUser-Agent: QorvTest/1.0\r\n", "Pragma:"},
      {"/echo", INTERNET_FLAG_RELOAD, "\r\nCache-Control: no-cache\r\n", "Pragma:"},
      {"/echo", INTERNET_FLAG_PRAGMA_NOCACHE, "\r\nPragma: no-cache\r\n", "Cache-Control:"},
      {"/echo", 0, "\r\nHost: 127.0.0.1:", "Content-Type:"},
      {"/echo", INTERNET_FLAG_KEEP_CONNECTION, "\r\nX-Extra: 1\r\n", "Referer:"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.object) + " flags " + std::to_string(row.flags));
    Request r("127.0.0.1", port(), row.object, row.flags);
    ASSERT_TRUE(HttpAddRequestHeaders(r.request, "X-Extra: 1\r\n", static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD));
    ASSERT_TRUE(r.send());
    std::string body;
    ASSERT_TRUE(r.read(body));
    // The server's copy of the request.
    std::string echo = "\r\n" + body;
    EXPECT_NE(echo.find(row.expected), std::string::npos) << body;
    if (row.absent) {
      EXPECT_EQ(echo.find(std::string("\r\n") + row.absent), std::string::npos) << body;
    }
    // And the layer's own record of it.
    std::string sent;
    ASSERT_TRUE(r.header(HTTP_QUERY_RAW_HEADERS_CRLF | HTTP_QUERY_FLAG_REQUEST_HEADERS, sent));
    EXPECT_NE(("\r\n" + sent).find(row.expected), std::string::npos) << sent;
  }
}

TEST_F(InternetTest, HeaderQueriesFollowTheBufferRules) {
  Request r("127.0.0.1", port(), "/setcookie?a=1&b=2");
  char buffer[4096];
  DWORD length = sizeof buffer;
  SetLastError(0);
  EXPECT_FALSE(HttpQueryInfo(r.request, HTTP_QUERY_STATUS_CODE, buffer, &length, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  ASSERT_TRUE(r.send());

  // A buffer one byte short of the terminator.
  std::string type;
  ASSERT_TRUE(r.header(HTTP_QUERY_CONTENT_TYPE, type));
  EXPECT_EQ(type, "text/plain");
  length = static_cast<DWORD>(type.size());
  EXPECT_FALSE(HttpQueryInfo(r.request, HTTP_QUERY_CONTENT_TYPE, buffer, &length, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(length, type.size() + 1);

  // Repeated headers by index.
  std::vector<std::string> cookies;
  DWORD index = 0;
  for (int guard = 0; guard < 10; ++guard) {
    length = sizeof buffer;
    if (!HttpQueryInfo(r.request, HTTP_QUERY_SET_COOKIE, buffer, &length, &index)) break;
    cookies.emplace_back(buffer, length);
  }
  EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
  ASSERT_EQ(cookies.size(), 2u);
  EXPECT_EQ(cookies[0], "a=1; Path=/");
  EXPECT_EQ(cookies[1], "b=2; Path=/");
  EXPECT_EQ(index, 2u);

  // A header named by the caller, and the raw block.
  std::strcpy(buffer, "content-length");
  length = sizeof buffer;
  ASSERT_TRUE(HttpQueryInfo(r.request, HTTP_QUERY_CUSTOM, buffer, &length, nullptr));
  EXPECT_STREQ(buffer, "7");
  std::string raw;
  ASSERT_TRUE(r.header(HTTP_QUERY_RAW_HEADERS_CRLF, raw));
  EXPECT_EQ(raw.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << raw;
  EXPECT_EQ(raw.substr(raw.size() - 4), "\r\n\r\n");
  std::string text;
  ASSERT_TRUE(r.header(HTTP_QUERY_STATUS_TEXT, text));
  EXPECT_EQ(text, "OK");
  EXPECT_FALSE(r.header(HTTP_QUERY_ETAG, text));
  EXPECT_EQ(GetLastError(), ERROR_HTTP_HEADER_NOT_FOUND);
}

TEST_F(InternetTest, CookiesStayWithTheSessionUnlessTurnedOff) {
  struct Row {
    DWORD flags;
    bool cookieSent;
  } rows[] = {{0, true}, {INTERNET_FLAG_NO_COOKIES, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    HINTERNET session = InternetOpen("QorvTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection =
        InternetConnect(session, "127.0.0.1", static_cast<INTERNET_PORT>(port()), nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    std::string echo;
    for (const char* object : {"/setcookie?k=v", "/echo"}) {
      HINTERNET request = HttpOpenRequest(connection, "GET", object, nullptr, nullptr, kAccept, row.flags, 0);
      ASSERT_TRUE(HttpSendRequest(request, nullptr, 0, nullptr, 0));
      char buffer[4096];
      DWORD got = 0;
      echo.clear();
      while (InternetReadFile(request, buffer, sizeof buffer, &got) && got) echo.append(buffer, got);
      InternetCloseHandle(request);
    }
    EXPECT_EQ(echo.find("\nCookie: k=v") != std::string::npos, row.cookieSent) << echo;
    InternetCloseHandle(session);
  }
}

TEST_F(InternetTest, RedirectsFollowedOrReturnedAsTheFlagsSay) {
  std::string target = "/redirect/302?to=http://127.0.0.1:" + std::to_string(port()) + "/ok/10";
  struct Row {
    DWORD flags;
    int status;
    bool redirectReported;
  } rows[] = {{0, 200, true}, {INTERNET_FLAG_NO_AUTO_REDIRECT, 302, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    static std::vector<std::string> redirects;
    redirects.clear();
    Request r("127.0.0.1", port(), target, row.flags);
    InternetSetStatusCallback(r.request, [](HINTERNET, DWORD_PTR, DWORD status, void* info, DWORD length) {
      if (status == INTERNET_STATUS_REDIRECT) redirects.emplace_back(static_cast<char*>(info), length - 1);
    });
    ASSERT_TRUE(r.send());
    EXPECT_EQ(r.status(), row.status);
    if (row.redirectReported) {
      ASSERT_EQ(redirects.size(), 1u);
      EXPECT_EQ(redirects[0], "http://127.0.0.1:" + std::to_string(port()) + "/ok/10");
      std::string body;
      ASSERT_TRUE(r.read(body));
      EXPECT_EQ(body, Pattern(0, 10));
    } else {
      EXPECT_TRUE(redirects.empty());
      std::string location;
      ASSERT_TRUE(r.header(HTTP_QUERY_LOCATION, location));
      EXPECT_EQ(location, "http://127.0.0.1:" + std::to_string(port()) + "/ok/10");
    }
  }
}

TEST_F(InternetTest, StatusCallbackSeesTheStepsInOrder) {
  static std::vector<DWORD> seen;
  static std::vector<DWORD_PTR> contexts;
  seen.clear();
  contexts.clear();
  auto callback = [](HINTERNET, DWORD_PTR context, DWORD status, void*, DWORD) {
    seen.push_back(status);
    contexts.push_back(context);
  };
  HINTERNET session = InternetOpen("QorvTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  EXPECT_EQ(InternetSetStatusCallback(session, callback), nullptr);
  HINTERNET connection = InternetConnect(session, "127.0.0.1", static_cast<INTERNET_PORT>(port()), nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 7);
  for (int round = 0; round < 2; ++round) {
    HINTERNET request = HttpOpenRequest(connection, "GET", "/ok/5", nullptr, nullptr, kAccept,
                                        INTERNET_FLAG_KEEP_CONNECTION, 7);
    ASSERT_TRUE(HttpSendRequest(request, nullptr, 0, nullptr, 0));
    char buffer[16];
    DWORD got = 0;
    while (InternetReadFile(request, buffer, sizeof buffer, &got) && got) {
    }
    InternetCloseHandle(request);
  }
  InternetCloseHandle(session);
  // The steps of the first request, in order; the second reuses the kept
  // connection, so it connects no more.
  std::vector<DWORD> expected = {INTERNET_STATUS_HANDLE_CREATED,       INTERNET_STATUS_HANDLE_CREATED,
                                 INTERNET_STATUS_RESOLVING_NAME,       INTERNET_STATUS_NAME_RESOLVED,
                                 INTERNET_STATUS_CONNECTING_TO_SERVER, INTERNET_STATUS_CONNECTED_TO_SERVER,
                                 INTERNET_STATUS_SENDING_REQUEST,      INTERNET_STATUS_REQUEST_SENT,
                                 INTERNET_STATUS_RECEIVING_RESPONSE,   INTERNET_STATUS_RESPONSE_RECEIVED,
                                 INTERNET_STATUS_REQUEST_COMPLETE,     INTERNET_STATUS_HANDLE_CLOSING};
  ASSERT_GE(seen.size(), expected.size());
  EXPECT_EQ(std::vector<DWORD>(seen.begin(), seen.begin() + static_cast<long>(expected.size())), expected);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), INTERNET_STATUS_CONNECTED_TO_SERVER), 1);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), INTERNET_STATUS_REQUEST_SENT), 2);
  // The kept connection was never closed while a request had it, and
  // closing the session after both requests closes it without a word.
  EXPECT_EQ(std::count(seen.begin(), seen.end(), INTERNET_STATUS_CLOSING_CONNECTION), 0);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), INTERNET_STATUS_CONNECTION_CLOSED), 0);
  // The connection's and requests' context; the session has none.
  ASSERT_EQ(seen.back(), INTERNET_STATUS_HANDLE_CLOSING);
  EXPECT_EQ(contexts.back(), 0u);
  for (std::size_t i = 0; i + 1 < contexts.size(); ++i) EXPECT_EQ(contexts[i], 7u) << "event " << i;
}

TEST_F(InternetTest, ConnectionIsClosedAfterTheAnswerWithoutKeepConnection) {
  struct Row {
    DWORD flags;
    long connects;
    long closes;
  } rows[] = {{INTERNET_FLAG_KEEP_CONNECTION, 1, 0}, {0, 2, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    static long connects, closing, closed;
    connects = closing = closed = 0;
    HINTERNET session = InternetOpen("QorvTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    InternetSetStatusCallback(session, [](HINTERNET, DWORD_PTR, DWORD status, void*, DWORD) {
      if (status == INTERNET_STATUS_CONNECTED_TO_SERVER) ++connects;
      if (status == INTERNET_STATUS_CLOSING_CONNECTION) ++closing;
      if (status == INTERNET_STATUS_CONNECTION_CLOSED) ++closed;
    });
    HINTERNET connection = InternetConnect(session, "127.0.0.1", static_cast<INTERNET_PORT>(port()), nullptr, nullptr,
                                           INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequest(connection, "GET", "/ok/5", nullptr, nullptr, kAccept, row.flags, 0);
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(HttpSendRequest(request, nullptr, 0, nullptr, 0));
      char buffer[16];
      DWORD got = 0;
      while (InternetReadFile(request, buffer, sizeof buffer, &got) && got) {
      }
    }
    EXPECT_EQ(connects, row.connects);
    EXPECT_EQ(closing, row.closes);
    EXPECT_EQ(closed, row.closes);
    InternetCloseHandle(session);
    EXPECT_EQ(closing, row.closes) << "after the session was closed";
  }
}

// The close of a connection after its answer, and the close of an
// unfinished one by a resend, each reach the request's callback once, after
// the answer and with the request's context.
TEST_F(InternetTest, ConnectionCloseIsReportedToItsRequest) {
  struct Event {
    HINTERNET handle;
    DWORD_PTR context;
    DWORD status;
    DWORD length;
  };
  static std::vector<Event> seen;
  struct Row {
    const char* object;
    DWORD flags;
    DWORD firstRead;  // bytes of the answer read before a resend; 0: all of it, no resend
  } rows[] = {{"/ok/5", 0, 0}, {"/ok/300000", 0, 0}, {"/ok/300000", INTERNET_FLAG_KEEP_CONNECTION, 16}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.object) + " flags " + std::to_string(row.flags) + " read " +
                 std::to_string(row.firstRead));
    seen.clear();
    HINTERNET session = InternetOpen("QorvTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(session, nullptr);
    DWORD timeout = 5000;
    InternetSetOption(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetStatusCallback(session, [](HINTERNET h, DWORD_PTR context, DWORD status, void* info, DWORD length) {
      if (status == INTERNET_STATUS_CLOSING_CONNECTION || status == INTERNET_STATUS_CONNECTION_CLOSED) {
        EXPECT_EQ(info, nullptr);
      }
      seen.push_back({h, context, status, length});
    });
    HINTERNET connection = InternetConnect(session, "127.0.0.1", static_cast<INTERNET_PORT>(port()), nullptr,
                                           nullptr, INTERNET_SERVICE_HTTP, 0, 3);
    HINTERNET request = HttpOpenRequest(connection, "GET", row.object, nullptr, nullptr, kAccept, row.flags, 9);
    ASSERT_TRUE(HttpSendRequest(request, nullptr, 0, nullptr, 0));
    std::vector<char> buffer(4096);
    DWORD got = 0;
    if (row.firstRead) {
      ASSERT_TRUE(InternetReadFile(request, buffer.data(), row.firstRead, &got));
    } else {
      for (int guard = 0; guard < 1000 && InternetReadFile(request, buffer.data(), 4096, &got) && got; ++guard) {
      }
    }
    std::size_t afterFirst = seen.size();
    if (row.firstRead) {
      // A resend drops the unread rest of the body, and with it the
      // connection; the new send opens another.
      ASSERT_TRUE(HttpSendRequest(request, nullptr, 0, nullptr, 0));
    }
    InternetCloseHandle(request);
    InternetCloseHandle(session);

    auto position = [&](DWORD status, std::size_t from = 0) {
      for (std::size_t i = from; i < seen.size(); ++i) {
        if (seen[i].status == status) return i;
      }
      return seen.size();
    };
    std::size_t received = position(INTERNET_STATUS_RESPONSE_RECEIVED);
    std::size_t closing = position(INTERNET_STATUS_CLOSING_CONNECTION);
    ASSERT_LT(closing + 1, seen.size());
    EXPECT_LT(received, closing);
    EXPECT_EQ(seen[closing + 1].status, INTERNET_STATUS_CONNECTION_CLOSED);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const Event& e) { return e.status == INTERNET_STATUS_CLOSING_CONNECTION; }),
              1);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(),
                            [](const Event& e) { return e.status == INTERNET_STATUS_CONNECTION_CLOSED; }),
              1);
    for (std::size_t i : {closing, closing + 1}) {
      EXPECT_EQ(seen[i].handle, request);
      EXPECT_EQ(seen[i].context, 9u);
      EXPECT_EQ(seen[i].length, 0u);
    }
    if (row.firstRead) {
      // Reported as the resend starts, before it connects again.
      EXPECT_GE(closing, afterFirst);
      EXPECT_LT(closing, position(INTERNET_STATUS_CONNECTING_TO_SERVER, afterFirst));
    } else {
      // Before the request's handle closes.
      EXPECT_LT(closing + 1, position(INTERNET_STATUS_HANDLE_CLOSING));
    }
  }
}

TEST_F(InternetTest, ClosingTheSessionClosesItsChildren) {
  Request r("127.0.0.1", port(), "/ok/5");
  ASSERT_TRUE(r.send());
  ASSERT_TRUE(InternetCloseHandle(r.session));
  for (HINTERNET h : {r.request, r.connection, r.session}) {
    DWORD value = 0, length = sizeof value;
    SetLastError(0);
    EXPECT_FALSE(InternetQueryOption(h, INTERNET_OPTION_HANDLE_TYPE, &value, &length));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
  EXPECT_FALSE(InternetCloseHandle(r.request));
  r.session = r.connection = r.request = nullptr;
}

TEST_F(InternetTest, StallBeyondTheReceiveTimeoutFails) {
  struct Row {
    const char* object;
    bool sendFails;
  } rows[] = {{"/slow/4000", true}, {"/stall/100/10/4000", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.object);
    Request r("127.0.0.1", port(), row.object);
    DWORD timeout = 400;
    ASSERT_TRUE(InternetSetOption(r.request, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout));
    SetLastError(0);
    if (row.sendFails) {
      EXPECT_FALSE(r.send());
      EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    } else {
      ASSERT_TRUE(r.send());
      std::string body;
      EXPECT_FALSE(r.read(body));
      EXPECT_EQ(r.readError, ERROR_INTERNET_TIMEOUT);
      EXPECT_EQ(body, Pattern(0, 10));
    }
  }
}

TEST_F(InternetTest, CloseFromAnotherThreadCancelsABlockedRead) {
  Request r("127.0.0.1", port(), "/stall/100/10/20000");
  ASSERT_TRUE(r.send());
  char buffer[64];
  DWORD got = 0;
  ASSERT_TRUE(InternetReadFile(r.request, buffer, sizeof buffer, &got));
  ASSERT_EQ(got, 10u);
  HINTERNET request = r.request;
  std::promise<std::pair<BOOL, DWORD>> result;
  auto future = result.get_future();
  std::thread reader([&] {
    char more[64];
    DWORD n = 0;
    BOOL ok = InternetReadFile(request, more, sizeof more, &n);
    result.set_value({ok, GetLastError()});
  });
  std::this_thread::sleep_for(200ms);  // lets the reader block
  EXPECT_EQ(future.wait_for(0ms), std::future_status::timeout);
  EXPECT_TRUE(InternetCloseHandle(r.request));
  ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
  reader.join();
  auto [ok, error] = future.get();
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, ERROR_INTERNET_OPERATION_CANCELLED);
}

struct KillJob {
  int port;
  std::atomic<bool> blocked{false};
  std::atomic<bool> unwound{false};
  std::atomic<bool> returned{false};
  HINTERNET session = nullptr;
};

DWORD BlockedReader(void* parameter) {
  auto& job = *static_cast<KillJob*>(parameter);
  struct Unwound {
    KillJob& job;
    ~Unwound() { job.unwound = true; }
  } marker{job};
  Request r("127.0.0.1", job.port, "/stall/100/10/20000");
  job.session = r.session;
  if (!r.send()) return 1;
  char buffer[64];
  DWORD got = 0;
  InternetReadFile(r.request, buffer, sizeof buffer, &got);
  job.blocked = true;
  InternetReadFile(r.request, buffer, sizeof buffer, &got);
  job.returned = true;  // not reached: the kill unwinds from the read
  return 0;
}

TEST_F(InternetTest, KilledThreadLeavesItsBlockedReadAtOnce) {
  KillJob job;
  job.port = port();
  HANDLE thread = CreateThread(nullptr, 0, BlockedReader, &job, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!job.blocked && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(job.blocked);
  std::this_thread::sleep_for(200ms);  // the second read is waiting now
  EXPECT_FALSE(job.unwound);
  ASSERT_TRUE(TerminateThread(thread, 3));
  deadline = std::chrono::steady_clock::now() + 5s;
  while (!job.unwound && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(job.unwound);
  EXPECT_FALSE(job.returned);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 3u);
  CloseHandle(thread);
}

TEST_F(InternetTest, UploadBodyGoesOutInBlocks) {
  Request r("127.0.0.1", port(), "/echo", INTERNET_FLAG_KEEP_CONNECTION, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
            "POST");
  std::string body = Pattern(3, 10000);
  INTERNET_BUFFERS in{};
  in.dwStructSize = sizeof in;
  const char* headers = "Content-Type: application/octet-stream\r\n";
  in.lpcszHeader = headers;
  in.dwHeadersLength = in.dwHeadersTotal = static_cast<DWORD>(std::strlen(headers));
  in.dwBufferTotal = static_cast<DWORD>(body.size());
  ASSERT_TRUE(HttpSendRequestEx(r.request, &in, nullptr, HSR_INITIATE, 0)) << GetLastError();
  for (std::size_t at = 0; at < body.size(); at += 1000) {
    DWORD written = 0;
    ASSERT_TRUE(InternetWriteFile(r.request, body.data() + at, 1000, &written));
    EXPECT_EQ(written, 1000u);
  }
  ASSERT_TRUE(HttpEndRequest(r.request, nullptr, 0, 0)) << GetLastError();
  EXPECT_EQ(r.status(), 200);
  std::string echo;
  ASSERT_TRUE(r.read(echo));
  EXPECT_EQ(echo.rfind("POST /echo HTTP/1.1\r\n", 0), 0u) << echo.substr(0, 200);
  EXPECT_NE(echo.find("\r\nContent-Length: 10000\r\n"), std::string::npos);
  EXPECT_NE(echo.find("\r\nContent-Type: application/octet-stream\r\n"), std::string::npos);
  ASSERT_GE(echo.size(), body.size());
  EXPECT_TRUE(echo.substr(echo.size() - body.size()) == body);
}

TEST_F(InternetTest, PostWithFormBody) {
  Request r("127.0.0.1", port(), "/echo", INTERNET_FLAG_KEEP_CONNECTION, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
            "POST");
  const char* type = "Content-Type: application/x-www-form-urlencoded";
  std::string form = "a=1&b=2";
  ASSERT_TRUE(HttpSendRequest(r.request, type, static_cast<DWORD>(std::strlen(type)), form.data(),
                              static_cast<DWORD>(form.size())));
  std::string echo;
  ASSERT_TRUE(r.read(echo));
  EXPECT_NE(echo.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << echo;
  EXPECT_EQ(echo.substr(echo.size() - form.size()), form);
}

// Proxy choice by access type, with the environment pointing at a proxy.
TEST_F(InternetTest, ProxyByAccessTypeAndItsLogin) {
  ServerProcess proxy({"--proxy-user", "puser", "--proxy-password", "ppass"});
  ASSERT_TRUE(proxy.ok()) << proxy.error();
  ScopedEnv env;
  std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.port());
  env.set("http_proxy", proxyUrl.c_str());
  env.set("no_proxy", nullptr);
  env.set("NO_PROXY", nullptr);
  std::string proxyText = "127.0.0.1:" + std::to_string(proxy.port());
  struct Row {
    DWORD access;
    const char* bypass;
    bool viaProxy;
  } rows[] = {
      {INTERNET_OPEN_TYPE_DIRECT, nullptr, false},
      {INTERNET_OPEN_TYPE_PRECONFIG, nullptr, true},
      {INTERNET_OPEN_TYPE_PROXY, "", true},
      {INTERNET_OPEN_TYPE_PROXY, "127.0.0.1;", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("access " + std::to_string(row.access) + " bypass " + (row.bypass ? row.bypass : "-"));
    Request r("127.0.0.1", port(), "/ok/3", INTERNET_FLAG_KEEP_CONNECTION, row.access,
              row.access == INTERNET_OPEN_TYPE_PROXY ? proxyText.c_str() : nullptr, row.bypass);
    ASSERT_TRUE(r.send()) << GetLastError();
    if (!row.viaProxy) {
      EXPECT_EQ(r.status(), 200);
      char name[64] = "X-Qorv-Proxy";
      DWORD nameLength = sizeof name;
      EXPECT_FALSE(HttpQueryInfo(r.request, HTTP_QUERY_CUSTOM, name, &nameLength, nullptr));
      continue;
    }
    ASSERT_EQ(r.status(), 407);
    std::string challenge;
    ASSERT_TRUE(r.header(HTTP_QUERY_PROXY_AUTHENTICATE, challenge));
    EXPECT_EQ(challenge, "Basic realm=\"Qorv proxy\"");
    ASSERT_TRUE(InternetSetOption(r.request, INTERNET_OPTION_PROXY_USERNAME, "puser", 5));
    ASSERT_TRUE(InternetSetOption(r.request, INTERNET_OPTION_PROXY_PASSWORD, "ppass", 5));
    ASSERT_TRUE(r.send());
    EXPECT_EQ(r.status(), 200);
    char buffer[64] = "X-Qorv-Proxy";
    DWORD length = sizeof buffer;
    ASSERT_TRUE(HttpQueryInfo(r.request, HTTP_QUERY_CUSTOM, buffer, &length, nullptr));
    EXPECT_STREQ(buffer, "1");
    std::string body;
    ASSERT_TRUE(r.read(body));
    EXPECT_EQ(body, "012");
  }
}

TEST(InternetTls, SelfSignedCertificateNeedsTheIgnoreFlags) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  ASSERT_TRUE(MakeSelfSignedCertificate(dir, "localhost"));
  ServerProcess server({"--tls", dir.file("cert.pem"), dir.file("key.pem")});
  ASSERT_TRUE(server.ok()) << server.error();
  struct Row {
    const char* host;
    DWORD flags;
    DWORD security;
    DWORD error;  // 0: the page arrives
  } rows[] = {
      {"localhost", 0, 0, ERROR_INTERNET_INVALID_CA},
      {"localhost", 0, SECURITY_FLAG_IGNORE_UNKNOWN_CA, 0},
      {"127.0.0.1", 0, SECURITY_FLAG_IGNORE_UNKNOWN_CA, ERROR_INTERNET_SEC_CERT_CN_INVALID},
      {"127.0.0.1", INTERNET_FLAG_IGNORE_CERT_CN_INVALID, SECURITY_FLAG_IGNORE_UNKNOWN_CA, 0},
      {"localhost", INTERNET_FLAG_IGNORE_CERT_DATE_INVALID, 0, ERROR_INTERNET_INVALID_CA},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.host) + " flags " + std::to_string(row.flags) + " security " +
                 std::to_string(row.security));
    Request r(row.host, server.port(), "/ok/20", INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION | row.flags);
    if (row.security) {
      ASSERT_TRUE(InternetSetOption(r.request, INTERNET_OPTION_SECURITY_FLAGS, &row.security, sizeof row.security));
    }
    SetLastError(0);
    BOOL sent = r.send();
    if (row.error) {
      EXPECT_FALSE(sent);
      EXPECT_EQ(GetLastError(), row.error);
      continue;
    }
    ASSERT_TRUE(sent) << GetLastError();
    EXPECT_EQ(r.status(), 200);
    std::string body;
    ASSERT_TRUE(r.read(body));
    EXPECT_EQ(body, Pattern(0, 20));
  }
}

TEST(InternetTls, RedirectDownToHttpNeedsItsFlag) {
  TempDir dir;
  ASSERT_TRUE(MakeSelfSignedCertificate(dir, "localhost"));
  ServerProcess secure({"--tls", dir.file("cert.pem"), dir.file("key.pem")});
  ServerProcess plain;
  ASSERT_TRUE(secure.ok()) << secure.error();
  ASSERT_TRUE(plain.ok()) << plain.error();
  std::string object = "/redirect/302?to=http://127.0.0.1:" + std::to_string(plain.port()) + "/ok/5";
  struct Row {
    DWORD flags;
    DWORD error;
  } rows[] = {{0, ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR}, {INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.flags);
    Request r("localhost", secure.port(), object, INTERNET_FLAG_SECURE | INTERNET_FLAG_KEEP_CONNECTION | row.flags);
    DWORD security = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    ASSERT_TRUE(InternetSetOption(r.request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security));
    SetLastError(0);
    BOOL sent = r.send();
    if (row.error) {
      EXPECT_FALSE(sent);
      EXPECT_EQ(GetLastError(), row.error);
      continue;
    }
    ASSERT_TRUE(sent) << GetLastError();
    EXPECT_EQ(r.status(), 200);
    std::string body;
    ASSERT_TRUE(r.read(body));
    EXPECT_EQ(body, "01234");
  }
}

TEST(InternetNginx, RealServerRangesDatesAndLogin) {
  TempDir root;
  ASSERT_TRUE(root.write("files/app.bin", Pattern(0, 5000)));
  ASSERT_TRUE(root.write("private/secret.txt", "inner\n"));
  NginxProcess nginx(root.path());
  ASSERT_TRUE(nginx.ok()) << nginx.error();
  struct Row {
    const char* object;
    const char* headers;
    const char* user;
    int status;
    std::string body;
  } rows[] = {
      {"/files/app.bin", nullptr, nullptr, 200, Pattern(0, 5000)},
      {"/files/app.bin", "Range: bytes=4000-\r\n", nullptr, 206, Pattern(4000, 1000)},
      {"/files/app.bin", "Range: bytes=5000-\r\n", nullptr, 416, ""},
      {"/files/missing.bin", nullptr, nullptr, 404, ""},
      {"/private/secret.txt", nullptr, nullptr, 401, ""},
      {"/private/secret.txt", nullptr, "secret", 200, "inner\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.object) + " " + (row.headers ? row.headers : ""));
    Request r("127.0.0.1", nginx.port(), row.object);
    if (row.headers) {
      ASSERT_TRUE(HttpAddRequestHeaders(r.request, row.headers, static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD));
    }
    if (row.user) {
      ASSERT_TRUE(InternetSetOption(r.request, INTERNET_OPTION_USERNAME, "user", 4));
      ASSERT_TRUE(InternetSetOption(r.request, INTERNET_OPTION_PASSWORD, row.user, std::strlen(row.user)));
    }
    ASSERT_TRUE(r.send()) << GetLastError();
    EXPECT_EQ(r.status(), row.status);
    std::string body;
    ASSERT_TRUE(r.read(body));
    if (row.status == 200 || row.status == 206) {
      EXPECT_EQ(body, row.body);
      std::string modified;
      EXPECT_TRUE(r.header(HTTP_QUERY_LAST_MODIFIED, modified));
      EXPECT_NE(modified.find(" GMT"), std::string::npos);
    }
    if (row.status == 401) {
      std::string challenge;
      ASSERT_TRUE(r.header(HTTP_QUERY_WWW_AUTHENTICATE, challenge));
      EXPECT_EQ(challenge, "Basic realm=\"Qorv nginx\"");
    }
  }
}

TEST(InternetOffline, OfflineSessionAnswersNothing) {
  HINTERNET session = InternetOpen("QorvTest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_OFFLINE);
  HINTERNET connection = InternetConnect(session, "127.0.0.1", 1, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequest(connection, "GET", "/", nullptr, nullptr, kAccept, 0, 0);
  SetLastError(0);
  EXPECT_FALSE(HttpSendRequest(request, nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  DWORD state = 0, length = sizeof state;
  ASSERT_TRUE(InternetQueryOption(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &length));
  EXPECT_EQ(state & INTERNET_STATE_DISCONNECTED_BY_USER, 0u);
  InternetCloseHandle(session);
}

}  // namespace
}  // namespace qorv::platform
