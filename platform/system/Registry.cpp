#include "platform/system/Registry.h"

#include "platform/system/Process.h"

#include <gio/gio.h>
#include <glib.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace qorv::platform {

struct RegistryKey {
  std::uintptr_t root;
  std::vector<std::string> path;
};

namespace {

struct Value {
  DWORD type = REG_NONE;
  std::string data;
};

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

bool equalNoCase(std::string_view a, std::string_view b) { return lower(a) == lower(b); }

std::uintptr_t rootId(HKEY key) { return reinterpret_cast<std::uintptr_t>(key); }
bool isPredefined(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

std::vector<std::string> splitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto end = path.find('\\', start);
    const std::string_view part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!part.empty()) parts.emplace_back(part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

class Backend {
public:
  virtual ~Backend() = default;
  virtual bool keyExists(std::uintptr_t root, const std::vector<std::string>& path) = 0;
  virtual std::optional<Value> value(std::uintptr_t root, const std::vector<std::string>& path, std::string_view name) = 0;
  virtual std::vector<std::string> subkeys(std::uintptr_t root, const std::vector<std::string>& path) = 0;
};

// ---------------------------------------------------------------------------
// Test registry.

class TestBackend final : public Backend {
public:
  explicit TestBackend(const std::vector<TestRegistryEntry>& contents) {
    for (const TestRegistryEntry& entry : contents) {
      std::vector<std::string> parts = splitPath(entry.key);
      if (parts.empty()) continue;
      const std::string rootName = lower(parts.front());
      std::uintptr_t root = 0;
      if (rootName == "hkey_classes_root" || rootName == "hkcr") root = rootId(HKEY_CLASSES_ROOT);
      else if (rootName == "hkey_current_user" || rootName == "hkcu") root = rootId(HKEY_CURRENT_USER);
      else if (rootName == "hkey_local_machine" || rootName == "hklm") root = rootId(HKEY_LOCAL_MACHINE);
      else continue;
      parts.erase(parts.begin());
      Node* node = &nodeFor(root, {});
      std::vector<std::string> walked;
      for (const std::string& part : parts) {
        Node& parent = *node;
        walked.push_back(part);
        const std::string id = keyId(root, walked);
        if (nodes_.find(id) == nodes_.end()) parent.children.push_back(part);
        node = &nodeFor(root, walked);
      }
      if (entry.type != REG_NONE) node->values[lower(entry.valueName)] = Value{entry.type, entry.data};
    }
  }

  bool keyExists(std::uintptr_t root, const std::vector<std::string>& path) override {
    return path.empty() || nodes_.find(keyId(root, path)) != nodes_.end();
  }
  std::optional<Value> value(std::uintptr_t root, const std::vector<std::string>& path, std::string_view name) override {
    const auto it = nodes_.find(keyId(root, path));
    if (it == nodes_.end()) return std::nullopt;
    const auto v = it->second.values.find(lower(name));
    if (v == it->second.values.end()) return std::nullopt;
    return v->second;
  }
  std::vector<std::string> subkeys(std::uintptr_t root, const std::vector<std::string>& path) override {
    const auto it = nodes_.find(keyId(root, path));
    return it == nodes_.end() ? std::vector<std::string>{} : it->second.children;
  }

private:
  struct Node {
    std::vector<std::string> children;  // in the order they were first given
    std::map<std::string, Value> values;  // by lower-case name
  };

  static std::string keyId(std::uintptr_t root, const std::vector<std::string>& path) {
    std::string id = std::to_string(root);
    for (const std::string& part : path) {
      id.push_back('\\');
      id += lower(part);
    }
    return id;
  }
  Node& nodeFor(std::uintptr_t root, const std::vector<std::string>& path) { return nodes_[keyId(root, path)]; }

  std::map<std::string, Node> nodes_;
};

// ---------------------------------------------------------------------------
// Desktop backend: the XDG MIME associations.

std::string envOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value == '/' ? std::string(value) : fallback;
}

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "";
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto end = text.find(':', start);
    std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!part.empty() && part.front() == '/') parts.push_back(std::move(part));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

