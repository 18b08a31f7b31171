#include "platform/internet/InternetUrl.h"

#include <cctype>
#include <vector>

namespace qorv::platform::internet {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool WildcardMatch(std::string_view pattern, std::string_view text) {
  // Iterative match with backtracking to the last '*'.
  std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = t;
    } else if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(text[t]))) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string_view> SplitList(std::string_view text) {
  std::vector<std::string_view> items;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ';' || text[i] == ',' || text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < text.size() && !(text[i] == ';' || text[i] == ',' || text[i] == ' ' || text[i] == '\t')) ++i;
    if (i > start) items.push_back(text.substr(start, i - start));
  }
  return items;
}

}  // namespace

bool SplitUrl(std::string_view url, UrlParts& parts) {
  parts = UrlParts{};
  std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(url[i]);
    if (!(std::isalnum(c) || c == '+' || c == '-' || c == '.')) return false;
  }
  parts.scheme = std::string(url.substr(0, colon));
  std::string_view rest = url.substr(colon + 1);
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    std::size_t end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
      std::string_view login = authority.substr(0, at);
      authority.remove_prefix(at + 1);
      std::size_t sep = login.find(':');
      parts.user = std::string(login.substr(0, sep));
      if (sep != std::string_view::npos) parts.password = std::string(login.substr(sep + 1));
    }
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
      std::size_t close = authority.find(']');
      if (close == std::string_view::npos) return false;
      parts.host = std::string(authority.substr(1, close - 1));
      std::string_view after = authority.substr(close + 1);
      if (!after.empty()) {
        if (after.front() != ':') return false;
        portText = after.substr(1);
      }
    } else {
      std::size_t sep = authority.rfind(':');
      parts.host = std::string(authority.substr(0, sep));
      if (sep != std::string_view::npos) portText = authority.substr(sep + 1);
    }
    if (!portText.empty()) {
      long port = 0;
      for (char c : portText) {
        if (c < '0' || c > '9') return false;
        port = port * 10 + (c - '0');
        if (port > 65535) return false;
      }
      parts.port = static_cast<int>(port);
    }
  }
  std::size_t extra = rest.find_first_of("?#");
  parts.path = std::string(rest.substr(0, extra));
  if (extra != std::string_view::npos) parts.extra = std::string(rest.substr(extra));
  return true;
}

std::string DecodeEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string EncodeRequestTarget(std::string_view target) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(target.size());
  for (std::size_t i = 0; i < target.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(target[i]);
    bool keep = c > 0x20 && c < 0x7F;
    switch (c) {
      case '"': case '<': case '>': case '\\': case '^': case '`':
      case '{': case '|': case '}': case '#':
        keep = false;
        break;
      case '%':
        keep = i + 2 < target.size() && HexValue(target[i + 1]) >= 0 && HexValue(target[i + 2]) >= 0;
        break;
      default:
        break;
    }
    if (keep) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    }
  }
  return out;
}

bool HostInBypassList(std::string_view host, std::string_view bypassList) {
  for (std::string_view entry : SplitList(bypassList)) {
    if (entry == "<local>") {
      if (host.find('.') == std::string_view::npos && host.find(':') == std::string_view::npos) return true;
      continue;
    }
    if (WildcardMatch(entry, host)) return true;
  }
  return false;
}

std::string ProxyForScheme(std::string_view proxyText, std::string_view scheme) {
  std::string fallback;
  for (std::string_view entry : SplitList(proxyText)) {
    std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) {
      if (fallback.empty()) fallback = std::string(entry);
      continue;
    }
    std::string_view name = entry.substr(0, eq);
    if (name.size() == scheme.size()) {
      bool same = true;
      for (std::size_t i = 0; i < name.size(); ++i) same = same && Lower(name[i]) == Lower(scheme[i]);
      if (same) return std::string(entry.substr(eq + 1));
    }
  }
  return fallback;
}

}  // namespace qorv::platform::internet
