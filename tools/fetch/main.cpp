// qorv-fetch: a diagnostic tool that drives TauCustomHTTP for one URL and
// prints one line per event, the event's name first, then its arguments.
//
//   qorv-fetch [-o FILE] [--start N] [-u USER] [-p PASSWORD]
//              [--proxy HOST:PORT] [--block-size N] [--post DATA] URL
//
// It runs the layer's message loop on its main thread and needs no display.
// The exit code is 0 only when the outcome is OnDone, 1 for any other
// outcome, 2 for a wrong command line. A login given with -u/-p answers one
// 401 (and -u/-p also answer one 407 of the proxy); a second request for a
// login is left unanswered, so that a wrong password ends the run.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/messages/Messages.h"
#include "transfer/auHTTP.h"

namespace {

using namespace qorv;
using namespace qorv::platform;

std::mutex g_output;

void Line(const std::string& name, const std::string& args = {}) {
  std::lock_guard lock(g_output);
  std::cout << name;
  if (!args.empty()) std::cout << ' ' << args;
  std::cout << std::endl;
}

// Texts are quoted so that a line splits unambiguously at blanks.
std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out + "\"";
}

int Usage(const char* message) {
  std::cerr << "qorv-fetch: " << message << "\n"
            << "usage: qorv-fetch [-o FILE] [--start N] [-u USER] [-p PASSWORD] [--proxy HOST:PORT]\n"
            << "                  [--block-size N] [--post DATA] URL\n";
  return 2;
}

