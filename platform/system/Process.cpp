#include "platform/system/Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace qorv::platform {

namespace {

std::mutex argumentsMutex;
std::vector<std::string>& savedArguments() {
  static std::vector<std::string> arguments;
  return arguments;
}
bool argumentsSaved = false;

// Waits for the child in the background so that it never stays a zombie.
void reapLater(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

// Starts Argv[0] with Argv; 0 on success, else an errno value.
int spawnDetached(const std::vector<std::string>& argv, const char* directory) {
  if (argv.empty() || argv[0].empty()) return ENOENT;
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& word : argv) pointers.push_back(const_cast<char*>(word.c_str()));
  pointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (directory != nullptr && *directory != '\0') {
    struct stat st {};
    if (::stat(directory, &st) != 0 || !S_ISDIR(st.st_mode)) {
      posix_spawn_file_actions_destroy(&actions);
      return ENOTDIR;
    }
    posix_spawn_file_actions_addchdir_np(&actions, directory);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The child starts in its own process group, so that a terminal signal
  // aimed at the launcher does not reach the program it started.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);

  pid_t pid = 0;
  const bool searchPath = argv[0].find('/') == std::string::npos;
  const int result = searchPath ? posix_spawnp(&pid, pointers[0], &actions, &attributes, pointers.data(), environ)
                                : posix_spawn(&pid, pointers[0], &actions, &attributes, pointers.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) return result;
  reapLater(pid);
  return 0;
}

bool parentFolderMissing(const std::string& program) {
  const auto slash = program.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return false;
  struct stat st {};
  return ::stat(program.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
}

DWORD execErrorCode(int err, const std::string& program) {
  switch (err) {
    case ENOENT: return parentFolderMissing(program) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOEXEC:
    case ELIBBAD: return ERROR_BAD_FORMAT;
    case ENOMEM:
    case EAGAIN: return 0;
    default: return ERROR_FILE_NOT_FOUND;
  }
}

bool isExecutableFile(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0;
}

// A name without "/" is looked up in PATH, as the spawn does.
bool isExecutableProgram(const std::string& file) {
  if (file.find('/') != std::string::npos) return isExecutableFile(file);
  const char* path = std::getenv("PATH");
  std::string_view rest = path != nullptr ? path : "/usr/bin:/bin";
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    std::string candidate;
    candidate.reserve(folder.size() + file.size() + 2);
    if (folder.empty()) candidate.push_back('.');
    else candidate.append(folder.data(), folder.size());
    candidate.push_back('/');
    candidate.append(file);
    if (isExecutableFile(candidate)) return true;
  }
  return false;
}

std::vector<std::string> readProcCmdline() {
  std::vector<std::string> words;
  const int fd = ::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return words;
  std::vector<char> all;
  char block[4096];
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    all.insert(all.end(), block, block + n);
  }
  ::close(fd);
  std::size_t start = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] != '\0') continue;
    words.emplace_back(all.data() + start, i - start);
    start = i + 1;
  }
  if (start < all.size()) words.emplace_back(all.data() + start, all.size() - start);
  return words;
}

}  // namespace

std::vector<std::string> SplitCommandLineWords(std::string_view commandLine) {
  const std::string line(commandLine);
  std::vector<char> storage(line.size() + 1);
  std::vector<char*> words(line.size() / 2 + 2);
  const int count = qorv_split_command_line(line.c_str(), storage.data(), storage.size(), words.data(),
                                            static_cast<int>(words.size()));
  std::vector<std::string> result;
  for (int i = 0; i < count; ++i) result.emplace_back(words[static_cast<std::size_t>(i)]);
  return result;
}

std::vector<std::string> SplitParameterWords(std::string_view parameters) {
  std::string line;
  line.reserve(parameters.size() + 2);
  line.push_back('x');
  line.push_back(' ');
  line.append(parameters.data(), parameters.size());
  std::vector<std::string> words = SplitCommandLineWords(line);
  if (!words.empty()) words.erase(words.begin());
  return words;
}

DWORD WinExec(const char* commandLine, int /*showCommand*/) {
  if (commandLine == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::vector<std::string> argv = SplitCommandLineWords(commandLine);
  if (argv.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  const int err = spawnDetached(argv, nullptr);
  if (err != 0) {
    const DWORD code = execErrorCode(err, argv[0]);
    SetLastError(code == 0 ? ERROR_NOT_ENOUGH_MEMORY : code);
    return code;
  }
  return 33;
}

std::intptr_t ShellExecute(const void* /*owner*/, const char* operation, const char* file, const char* parameters,
                           const char* directory, int /*showCommand*/) {
  if (operation != nullptr && *operation != '\0' && std::strcmp(operation, "open") != 0) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return SE_ERR_NOASSOC;
  }
  if (file == nullptr || *file == '\0') {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return SE_ERR_FNF;
  }
  const std::string target(file);
  std::vector<std::string> argv;
  if (parameters != nullptr && *parameters != '\0') {
    argv.push_back(target);
    for (std::string& word : SplitParameterWords(parameters)) argv.push_back(std::move(word));
  } else if (target.find("://") == std::string::npos && isExecutableProgram(target)) {
    argv.push_back(target);
  } else {
    argv = {"xdg-open", target};
  }
  const int err = spawnDetached(argv, directory);
  if (err != 0) {
    const DWORD code = execErrorCode(err, argv[0]);
    SetLastError(code == 0 ? ERROR_NOT_ENOUGH_MEMORY : code);
    return code == 0 ? SE_ERR_OOM : static_cast<std::intptr_t>(code);
  }
  return 42;
}

void SetProgramArguments(int argc, const char* const* argv) {
  std::lock_guard lock(argumentsMutex);
  auto& saved = savedArguments();
  saved.clear();
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) saved.emplace_back(argv[i]);
  argumentsSaved = true;
}

namespace {
std::vector<std::string> programArguments() {
  std::lock_guard lock(argumentsMutex);
  if (!argumentsSaved) {
    savedArguments() = readProcCmdline();
    argumentsSaved = true;
  }
  return savedArguments();
}
}  // namespace

int ParamCount() {
  const auto arguments = programArguments();
  return arguments.empty() ? 0 : static_cast<int>(arguments.size()) - 1;
}

std::string ParamStr(int index) {
  if (index == 0) return GetModuleFileName();
  const auto arguments = programArguments();
  if (index < 0 || static_cast<std::size_t>(index) >= arguments.size()) return {};
  return arguments[static_cast<std::size_t>(index)];
}

std::string GetModuleFileName() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

DWORD GetModuleFileName(const void* module, char* buffer, DWORD size) {
  if (module != nullptr || buffer == nullptr || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string path = GetModuleFileName();
  if (path.empty()) {
    SetLastErrorFromErrno(errno);
    return 0;
  }
  if (path.size() >= size) {
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

std::string QuoteCommandLineWord(std::string_view word, QuoteMode mode) {
  if (mode == QuoteMode::WhenNeeded && !word.empty() && word.find_first_of(" \t\"") == std::string_view::npos)
    return std::string(word);
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  out.push_back('"');
  return out;
}

}  // namespace qorv::platform