std::vector<std::string> dataFolders() {
  std::vector<std::string> folders{envOr("XDG_DATA_HOME", homeFolder() + "/.local/share")};
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  for (std::string& d : splitList(dirs != nullptr && *dirs != '\0' ? dirs : "/usr/local/share:/usr/share")) {
    folders.push_back(std::move(d));
  }
  return folders;
}

// The mimeapps.list files, most important first.
std::vector<std::string> mimeAppsFiles() {
  std::vector<std::string> desktops;
  if (const char* current = std::getenv("XDG_CURRENT_DESKTOP")) {
    std::string text(current);
    std::size_t start = 0;
    while (start <= text.size()) {
      const auto end = text.find(':', start);
      std::string part = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!part.empty()) desktops.push_back(lower(part));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  std::vector<std::string> folders{envOr("XDG_CONFIG_HOME", homeFolder() + "/.config")};
  const char* configDirs = std::getenv("XDG_CONFIG_DIRS");
  for (std::string& d : splitList(configDirs != nullptr && *configDirs != '\0' ? configDirs : "/etc/xdg")) {
    folders.push_back(std::move(d));
  }
  for (const std::string& d : dataFolders()) folders.push_back(d + "/applications");
  std::vector<std::string> files;
  for (const std::string& folder : folders) {
    for (const std::string& desktop : desktops) files.push_back(folder + "/" + desktop + "-mimeapps.list");
    files.push_back(folder + "/mimeapps.list");
  }
  return files;
}

struct KeyFile {
  GKeyFile* file = g_key_file_new();
  KeyFile() = default;
  KeyFile(const KeyFile&) = delete;
  KeyFile& operator=(const KeyFile&) = delete;
  ~KeyFile() { g_key_file_free(file); }
  bool load(const std::string& path) {
    return g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, nullptr) != FALSE;
  }
  std::vector<std::string> list(const char* group, const std::string& key) {
    std::vector<std::string> result;
    gsize length = 0;
    gchar** items = g_key_file_get_string_list(file, group, key.c_str(), &length, nullptr);
    if (items == nullptr) return result;
    for (gsize i = 0; i < length; ++i) {
      if (items[i][0] != '\0') result.emplace_back(items[i]);
    }
    g_strfreev(items);
    return result;
  }
  std::optional<std::string> string(const char* group, const char* key) {
    gchar* text = g_key_file_get_string(file, group, key, nullptr);
    if (text == nullptr) return std::nullopt;
    std::string result(text);
    g_free(text);
    return result;
  }
  bool boolean(const char* group, const char* key) {
    return g_key_file_get_boolean(file, group, key, nullptr) != FALSE;
  }
};

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file named Name in Folder, found without regard to letter case
// when no file has exactly that name, since registry names ignore case.
std::optional<std::string> fileInFolder(const std::string& folder, const std::string& name) {
  const std::string direct = folder + "/" + name;
  if (isRegularFile(direct)) return direct;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  const std::string wanted = lower(name);
  while (const struct dirent* entry = ::readdir(dir)) {
    if (lower(entry->d_name) == wanted && isRegularFile(folder + "/" + entry->d_name)) {
      found = folder + "/" + entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// The file of desktop entry Id; a "-" in the id may stand for a subfolder.
std::optional<std::string> desktopFile(const std::string& id) {
  if (id.empty() || id.find('/') != std::string::npos || id.find("..") != std::string::npos) return std::nullopt;
  for (const std::string& folder : dataFolders()) {
    if (auto direct = fileInFolder(folder + "/applications", id)) return direct;
    const auto dash = id.find('-');
    if (dash != std::string::npos) {
      if (auto nested = fileInFolder(folder + "/applications/" + id.substr(0, dash), id.substr(dash + 1))) return nested;
    }
  }
  return std::nullopt;
}

struct DesktopEntry {
  std::string name;
  std::string exec;
};

std::optional<DesktopEntry> loadDesktopEntry(const std::string& id) {
  const auto path = desktopFile(id);
  if (!path) return std::nullopt;
  KeyFile file;
  if (!file.load(*path)) return std::nullopt;
  if (file.boolean("Desktop Entry", "Hidden")) return std::nullopt;
  const auto exec = file.string("Desktop Entry", "Exec");
  if (!exec || exec->empty()) return std::nullopt;
  DesktopEntry entry;
  entry.name = file.string("Desktop Entry", "Name").value_or("");
  entry.exec = *exec;
  return entry;
}

std::optional<std::string> defaultApplication(const std::string& mimeType) {
  const std::vector<std::string> files = mimeAppsFiles();
  for (const char* group : {"Default Applications", "Added Associations"}) {
    for (const std::string& path : files) {
      KeyFile file;
      if (!file.load(path)) continue;
      for (const std::string& id : file.list(group, mimeType)) {
        if (loadDesktopEntry(id)) return id;
      }
    }
  }
  for (const std::string& folder : dataFolders()) {
    KeyFile file;
    if (!file.load(folder + "/applications/mimeinfo.cache")) continue;
    for (const std::string& id : file.list("MIME Cache", mimeType)) {
      if (loadDesktopEntry(id)) return id;
    }
  }
  return std::nullopt;
}

std::optional<std::string> mimeTypeOfExtension(const std::string& extension) {
  static const std::map<std::string, std::string> kKnown = {
      {".html", "text/html"}, {".htm", "text/html"}, {".shtml", "text/html"},
      {".xhtml", "application/xhtml+xml"}, {".txt", "text/plain"}, {".pdf", "application/pdf"},
      {".xml", "application/xml"}, {".png", "image/png"}, {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"},
  };
  const std::string ext = lower(extension);
  if (ext.size() < 2 || ext.front() != '.') return std::nullopt;
  const auto it = kKnown.find(ext);
  if (it != kKnown.end()) return it->second;
  const std::string probe = "file" + ext;
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(probe.c_str(), nullptr, 0, &uncertain);
  if (type == nullptr) return std::nullopt;
  gchar* mime = g_content_type_get_mime_type(type);
  g_free(type);
  if (mime == nullptr) return std::nullopt;
  std::string result(mime);
  g_free(mime);
  if (result == "application/octet-stream" || uncertain) return std::nullopt;
  return result;
}

// Splits an Exec value into its arguments by the desktop-entry quoting
// rules: blanks separate, "..." groups, and inside quotes a backslash
// escapes ", `, $ and itself.
std::vector<std::string> execArguments(const std::string& exec) {
  std::vector<std::string> args;
  std::string current;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '\\' && i + 1 < exec.size() && std::strchr("\"`$\\", exec[i + 1]) != nullptr) {
        current.push_back(exec[++i]);
      } else if (c == '"') {
        quoted = false;
      } else {
        current.push_back(c);
      }
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) args.push_back(current);
      current.clear();
      inWord = false;
    } else if (c == '"') {
      quoted = true;
      inWord = true;
    } else {
      current.push_back(c);
      inWord = true;
    }
  }
  if (inWord) args.push_back(current);
  return args;
}