bool ParseNumber(const std::string& text, std::uint32_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10) return false;
  const unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
  if (n > 0xFFFFFFFFULL) return false;
  value = static_cast<std::uint32_t>(n);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string url, output, user, password, proxy, post;
  std::uint32_t start = 0;
  std::uint32_t blockSize = 0;
  bool havePost = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "-o") {
      if (!value(output)) return Usage("-o needs a file name");
    } else if (arg == "--start") {
      if (!value(text) || !ParseNumber(text, start)) return Usage("--start needs a byte position");
    } else if (arg == "-u") {
      if (!value(user)) return Usage("-u needs a user name");
    } else if (arg == "-p") {
      if (!value(password)) return Usage("-p needs a password");
    } else if (arg == "--proxy") {
      if (!value(proxy) || proxy.find(':') == std::string::npos) return Usage("--proxy needs HOST:PORT");
    } else if (arg == "--block-size") {
      if (!value(text) || !ParseNumber(text, blockSize) || blockSize < kMinBufferSize)
        return Usage("--block-size needs a number of at least 255");
    } else if (arg == "--post") {
      if (!value(post)) return Usage("--post needs data");
      havePost = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage(("unknown option " + arg).c_str());
    } else if (url.empty()) {
      url = arg;
    } else {
      return Usage("only one URL");
    }
  }
  if (url.empty()) return Usage("no URL");

  InitMessageLoop();
  auto* http = new TauCustomHTTP(nullptr);
  http->URL = url;
  http->OutputFileName = output;
  http->HTTPUsername = user;
  http->HTTPPassword = password;
  if (havePost) http->PostData = post;
  if (blockSize != 0) http->SetTransferBufferSize(blockSize);
  if (!proxy.empty()) {
    const std::size_t colon = proxy.rfind(':');
    std::uint32_t port = 0;
    if (!ParseNumber(proxy.substr(colon + 1), port) || port == 0 || port > 65535)
      return Usage("--proxy needs HOST:PORT");
    http->Proxy()->AccessType = atUseProxy;
    http->Proxy()->ProxyServer = proxy.substr(0, colon);
    http->Proxy()->ProxyPort = static_cast<std::int32_t>(port);
    http->Proxy()->ProxyBypass.clear();
  }

  bool finished = false;
  bool done = false;
  auto outcome = [&](bool success) {
    finished = true;
    done = success;
  };
  int loginRounds = 0;
  int proxyRounds = 0;

  http->OnStatusChange = TauHTTPStatusEvent(nullptr, [](TObject*, DWORD code, const std::string& text) {
    Line("OnStatusChange", std::to_string(code) + " " + Quote(text));
  });
  http->OnRedirect = TauHTTPRedirectEvent(nullptr, [](TObject*, const std::string& to) { Line("OnRedirect", Quote(to)); });
  http->OnHeadersReceived = TauHTTPHeadersEvent(
      nullptr, [](TObject*, std::int32_t status, const std::string&, const std::string& type, const std::string&,
                  const std::string&, DWORD length, const std::string& location, TDateTime, TDateTime modified,
                  TDateTime, const std::string& etag, bool&) {
        std::ostringstream s;
        s << status << ' ' << Quote(type) << ' ' << length << ' ' << Quote(location) << ' ' << modified << ' '
          << Quote(etag);
        Line("OnHeadersReceived", s.str());
      });
  http->OnDownloadProgress = TauHTTPProgressEvent(
      nullptr, [](TObject*, const std::string&, DWORD total, DWORD read, DWORD elapsed, std::int32_t left,
                  std::uint8_t percent, float rate, TStream*) {
        std::ostringstream s;
        s << total << ' ' << read << ' ' << elapsed << ' ' << left << ' ' << static_cast<int>(percent) << ' ' << rate;
        Line("OnDownloadProgress", s.str());
      });
  http->OnAuthenticationRequest =
      TauHTTPPasswordRequestEvent(nullptr, [&](TObject*, const std::string& realm, bool& tryAgain) {
        Line("OnAuthenticationRequest", Quote(realm));
        tryAgain = !user.empty() && ++loginRounds == 1;
      });
  http->OnProxyAuthenticationRequest = TauHTTPProxyAuthenticationEvent(
      nullptr, [&](TObject*, std::string& proxyUser, std::string& proxyPassword, bool& tryAgain) {
        Line("OnProxyAuthenticationRequest");
        proxyUser = user;
        proxyPassword = password;
        tryAgain = !user.empty() && ++proxyRounds == 1;
      });
  http->OnDone = TauHTTPDoneEvent(nullptr, [&](TObject*, const std::string& type, DWORD size, TStream* data) {
    Line("OnDone", Quote(type) + " " + std::to_string(size));
    if (data != nullptr && output.empty()) {
      // The body goes to stderr, so that stdout keeps one line per event.
      std::string body(static_cast<std::size_t>(data->Size()), '\0');
      if (!body.empty()) data->Read(body.data(), static_cast<std::int32_t>(body.size()));
      std::cerr << body;
    }
    outcome(true);
  });
  http->OnTransferIncomplete =
      TauHTTPIncompleteEvent(nullptr, [&](TObject*, const std::string& type, DWORD total, DWORD read, TStream*) {
        Line("OnTransferIncomplete", Quote(type) + " " + std::to_string(total) + " " + std::to_string(read));
        outcome(false);
      });
  http->OnNoResponse = TNotifyEvent(nullptr, [&](TObject*) {
    Line("OnNoResponse");
    outcome(false);
  });
  http->OnHTTPError = TauHTTPErrorEvent(nullptr, [&](TObject*, std::int32_t status, TStream* data) {
    Line("OnHTTPError", std::to_string(status) + " " + std::to_string(data != nullptr ? data->Size() : 0));
    outcome(false);
  });
  http->OnDoneWithoutData = TNotifyEvent(nullptr, [&](TObject*) {
    Line("OnDoneWithoutData");
    outcome(false);
  });
  http->OnTransferFailed = TNotifyEvent(nullptr, [](TObject*) { Line("OnTransferFailed"); });
  http->OnTransferSkipped = TNotifyEvent(nullptr, [&](TObject*) {
    Line("OnTransferSkipped");
    outcome(false);
  });
  http->OnTransferAborted = TNotifyEvent(nullptr, [&](TObject*) {
    Line("OnTransferAborted");
    outcome(false);
  });

  if (!http->StartTransferRange(start, 0, false)) {
    Line("StartTransfer", "refused");
    http->Free();
    return 1;
  }
  // The outcome arrives inside the finishing step; the run is over once
  // the worker has left it too.
  while (!(finished && !http->Running())) {
    MsgWaitForMultipleObjects(0, nullptr, 0, 50, QS_ALLINPUT);
    ProcessMessages();
  }
  http->Free();
  return done ? 0 : 1;
}
