// The HTTP component against real servers on loopback: the scripted fault
// server as a child process, and real files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/system/Files.h"
#include "tests/servers/ServerProcess.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/auHTTP.h"

namespace qorv {
namespace {

using namespace platform;
using qorv::testing::ServerProcess;
using qorv::testing::MakeSelfSignedCertificate;
using qorv::testing::TempDir;
using transfertest::Pattern;
using transfertest::PumpFor;
using transfertest::PumpUntil;
using transfertest::Recorder;
using transfertest::Watchdog;
using Names = std::vector<std::string>;

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& name, const std::string& content) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << content;
}

// Answers one request on loopback with Response, after Delay. For replies
// the fault server does not script.
class OneShotServer {
public:
  OneShotServer(std::string response, std::chrono::milliseconds delay)
      : response_(std::move(response)), delay_(delay) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ >= 0 && bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(listener_, 1) == 0 && getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
      port_ = ntohs(address.sin_port);
    if (port_ != 0) thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }
  int port() const { return port_; }

private:
  void Serve() {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 10000) != 1) return;
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos) {
      pollfd readable{client, POLLIN, 0};
      if (poll(&readable, 1, 10000) != 1) break;
      const ssize_t got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, static_cast<std::size_t>(got));
    }
    std::this_thread::sleep_for(delay_);
    (void)send(client, response_.data(), response_.size(), MSG_NOSIGNAL);
    close(client);
  }

  std::string response_;
  std::chrono::milliseconds delay_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

class HTTPTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { server = new ServerProcess(); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    InitMessageLoop();
    ASSERT_TRUE(server->ok()) << server->error();
    http = new TauCustomHTTP(nullptr);
    http->Proxy()->AccessType = atDirect;
    recorder = std::make_unique<Recorder>(*http);
  }
  void TearDown() override {
    recorder.reset();
    if (http) http->Free();
  }
  // Starts URL and waits until its outcome is in and the output released.
  void Run(const std::string& url, std::uint32_t start = 0) {
    http->URL = url;
    ASSERT_TRUE(http->StartTransferRange(start, 0, false));
    ASSERT_TRUE(PumpUntil(dog, [&] { return recorder->Settled(); })) << "no outcome for " << url;
  }
  bool OnMain() const { return GetCurrentThreadId() == MainThreadID(); }

  static ServerProcess* server;
  Watchdog dog;
  TempDir dir;
  TauCustomHTTP* http = nullptr;
  std::unique_ptr<Recorder> recorder;
};

ServerProcess* HTTPTest::server = nullptr;

TEST(HTTPSettings, NewComponentHasTheDefaults) {
  TauCustomHTTP http(nullptr);
  EXPECT_EQ(http.AcceptTypes, "text/html, */*");
  EXPECT_EQ(http.TransferBufferSize(), 4096U);
  EXPECT_EQ(http.Proxy()->ProxyPort, 8080);
  EXPECT_EQ(http.Proxy()->ProxyBypass, "127.0.0.1;");
  EXPECT_EQ(http.Proxy()->AccessType, atPreconfig);
  EXPECT_TRUE(http.CacheOptions == (TauCacheOptions{coReloadIfNoExpireInformation, coReloadUpdatedObjects,
                                                     coCreateTempFilesIfCantCache}));
  EXPECT_TRUE(http.InternetOptions == TauInternetOptions{ioKeepConnection});
  EXPECT_TRUE(http.OutputFileAttributes()->Complete() == TauFileAttributes{TauFileAttribute::atrArchive});
  EXPECT_TRUE(http.OutputFileAttributes()->Incomplete() ==
              (TauFileAttributes{TauFileAttribute::atrArchive, TauFileAttribute::atrTemporary}));
  EXPECT_EQ(http.ThreadPriority(), tpNormal);
  http.SetTransferBufferSize(10);
  EXPECT_EQ(http.TransferBufferSize(), kMinBufferSize);
}

