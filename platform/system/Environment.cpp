#include "platform/system/Environment.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qorv::platform {

namespace {

// True when Path is a real folder (no symbolic link at its last name)
// owned by us with mode 0700.
bool isPrivateFolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
                  (st.st_mode & 07777) == 0700;
  ::close(fd);
  return ok;
}

bool isFolder(const char* path) {
  struct stat st {};
  return path != nullptr && *path == '/' && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string withSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

}  // namespace

std::string GetTempPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime == '/' && isPrivateFolder(runtime)) return withSlash(runtime);

  const char* tmpdir = std::getenv("TMPDIR");
  std::string base = isFolder(tmpdir) ? std::string(tmpdir) : std::string("/tmp");
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  std::string folder = base;
  if (folder != "/") folder.push_back('/');
  folder.append("qorv-");
  folder.append(std::to_string(::geteuid()));
  if (::mkdir(folder.c_str(), 0700) == 0) {
    // The umask may have taken bits away; the folder must be usable.
    ::chmod(folder.c_str(), 0700);
  } else if (errno != EEXIST) {
    SetLastErrorFromErrno(errno);
    return {};
  }
  if (!isPrivateFolder(folder)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return {};
  }
  return withSlash(folder);
}

DWORD GetTempPath(DWORD size, char* buffer) {
  const std::string path = GetTempPath();
  if (path.empty()) return 0;
  if (buffer == nullptr || path.size() + 1 > size) return static_cast<DWORD>(path.size() + 1);
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

namespace {

struct TerritoryId {
  const char* name;  // language_TERRITORY
  LANGID id;
};

// Full ids of the languages of the message catalogue with their usual
// territories, and a few others.
constexpr TerritoryId kTerritories[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"en_SG", 0x4809},
    {"ru_RU", 0x0419}, {"ru_UA", 0x0819},
    {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de_LI", 0x1407},
    {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C},
    {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_GT", 0x100A}, {"es_CR", 0x140A}, {"es_PA", 0x180A},
    {"es_DO", 0x1C0A}, {"es_VE", 0x200A}, {"es_CO", 0x240A}, {"es_PE", 0x280A}, {"es_AR", 0x2C0A},
    {"es_EC", 0x300A}, {"es_CL", 0x340A}, {"es_UY", 0x380A}, {"es_PY", 0x3C0A}, {"es_BO", 0x400A},
    {"es_US", 0x540A},
    {"pt_BR", 0x0416}, {"pt_PT", 0x0816},
    {"it_IT", 0x0410}, {"it_CH", 0x0810},
    {"nl_NL", 0x0413}, {"nl_BE", 0x0813},
    {"da_DK", 0x0406},
    {"sv_SE", 0x041D}, {"sv_FI", 0x081D},
    {"fi_FI", 0x040B},
    {"et_EE", 0x0425},
    {"uk_UA", 0x0422},
    {"pl_PL", 0x0415},
    {"cs_CZ", 0x0405},
    {"hu_HU", 0x040E},
    {"ro_RO", 0x0418}, {"ro_MD", 0x0818},
    {"ca_ES", 0x0403},
    {"eu_ES", 0x042D},
    {"af_ZA", 0x0436},
    {"zh_TW", 0x0404}, {"zh_CN", 0x0804}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"zh_MO", 0x1404},
    {"id_ID", 0x0421},
    {"ms_MY", 0x043E}, {"ms_BN", 0x083E},
    {"is_IS", 0x040F},
    {"tr_TR", 0x041F},
    {"nb_NO", 0x0414}, {"no_NO", 0x0414}, {"nn_NO", 0x0814},
    {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"hr_HR", 0x041A}, {"hr_BA", 0x101A},
    {"sr_RS", 0x281A}, {"sr_ME", 0x301A}, {"el_GR", 0x0408}, {"he_IL", 0x040D},
    {"ar_SA", 0x0401}, {"ar_EG", 0x0C01}, {"bg_BG", 0x0402}, {"sk_SK", 0x041B}, {"sl_SI", 0x0424},
    {"lt_LT", 0x0427}, {"lv_LV", 0x0426}, {"th_TH", 0x041E}, {"vi_VN", 0x042A}, {"hi_IN", 0x0439},
    {"fa_IR", 0x0429}, {"sq_AL", 0x041C}, {"be_BY", 0x0423}, {"mk_MK", 0x042F}, {"gl_ES", 0x0456},
    {"cy_GB", 0x0452}, {"ga_IE", 0x083C}, {"ka_GE", 0x0437}, {"hy_AM", 0x042B}, {"kk_KZ", 0x043F},
};

struct LanguageId {
  const char* code;
  LANGID id;  // the id for the language alone
};

constexpr LanguageId kLanguages[] = {
    {"en", 0x0409}, {"ru", 0x0419}, {"de", 0x0407}, {"fr", 0x040C}, {"es", 0x0C0A}, {"pt", 0x0416},
    {"it", 0x0410}, {"nl", 0x0413}, {"da", 0x0406}, {"sv", 0x041D}, {"fi", 0x040B}, {"et", 0x0425},
    {"uk", 0x0422}, {"pl", 0x0415}, {"cs", 0x0405}, {"hu", 0x040E}, {"ro", 0x0418}, {"ca", 0x0403},
    {"eu", 0x042D}, {"af", 0x0436}, {"zh", 0x0804}, {"id", 0x0421}, {"ms", 0x043E}, {"is", 0x040F},
    {"tr", 0x041F}, {"nb", 0x0414}, {"no", 0x0414}, {"nn", 0x0814}, {"ja", 0x0411}, {"ko", 0x0412},
    {"hr", 0x041A}, {"sr", 0x0C1A}, {"el", 0x0408}, {"he", 0x040D}, {"ar", 0x0401}, {"bg", 0x0402},
    {"sk", 0x041B}, {"sl", 0x0424}, {"lt", 0x0427}, {"lv", 0x0426}, {"th", 0x041E}, {"vi", 0x042A},
    {"hi", 0x0439}, {"fa", 0x0429}, {"sq", 0x041C}, {"be", 0x0423}, {"mk", 0x042F}, {"gl", 0x0456},
    {"cy", 0x0452}, {"ga", 0x083C}, {"ka", 0x0437}, {"hy", 0x042B}, {"kk", 0x043F},
};

std::string readLangFromFile(const char* path) {
  FILE* file = std::fopen(path, "re");
  if (file == nullptr) return {};
  char line[512];
  std::string result;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::string_view text(line);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (text.substr(0, 5) != "LANG=") continue;
    text.remove_prefix(5);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
      text = text.substr(1, text.size() - 2);
    }
    result.assign(text.data(), text.size());
  }
  std::fclose(file);
  return result;
}

}  // namespace