// Field codes: the file and URL codes become the placeholder "%1", "%%" a
// percent sign; the others have nothing to stand for here and go.
std::string expandFieldCodes(const std::string& arg, bool& dropWhole) {
  std::string out;
  dropWhole = false;
  for (std::size_t i = 0; i < arg.size(); ++i) {
    if (arg[i] != '%' || i + 1 >= arg.size()) {
      out.push_back(arg[i]);
      continue;
    }
    const char code = arg[++i];
    switch (code) {
      case 'f':
      case 'F':
      case 'u':
      case 'U': out += "%1"; break;
      case '%': out.push_back('%'); break;
      default:
        // %i, %c, %k and the deprecated codes: an argument that was only
        // the code disappears.
        if (arg.size() == 2) dropWhole = true;
        break;
    }
  }
  return out;
}

// One argument in the quoting of the command lines of the original system.
class DesktopBackend final : public Backend {
public:
  bool keyExists(std::uintptr_t root, const std::vector<std::string>& path) override {
    if (path.empty()) return true;
    if (root != rootId(HKEY_CLASSES_ROOT)) return false;
    if (path.size() == 1 && path[0].front() == '.') return mimeTypeOfExtension(path[0]).has_value();
    if (!loadDesktopEntry(path[0])) return false;
    static const char* const kChain[] = {"shell", "open", "command"};
    if (path.size() > 4) return false;
    for (std::size_t i = 1; i < path.size(); ++i) {
      if (!equalNoCase(path[i], kChain[i - 1])) return false;
    }
    return true;
  }