TEST(HTTPSettings, ProxyAssignWithoutSourceRestoresDefaults) {
  TauHTTPProxy proxy;
  proxy.AccessType = atUseProxy;
  proxy.ProxyServer = "proxy.example";
  proxy.ProxyPort = 3128;
  proxy.ProxyBypass = "";
  proxy.ProxyUsername = "u";
  proxy.ProxyPassword = "p";
  EXPECT_TRUE(proxy.IsProxyServerStored());
  TauHTTPProxy copy;
  copy.Assign(&proxy);
  EXPECT_EQ(copy.ProxyServer, "proxy.example");
  EXPECT_EQ(copy.ProxyPort, 3128);
  proxy.Assign(nullptr);
  EXPECT_EQ(proxy.AccessType, atPreconfig);
  EXPECT_EQ(proxy.ProxyPort, 8080);
  EXPECT_EQ(proxy.ProxyBypass, "127.0.0.1;");
  EXPECT_EQ(proxy.ProxyServer, "");
  EXPECT_EQ(proxy.ProxyUsername, "");
  EXPECT_FALSE(proxy.IsProxyServerStored());
  TauHTTPRange range;
  EXPECT_THROW(proxy.Assign(&range), EConvertError);
}

class CountingAttributes : public TauOutputFileAttributes {
public:
  int changes = 0;

protected:
  void Changed() override { ++changes; }
};

TEST(HTTPSettings, AttributesAnnounceOnlyRealChanges) {
  CountingAttributes attributes;
  attributes.SetComplete(TauFileAttributes{TauFileAttribute::atrArchive});
  EXPECT_EQ(attributes.changes, 0);
  attributes.SetComplete(TauFileAttributes{TauFileAttribute::atrReadOnly});
  EXPECT_EQ(attributes.changes, 1);
}

TEST(HTTPLogin, RecordIsScrambledWithItsLength) {
  const std::string record = TauLoginComponent::EncodeLoginInfo("ab", "");
  const auto key = static_cast<unsigned char>(3 ^ LoginInfoKey);
  ASSERT_EQ(record.size(), 4U);
  EXPECT_EQ(static_cast<unsigned char>(record[0]), 3);
  EXPECT_EQ(static_cast<unsigned char>(record[1]), 2 ^ key);
  EXPECT_EQ(static_cast<unsigned char>(record[2]), 'a' ^ key);
  EXPECT_EQ(static_cast<unsigned char>(record[3]), 'b' ^ key);

  struct Row {
    std::string user, password, expectedUser, expectedPassword;
  };
  const Row rows[] = {{"user", "secret", "user", "secret"},
                      {"", "pw", "", "pw"},
                      {std::string(100, 'u'), std::string(50, 'p'), std::string(100, 'u'), std::string(26, 'p')},
                      {std::string(200, 'u'), "p", std::string(126, 'u'), ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.user.size());
    std::string user, password;
    ASSERT_TRUE(TauLoginComponent::DecodeLoginInfo(TauLoginComponent::EncodeLoginInfo(row.user, row.password), user,
                                                   password));
    EXPECT_EQ(user, row.expectedUser);
    EXPECT_EQ(password, row.expectedPassword);
  }
  const std::string malformed[] = {std::string(), std::string("\x05\x01", 2), std::string("\x02\x7f\x00", 3)};
  for (const std::string& bad : malformed) {
    std::string user = "kept", password = "kept";
    EXPECT_FALSE(TauLoginComponent::DecodeLoginInfo(bad, user, password));
    EXPECT_EQ(user, "kept");
  }
}

TEST(HTTPUrl, HostAndFileNames) {
  struct Row {
    std::string url, host, file;
  };
  const Row rows[] = {{"http://example.com/dir/file.zip", "example.com", "file.zip"},
                      {"example.com/app.exe", "example.com", "app.exe"},
                      {"http://example.com/dir/", "example.com", ""},
                      {"https://h.example:8443/a/b.txt?x=1/y", "h.example", "b.txt"},
                      {"http://u:p@host/x", "host", "x"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.url);
    TauCustomHTTP http(nullptr);
    http.URL = row.url;
    EXPECT_EQ(http.GetURLHostName(), row.host);
    EXPECT_EQ(http.GetURLFileName(), row.file);
  }
}