LANGID LangIdFromLocaleName(std::string_view name) {
  const auto cut = name.find_first_of(".@");
  if (cut != std::string_view::npos) name = name.substr(0, cut);
  if (name.empty() || name == "C" || name == "POSIX") return LANG_ENGLISH_US;
  std::string language;
  std::string territory;
  const auto sep = name.find_first_of("_-");
  for (char c : name.substr(0, sep)) language.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
  if (sep != std::string_view::npos) {
    for (char c : name.substr(sep + 1)) territory.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
  }
  if (!territory.empty()) {
    const std::string full = language + "_" + territory;
    for (const TerritoryId& entry : kTerritories) {
      if (full == entry.name) return entry.id;
    }
  }
  for (const LanguageId& entry : kLanguages) {
    if (language == entry.code) return entry.id;
  }
  return LANG_ENGLISH_US;
}

LANGID GetSystemDefaultLangID() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LangIdFromLocaleName(value);
  }
  for (const char* path : {"/etc/default/locale", "/etc/locale.conf"}) {
    const std::string value = readLangFromFile(path);
    if (!value.empty()) return LangIdFromLocaleName(value);
  }
  return LANG_ENGLISH_US;
}

std::string GetHostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) {
    SetLastErrorFromErrno(errno);
    return {};
  }
  return name;
}

std::vector<std::string> ResolveHostIPv4Addresses(const std::string& name) {
  std::vector<std::string> result;
  struct addrinfo hints {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* list = nullptr;
  if (name.empty() || ::getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return result;
  }
  for (const struct addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    struct sockaddr_in address {};
    std::memcpy(&address, entry->ai_addr, sizeof address);
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) continue;
    if (std::find(result.begin(), result.end(), text) == result.end()) result.emplace_back(text);
  }
  ::freeaddrinfo(list);
  return result;
}

std::vector<std::string> LocalHostIPv4Addresses() {
  std::vector<std::string> result;
  struct ifaddrs* list = nullptr;
  if (::getifaddrs(&list) == 0) {
    for (const struct ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
      if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
      if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
      struct sockaddr_in address {};
      std::memcpy(&address, entry->ifa_addr, sizeof address);
      char text[INET_ADDRSTRLEN] = {};
      if (::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) == nullptr) continue;
      if (std::find(result.begin(), result.end(), text) == result.end()) result.emplace_back(text);
    }
    ::freeifaddrs(list);
  }
  if (result.empty()) result.emplace_back("127.0.0.1");
  return result;
}

}  // namespace qorv::platform