  std::optional<Value> value(std::uintptr_t root, const std::vector<std::string>& path, std::string_view name) override {
    if (root != rootId(HKEY_CLASSES_ROOT) || path.empty() || !keyExists(root, path)) return std::nullopt;
    if (path.size() == 1 && path[0].front() == '.') {
      const auto mime = mimeTypeOfExtension(path[0]);
      if (equalNoCase(name, "Content Type")) return Value{REG_SZ, *mime};
      if (!name.empty()) return std::nullopt;
      const auto app = defaultApplication(*mime);
      if (!app) return std::nullopt;
      return Value{REG_SZ, *app};
    }
    if (!name.empty()) return std::nullopt;
    const auto entry = loadDesktopEntry(path[0]);
    if (path.size() == 1) return Value{REG_SZ, entry->name};
    if (path.size() == 4) return Value{REG_SZ, commandLine(entry->exec)};
    return std::nullopt;
  }

  std::vector<std::string> subkeys(std::uintptr_t root, const std::vector<std::string>& path) override {
    if (root != rootId(HKEY_CLASSES_ROOT) || path.empty() || path[0].front() == '.' || !keyExists(root, path)) return {};
    switch (path.size()) {
      case 1: return {"shell"};
      case 2: return {"open"};
      case 3: return {"command"};
      default: return {};
    }
  }

  static std::string commandLine(const std::string& exec) {
    std::vector<std::string> args;
    for (const std::string& raw : execArguments(exec)) {
      bool drop = false;
      std::string arg = expandFieldCodes(raw, drop);
      if (!drop) args.push_back(std::move(arg));
    }
    // "env NAME=value ... program": the program is what opens the address.
    if (!args.empty() && (args[0] == "env" || args[0] == "/usr/bin/env")) {
      args.erase(args.begin());
      while (!args.empty() && !args[0].empty() && args[0][0] != '-' && args[0].find('=') != std::string::npos)
        args.erase(args.begin());
    }
    // Readers of this command keep its program and give it the address alone.
    // An entry that needs further words for that (a sandbox runner such as
    // "flatpak run <app>") gives no command, so the address goes to the
    // desktop's own opener instead of to a program that cannot open it.
    for (std::size_t i = 1; i < args.size(); ++i)
      if (args[i] != "%1" && (args[i].empty() || args[i][0] != '-')) return {};
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (i > 0) line.push_back(' ');
      // The program is always quoted and so is a lone placeholder, so that
      // readers that cut the program at the first quote pair find it whole.
      line += QuoteCommandLineWord(args[i], i == 0 || args[i] == "%1" ? QuoteMode::Always : QuoteMode::WhenNeeded);
    }
    return line;
  }
};

// ---------------------------------------------------------------------------

std::mutex backendMutex;
std::shared_ptr<Backend> testBackend;

std::shared_ptr<Backend> currentBackend() {
  static const std::shared_ptr<Backend> desktop = std::make_shared<DesktopBackend>();
  std::lock_guard lock(backendMutex);
  return testBackend ? testBackend : desktop;
}

bool resolve(HKEY key, RegistryKey& out) {
  if (key == nullptr) return false;
  if (isPredefined(key)) {
    out.root = rootId(key);
    out.path.clear();
    return true;
  }
  out = *key;
  return true;
}

}  // namespace

std::string DesktopExecToCommandLine(const std::string& exec) { return DesktopBackend::commandLine(exec); }