TEST(HTTPUrl, ExtraInfoIsPercentEncoded) {
  struct Row {
    std::string in, out;
  };
  const Row rows[] = {{"?a b&c=d/e", "?a%20b&c=d/e"}, {"?x=1#frag", "?x=1%23frag"}, {"?p=50%+*<>", "?p=50%25%2B%2A%3C%3E"},
                      {std::string("?\x01\xC3", 3), "?%01%C3"}, {"", ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(EncodeURLExtra(row.in), row.out);
  }
  EXPECT_STREQ(StatusText(21), "Connected");
  EXPECT_STREQ(StatusText(999), "Unknown status");
}

TEST_F(HTTPTest, OkIntoMemoryGivesTheStreamAtZero) {
  Run(server->url("/ok/1000"));
  EXPECT_EQ(recorder->Names(), (Names{"OnHeadersReceived", "OnDownloadProgress", "OnDone"}));
  EXPECT_TRUE(recorder->doneHadStream);
  EXPECT_EQ(recorder->donePosition, 0);
  EXPECT_EQ(recorder->doneSize, 1000U);
  EXPECT_EQ(recorder->body, Pattern(0, 1000));
  EXPECT_EQ(recorder->eTag, "\"qorv-1000\"");
  EXPECT_NE(recorder->lastModified, 0.0);
}

TEST_F(HTTPTest, OkIntoFileReportsProgressAndEndsComplete) {
  const std::string file = dir.file("out.bin");
  http->OutputFileName = file;
  Run(server->url("/ok/100000"));
  EXPECT_EQ(recorder->Names(), (Names{"OnHeadersReceived", "OnDownloadProgress", "OnDone"}));
  EXPECT_FALSE(recorder->doneHadStream) << "a file transfer hands no stream to OnDone";
  EXPECT_EQ(recorder->doneSize, 100000U);
  EXPECT_EQ(ReadFile(file), Pattern(0, 100000));
  const DWORD attributes = GetFileAttributes(file.c_str());
  EXPECT_NE(attributes & FILE_ATTRIBUTE_ARCHIVE, 0U);
  EXPECT_EQ(attributes & FILE_ATTRIBUTE_TEMPORARY, 0U);
  ASSERT_GE(recorder->progress.size(), 100000U / 4096U);
  DWORD previous = 0;
  for (const auto& p : recorder->progress) {
    EXPECT_EQ(p.total, 100000U);
    EXPECT_GT(p.read, previous);
    EXPECT_LE(p.read - previous, 4096U) << "one block per event";
    EXPECT_TRUE(p.hadStream);
    EXPECT_EQ(p.percent, CalcPercent(100000, p.read));
    previous = p.read;
  }
  EXPECT_EQ(recorder->progress.back().read, 100000U);
  EXPECT_EQ(recorder->progress.back().percent, 100);
}

TEST_F(HTTPTest, NotFoundGivesTheErrorPageAndLeavesNoFile) {
  const std::string file = dir.file("missing.bin");
  http->OutputFileName = file;
  Run(server->url("/nothing-here"));
  EXPECT_EQ(recorder->Names(),
            (Names{"OnHeadersReceived", "OnDownloadProgress", "OnHTTPError", "OnTransferFailed"}));
  EXPECT_NE(recorder->body.find("404 Not Found"), std::string::npos);
  EXPECT_FALSE(FileExists(file));
  EXPECT_EQ(http->StatusCode(), 404);
}

TEST_F(HTTPTest, UnauthorizedWithoutHandlerIsAnHTTPError) {
  Run(server->url("/auth"));
  EXPECT_EQ(recorder->Names(),
            (Names{"OnHeadersReceived", "OnDownloadProgress", "OnHTTPError", "OnTransferFailed"}));
  EXPECT_EQ(http->StatusCode(), 401);
  EXPECT_NE(recorder->body.find("401 Unauthorized"), std::string::npos);
}

TEST_F(HTTPTest, UnauthorizedAnsweredWithCredentialsIsResent) {
  std::vector<std::string> realms;
  http->OnAuthenticationRequest = TauHTTPPasswordRequestEvent(nullptr, [&](TObject*, const std::string& realm,
                                                                           bool& tryAgain) {
    EXPECT_TRUE(OnMain());
    realms.push_back(realm);
    // The first answer is wrong, so the server asks again.
    http->HTTPUsername = "user";
    http->HTTPPassword = realms.size() == 1 ? "wrong" : "secret";
    tryAgain = true;
  });
  Run(server->url("/auth"));
  EXPECT_EQ(realms, (std::vector<std::string>{"Qorv test", "Qorv test"}));
  EXPECT_EQ(recorder->Names(), (Names{"OnHeadersReceived", "OnDownloadProgress", "OnDone"}));
  EXPECT_EQ(recorder->body, "welcome\n");
}

TEST_F(HTTPTest, ResumeAppendsToTheFile) {
  const std::string file = dir.file("resume.bin");
  WriteFile(file, Pattern(0, 50000));
  http->OutputFileName = file;
  Run(server->url("/range/100000"), 40000);
  EXPECT_EQ(recorder->Names(), (Names{"OnHeadersReceived", "OnDownloadProgress", "OnDone"}));
  EXPECT_EQ(recorder->doneSize, 100000U);
  EXPECT_EQ(ReadFile(file), Pattern(0, 100000));
  EXPECT_EQ(recorder->progress.front().total, 100000U) << "progress includes the start position";
}

TEST_F(HTTPTest, ResumeWhoseFirstBlockDiffersStartsOver) {
  const std::string file = dir.file("differs.bin");
  WriteFile(file, std::string(50000, 'X'));
  http->OutputFileName = file;
  Run(server->url("/range/100000"), 40000);
  EXPECT_EQ(recorder->Count("OnDone"), 1);
  EXPECT_EQ(recorder->Count("OnTransferFailed"), 0);
  EXPECT_EQ(recorder->doneSize, 100000U);
  EXPECT_EQ(ReadFile(file), Pattern(0, 100000));
}

TEST_F(HTTPTest, ServerIgnoringTheRangeGivesTheWholeBody) {
  const std::string file = dir.file("ignored.bin");
  WriteFile(file, Pattern(0, 50000));
  http->OutputFileName = file;
  Run(server->url("/ignore-range/100000"), 40000);
  EXPECT_EQ(recorder->Count("OnDone"), 1);
  EXPECT_EQ(recorder->doneSize, 100000U);
  EXPECT_EQ(http->StartPos(), 0U);
  EXPECT_EQ(ReadFile(file), Pattern(0, 100000));
}

TEST_F(HTTPTest, ResumeAtTheExactEndIsDoneWithoutData) {
  const std::string file = dir.file("complete.bin");
  WriteFile(file, Pattern(0, 100000));
  http->OutputFileName = file;
  Run(server->url("/range/100000"), 100000);
  EXPECT_EQ(recorder->Names(), (Names{"OnTransferFailed", "OnDoneWithoutData"}));
  EXPECT_EQ(ReadFile(file), Pattern(0, 100000));
}

TEST_F(HTTPTest, HiddenReadOnlyOutputIsOpenedAndEndsWithTheCompleteAttributes) {
  struct Row {
    const char* name;
    std::uint32_t start;
  };
  for (const Row row : {Row{"new", 0}, Row{"resumed", 40000}}) {
    SCOPED_TRACE(row.name);
    const std::string file = dir.file(std::string("locked-") + row.name + ".bin");
    WriteFile(file, Pattern(0, 50000));
    ASSERT_TRUE(SetFileAttributes(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    recorder = std::make_unique<Recorder>(*http);
    http->OutputFileName = file;
    Run(server->url("/range/100000"), row.start);
    EXPECT_EQ(recorder->Count("OnDone"), 1);
    EXPECT_EQ(ReadFile(file), Pattern(0, 100000));
    EXPECT_EQ(GetFileAttributes(file.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  }
}

TEST_F(HTTPTest, ResumeBeyondAShorterResourceStartsOver) {
  // 416, and the resource is not as long as the start position: the file
  // is fetched again from byte 0.
  const std::string file = dir.file("longer.bin");
  WriteFile(file, std::string(150000, 'X'));
  http->OutputFileName = file;
  Run(server->url("/range/100000"), 150000);
  EXPECT_EQ(recorder->Names(), (Names{"OnHeadersReceived", "OnDownloadProgress", "OnDone"}));
  EXPECT_EQ(recorder->doneSize, 100000U);
  EXPECT_EQ(http->StartPos(), 0U);
  EXPECT_EQ(ReadFile(file), Pattern(0, 100000));
}

TEST_F(HTTPTest, BodyCutShortKeepsThePartialFileIncomplete) {
  const std::string file = dir.file("cut.bin");
  http->OutputFileName = file;
  Run(server->url("/cut/100000/30000"));
  EXPECT_EQ(recorder->Names(), (Names{"OnHeadersReceived", "OnDownloadProgress", "OnTransferIncomplete",
                                      "OnTransferFailed"}));
  EXPECT_EQ(recorder->Events().back().name, "OnTransferFailed");
  ASSERT_TRUE(FileExists(file));
  EXPECT_EQ(ReadFile(file), Pattern(0, 30000));
  EXPECT_NE(GetFileAttributes(file.c_str()) & FILE_ATTRIBUTE_TEMPORARY, 0U);
  for (const auto& e : recorder->Events()) {
    if (e.name == "OnTransferIncomplete") {
      EXPECT_EQ(e.args, "100000 30000");
    }
  }
}

TEST_F(HTTPTest, NoContentLengthSucceedsByStatus) {
  Run(server->url("/nolength/5000"));
  EXPECT_EQ(recorder->Count("OnDone"), 1);
  EXPECT_EQ(recorder->body, Pattern(0, 5000));
  ASSERT_FALSE(recorder->progress.empty());
  for (const auto& p : recorder->progress) {
    EXPECT_EQ(p.percent, 0);
    EXPECT_EQ(p.left, -static_cast<std::int32_t>(p.elapsed));
  }
}

TEST_F(HTTPTest, EstimateForAHugeAnnouncedLengthStaysInRange) {
  // One byte of four gigabytes after two seconds: the estimate is far
  // beyond what the figure holds and is reported as its largest value.
  OneShotServer slow("HTTP/1.1 200 OK\r\nContent-Length: 4294967295\r\nConnection: close\r\n\r\nx",
                     std::chrono::milliseconds(2100));
  ASSERT_NE(slow.port(), 0);
  Run("http://127.0.0.1:" + std::to_string(slow.port()) + "/huge");
  ASSERT_FALSE(recorder->progress.empty());
  const auto& first = recorder->progress.front();
  EXPECT_EQ(first.read, 1U);
  ASSERT_GE(first.elapsed, 2U);
  EXPECT_EQ(first.left, INT32_MAX) << "elapsed " << first.elapsed;
  EXPECT_EQ(recorder->Count("OnTransferIncomplete"), 1);
}

TEST_F(HTTPTest, RefusedConnectionIsNoResponse) {
  const int port = qorv::testing::FreeLoopbackPort();
  Run("http://127.0.0.1:" + std::to_string(port) + "/ok/10");
  EXPECT_EQ(recorder->Names(), (Names{"OnNoResponse", "OnTransferFailed"}));
}

TEST_F(HTTPTest, FileURLs) {
  const std::string source = dir.file("source.txt");
  WriteFile(source, Pattern(3, 9000));
  Run("file://" + source);
  EXPECT_EQ(recorder->Names(), (Names{"OnDownloadProgress", "OnDone"}));
  EXPECT_EQ(recorder->body, Pattern(3, 9000));

  recorder = std::make_unique<Recorder>(*http);
  Run("file://" + dir.file("absent.txt"));
  EXPECT_EQ(recorder->Names(), (Names{"OnHTTPError", "OnTransferFailed"}));
  EXPECT_EQ(recorder->Events()[0].args, "404");
  EXPECT_TRUE(recorder->body.empty());
}

TEST_F(HTTPTest, ClearedContinueDownloadSkipsTheTransfer) {
  const std::string file = dir.file("skipped.bin");
  http->OutputFileName = file;
  recorder->continueDownloadAnswer = false;
  Run(server->url("/ok/5000"));
  EXPECT_EQ(recorder->Names(), (Names{"OnHeadersReceived", "OnTransferSkipped"}));
  EXPECT_FALSE(FileExists(file));
}

TEST_F(HTTPTest, SpaceInTheQueryIsSentEscaped) {
  Run(server->url("/echo?a b&c=d/e"));
  ASSERT_EQ(recorder->Count("OnDone"), 1);
  EXPECT_EQ(recorder->body.rfind("GET /echo?a%20b&c=d/e HTTP/1.1", 0), 0U) << recorder->body;
}

TEST_F(HTTPTest, MainEventsOnMainAndLibraryEventsOnTheWorker) {
  Run(server->url("/redirect/302?to=/ok/10"));
  ASSERT_EQ(recorder->Count("OnDone"), 1);
  EXPECT_EQ(recorder->body, Pattern(0, 10));
  EXPECT_GE(recorder->Count("OnRedirect"), 1);
  EXPECT_GE(recorder->Count("OnStatusChange"), 1);
  // Library notifications come on the thread that makes the call: the
  // worker during the transfer; the handles that the finishing step closes
  // on the main thread report their closing there.
  bool outcome = false;
  for (const auto& e : recorder->Events()) {
    SCOPED_TRACE(e.name);
    if (e.name == "OnStatusChange") {
      const bool closing = e.args.rfind("70 ", 0) == 0 || e.args.rfind("50 ", 0) == 0 || e.args.rfind("51 ", 0) == 0;
      if (!outcome && !closing) {
        EXPECT_FALSE(e.onMain) << e.args;
      }
    } else if (e.name == "OnRedirect") {
      EXPECT_FALSE(e.onMain);
    } else {
      EXPECT_TRUE(e.onMain);
    }
    outcome = outcome || e.name == "OnDone";
  }
}

TEST_F(HTTPTest, SecondStartWhileBusyIsRefusedAndTheNextStartsFromOnDone) {
  int starts = 0;
  recorder->onDone = [&] {
    if (++starts > 1) return;
    EXPECT_FALSE(http->StartTransfer(false)) << "the first output is not released yet";
    http->ReleaseOutput();
    http->URL = server->url("/ok/20");
    EXPECT_TRUE(http->StartTransfer(false));
  };
  http->URL = server->url("/slow/300");
  ASSERT_TRUE(http->StartTransfer(false));
  EXPECT_FALSE(http->StartTransfer(false));
  ASSERT_TRUE(PumpUntil(dog, [&] { return recorder->Count("OnDone") == 2 && !http->Busy() && !http->Running(); }));
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(recorder->body, Pattern(0, 20)) << "the second transfer's own data";
  EXPECT_EQ(recorder->Count("OnTransferFailed"), 0);
  EXPECT_EQ(recorder->Count("OnHeadersReceived"), 2);
}

TEST_F(HTTPTest, SoftAbortFiresAbortedOnceAndNothingAfter) {
  const std::string file = dir.file("soft.bin");
  http->OutputFileName = file;
  recorder->onProgress = [&](const Recorder::ProgressFigures&) { http->AbortTransfer(true, false); };
  http->URL = server->url("/ok/200000");
  ASSERT_TRUE(http->StartTransfer(false));
  ASSERT_TRUE(PumpUntil(dog, [&] { return recorder->Finished(); }));
  PumpFor(std::chrono::milliseconds(200));
  const auto names = recorder->Names();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "OnTransferAborted");
  EXPECT_EQ(recorder->Count("OnTransferAborted"), 1);
  EXPECT_EQ(recorder->Count("OnDone"), 0);
  EXPECT_FALSE(http->Busy());
  EXPECT_FALSE(FileExists(file)) << "the output was to be deleted";
}

TEST_F(HTTPTest, SoftAbortRightAfterTheStartIsStillReported) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    recorder = std::make_unique<Recorder>(*http);
    http->URL = server->url("/ok/50000");
    ASSERT_TRUE(http->StartTransfer(false));
    http->AbortTransfer(false, false);
    // A soft abort leaves the ended worker reporting Running until the
    // next start, so only the outcome and the release are awaited.
    ASSERT_TRUE(PumpUntil(dog, [&] { return recorder->Finished() && !http->Busy(); }))
        << "the abort was lost; busy " << http->Busy();
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(recorder->Names(), (Names{"OnTransferAborted"}));
  }
}

TEST_F(HTTPTest, ImmediateAbortReturnsWhileTheServerStalls) {
  const std::string file = dir.file("stalled.bin");
  http->OutputFileName = file;
  http->URL = server->url("/stall/100000/1000/30000");
  ASSERT_TRUE(http->StartTransfer(false));
  ASSERT_TRUE(PumpUntil(dog, [&] { return !recorder->progress.empty(); }));
  PumpFor(std::chrono::milliseconds(100));
  const auto before = std::chrono::steady_clock::now();
  http->AbortTransfer(true, true);
  // Bounded well below the server's stall, not a speed measurement.
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
  EXPECT_EQ(recorder->Count("OnTransferAborted"), 1) << "fired before the call returns";
  PumpFor(std::chrono::milliseconds(200));
  EXPECT_EQ(recorder->Names().back(), "OnTransferAborted");
  EXPECT_EQ(recorder->Count("OnTransferAborted"), 1);
  EXPECT_FALSE(http->Busy());
  EXPECT_FALSE(FileExists(file));
  // The component is usable again.
  http->OutputFileName.clear();
  recorder = std::make_unique<Recorder>(*http);
  Run(server->url("/ok/10"));
  EXPECT_EQ(recorder->body, Pattern(0, 10));
}

TEST_F(HTTPTest, ExceptionInTheTransferBodyIsNotASuccess) {
  // OnBeforeSendRequest runs on the worker, directly inside the transfer;
  // what it raises ends the transfer before anything was sent.
  http->OnBeforeSendRequest =
      TauHTTPRequestEvent(nullptr, [](TObject*, HINTERNET) { throw std::runtime_error("handler failed"); });
  Run(server->url("/ok/100"));
  EXPECT_EQ(recorder->Names(), (Names{"OnTransferFailed", "OnNoResponse", "OnTransferFailed"}));
  EXPECT_EQ(recorder->Count("OnDoneWithoutData"), 0);
  EXPECT_EQ(recorder->Count("OnDone"), 0);
}

TEST_F(HTTPTest, ComponentThatNeverRanLeavesNoThreadBehind) {
  auto threads = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                         std::filesystem::directory_iterator());
  };
  const auto before = threads();
  for (int i = 0; i < 4; ++i) (new TauCustomHTTP(nullptr))->Free();
  // The threads end on their own after the components are gone.
  EXPECT_TRUE(PumpUntil(dog, [&] { return threads() <= before; }, std::chrono::milliseconds(3000)))
      << threads() - before << " threads left";
}

