// URL text helpers of the internet area, shared by its sources and its tests.
//
// Pure functions on byte strings; any thread. They never fail by exception:
// a text that is not a URL comes back as a failed split.
#pragma once

#include <string>
#include <string_view>

namespace qorv::platform::internet {

struct UrlParts {
  std::string scheme;
  std::string host;
  int port = 0;  // 0: none given
  std::string user;
  std::string password;
  std::string path;   // up to "?" or "#"
  std::string extra;  // "?" or "#" and the rest
};

// Splits Url into its parts, undecoded. False when there is no scheme.
bool SplitUrl(std::string_view url, UrlParts& parts);

// %xx escapes replaced by their bytes; a "%" without two hex digits stays.
std::string DecodeEscapes(std::string_view text);

// The request target as it may travel in a request line: bytes that are not
// allowed there are %-escaped, escapes already present are kept.
std::string EncodeRequestTarget(std::string_view target);

// Whether Host is named by a bypass list of the original system's form
// ("127.0.0.1;*.example.com;<local>", entries separated by ';', ',' or
// blanks, '*' matching any run of characters, case ignored).
bool HostInBypassList(std::string_view host, std::string_view bypassList);

// The proxy of a proxy text for Scheme ("http" or "https"): the entry
// "scheme=host:port" for that scheme, else the first entry without "=";
// empty when there is none.
std::string ProxyForScheme(std::string_view proxyText, std::string_view scheme);

}  // namespace qorv::platform::internet