std::string RegistryDword(DWORD value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

LSTATUS RegOpenKey(HKEY root, const char* subKey, HKEY* result) {
  if (result == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  *result = nullptr;
  RegistryKey base{};
  if (!resolve(root, base)) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  const std::string_view sub = subKey != nullptr ? subKey : "";
  RegistryKey opened{base.root, sub.substr(0, 1) == "\\" ? std::vector<std::string>{} : base.path};
  for (std::string& part : splitPath(sub)) opened.path.push_back(std::move(part));
  if (!currentBackend()->keyExists(opened.root, opened.path)) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
  *result = new RegistryKey(std::move(opened));
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegOpenKeyEx(HKEY root, const char* subKey, DWORD options, REGSAM /*access*/, HKEY* result) {
  if (options != 0) {
    if (result != nullptr) *result = nullptr;
    return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  }
  return RegOpenKey(root, subKey, result);
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  if (!isPredefined(key)) delete key;
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegQueryValueEx(HKEY key, const char* name, DWORD* type, unsigned char* data, DWORD* size) {
  RegistryKey k{};
  if (!resolve(key, k)) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  if (data != nullptr && size == nullptr) return static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  const auto v = currentBackend()->value(k.root, k.path, name != nullptr ? name : "");
  if (!v) return static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
  if (type != nullptr) *type = v->type;
  std::string bytes = v->data;
  if (v->type == REG_SZ) bytes.push_back('\0');
  if (size == nullptr) return static_cast<LSTATUS>(ERROR_SUCCESS);
  const auto needed = static_cast<DWORD>(bytes.size());
  if (data == nullptr) {
    *size = needed;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  }
  if (*size < needed) {
    *size = needed;
    return static_cast<LSTATUS>(ERROR_MORE_DATA);
  }
  std::memcpy(data, bytes.data(), bytes.size());
  *size = needed;
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegQueryValue(HKEY key, const char* subKey, char* data, std::int32_t* size) {
  HKEY opened = nullptr;
  const LSTATUS status = RegOpenKey(key, subKey, &opened);
  if (status != static_cast<LSTATUS>(ERROR_SUCCESS)) return status;
  RegistryKey k = *opened;
  RegCloseKey(opened);
  const auto v = currentBackend()->value(k.root, k.path, "");
  std::string text;
  if (v) {
    if (v->type != REG_SZ) return static_cast<LSTATUS>(ERROR_INVALID_DATA);
    text = v->data;
  }
  if (size == nullptr) return data == nullptr ? static_cast<LSTATUS>(ERROR_SUCCESS) : static_cast<LSTATUS>(ERROR_INVALID_PARAMETER);
  const auto needed = static_cast<std::int32_t>(text.size() + 1);
  if (data == nullptr) {
    *size = needed;
    return static_cast<LSTATUS>(ERROR_SUCCESS);
  }
  if (*size < needed) {
    *size = needed;
    return static_cast<LSTATUS>(ERROR_MORE_DATA);
  }
  std::memcpy(data, text.c_str(), text.size() + 1);
  *size = needed;
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

LSTATUS RegEnumKey(HKEY key, DWORD index, char* name, DWORD size) {
  RegistryKey k{};
  if (!resolve(key, k)) return static_cast<LSTATUS>(ERROR_INVALID_HANDLE);
  const std::vector<std::string> names = currentBackend()->subkeys(k.root, k.path);
  if (index >= names.size()) return static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS);
  const std::string& n = names[index];
  if (name == nullptr || n.size() + 1 > size) return static_cast<LSTATUS>(ERROR_MORE_DATA);
  std::memcpy(name, n.c_str(), n.size() + 1);
  return static_cast<LSTATUS>(ERROR_SUCCESS);
}

void SetTestRegistry(const std::vector<TestRegistryEntry>& contents) {
  auto backend = std::make_shared<TestBackend>(contents);
  std::lock_guard lock(backendMutex);
  testBackend = std::move(backend);
}

void ClearTestRegistry() {
  std::lock_guard lock(backendMutex);
  testBackend.reset();
}

}  // namespace qorv::platform