TEST_F(HTTPTest, WaitingStartReturnsAfterTheOutcome) {
  http->URL = server->url("/ok/300");
  EXPECT_TRUE(http->StartTransfer(true));
  EXPECT_EQ(recorder->Count("OnDone"), 1) << "events are delivered during the wait";
  EXPECT_EQ(recorder->body, Pattern(0, 300));
}

TEST_F(HTTPTest, DestroyingMidTransferFiresNothing) {
  http->URL = server->url("/stall/100000/1000/30000");
  ASSERT_TRUE(http->StartTransfer(false));
  ASSERT_TRUE(PumpUntil(dog, [&] { return !recorder->progress.empty(); }));
  auto* doomed = http;
  http = nullptr;
  const int before = static_cast<int>(recorder->Events().size());
  doomed->Free();
  PumpFor(std::chrono::milliseconds(100));
  const auto events = recorder->Events();
  for (std::size_t i = static_cast<std::size_t>(before); i < events.size(); ++i)
    ADD_FAILURE() << "after destruction: " << events[i].name << " " << events[i].args << " main " << events[i].onMain;
}

TEST_F(HTTPTest, PostDataAndUploadBodiesReachTheServer) {
  http->PostData = "a=1&b=2";
  Run(server->url("/echo"));
  ASSERT_EQ(recorder->Count("OnDone"), 1);
  EXPECT_EQ(recorder->body.rfind("POST /echo HTTP/1.1", 0), 0U) << recorder->body;
  EXPECT_NE(recorder->body.find("Content-Type: application/x-www-form-urlencoded"), std::string::npos);
  EXPECT_EQ(recorder->body.substr(recorder->body.size() - 7), "a=1&b=2");

  http->PostData.clear();
  http->UploadHeaders = "Content-Type: text/plain\r\n";
  recorder = std::make_unique<Recorder>(*http);
  int uploads = 0;
  http->OnUploadProgress = TauHTTPUploadProgressEvent(
      nullptr, [&](TObject*, DWORD total, DWORD sent, DWORD, std::int32_t, std::uint8_t, float) {
        EXPECT_EQ(total, 6000U);
        EXPECT_LE(sent, total);
        ++uploads;
      });
  auto* body = new TMemoryStream;
  const std::string text = Pattern(7, 6000);
  body->WriteBuffer(text.data(), static_cast<std::int32_t>(text.size()));
  http->URL = server->url("/echo");
  ASSERT_TRUE(http->StartUpload(body, false));
  ASSERT_TRUE(PumpUntil(dog, [&] { return recorder->Settled(); }));
  ASSERT_EQ(recorder->Count("OnDone"), 1);
  EXPECT_EQ(recorder->body.rfind("POST /echo HTTP/1.1", 0), 0U);
  EXPECT_EQ(recorder->body.substr(recorder->body.size() - text.size()), text);
  EXPECT_GE(uploads, 2);
}

