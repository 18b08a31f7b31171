// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace qorv::platform::test {

class TempFolder {
public:
  TempFolder() {
    char pattern[] = "/tmp/qorv-system-test-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    if (path_.empty()) return;
    ::nftw(
        path_.c_str(),
        [](const char* p, const struct stat* st, int, struct FTW*) {
          // Read-only files and folders must go too.
          ::chmod(p, (st->st_mode & 07777) | S_IWUSR | S_IRUSR | S_IXUSR);
          return ::remove(p);
        },
        16, FTW_DEPTH | FTW_PHYS);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

inline void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  char c;
  while (in.get(c)) text.push_back(c);
  return text;
}

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = ::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() {
    if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
    else ::unsetenv(name_.c_str());
  }

private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace qorv::platform::test