// The proxy and TLS cases need servers of their own.

TEST_F(HTTPTest, ProxyAskingForItsLoginIsAnswered) {
  ServerProcess proxy({"--proxy-user", "pu", "--proxy-password", "pp"});
  ASSERT_TRUE(proxy.ok()) << proxy.error();
  http->Proxy()->AccessType = atUseProxy;
  http->Proxy()->ProxyServer = "127.0.0.1";
  http->Proxy()->ProxyPort = proxy.port();
  http->Proxy()->ProxyBypass = "";
  int asked = 0;
  http->OnProxyAuthenticationRequest = TauHTTPProxyAuthenticationEvent(
      nullptr, [&](TObject*, std::string& user, std::string& password, bool& tryAgain) {
        EXPECT_TRUE(OnMain());
        ++asked;
        user = "pu";
        password = "pp";
        tryAgain = true;
      });
  Run(server->url("/ok/64"));
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(recorder->Count("OnDone"), 1);
  EXPECT_EQ(recorder->body, Pattern(0, 64));
  EXPECT_NE(recorder->rawHeaders.find("X-Qorv-Proxy: 1"), std::string::npos);
}

TEST_F(HTTPTest, DirectIgnoresTheProxyEnvironmentAndPreconfigHonoursIt) {
  ServerProcess proxy;
  ASSERT_TRUE(proxy.ok()) << proxy.error();
  struct Row {
    TauHTTPAccessType access;
    bool viaProxy;
  };
  const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.port());
  setenv("http_proxy", proxyUrl.c_str(), 1);
  setenv("HTTP_PROXY", proxyUrl.c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
  for (const Row row : {Row{atDirect, false}, Row{atPreconfig, true}}) {
    SCOPED_TRACE(row.access);
    recorder = std::make_unique<Recorder>(*http);
    http->Proxy()->AccessType = row.access;
    Run(server->url("/ok/32"));
    ASSERT_EQ(recorder->Count("OnDone"), 1);
    EXPECT_EQ(recorder->rawHeaders.find("X-Qorv-Proxy: 1") != std::string::npos, row.viaProxy);
  }
  unsetenv("http_proxy");
  unsetenv("HTTP_PROXY");
}

TEST_F(HTTPTest, SelfSignedCertificateNeedsTheOptionThatCoversIt) {
  const std::string cert = dir.file("cert.pem");
  const std::string key = dir.file("key.pem");
  ASSERT_TRUE(MakeSelfSignedCertificate(dir, "127.0.0.1")) << "openssl could not make a certificate";
  ServerProcess tls({"--tls", cert, key});
  ASSERT_TRUE(tls.ok()) << tls.error();
  struct Row {
    TauInternetOptions options;
    const char* outcome;
  };
  const Row rows[] = {{TauInternetOptions{ioKeepConnection}, "OnNoResponse"},
                      {TauInternetOptions{ioKeepConnection, ioIgnoreUnknownCertificateAuthority}, "OnDone"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.outcome);
    recorder = std::make_unique<Recorder>(*http);
    http->InternetOptions = row.options;
    Run(tls.url("/ok/100", "https"));
    EXPECT_EQ(recorder->Count(row.outcome), 1);
  }
  EXPECT_EQ(recorder->body, Pattern(0, 100));
}

}  // namespace
}  // namespace qorv
