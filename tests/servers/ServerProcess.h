// Test servers as real child processes on loopback, for GoogleTest suites.
//
// ServerProcess starts tests/servers/faultserver.py (or another script of
// that folder with the same contract: it prints its port as the first line
// of stdout and ends when its stdin closes) and waits, bounded, for the port.
// NginxProcess starts /usr/sbin/nginx in the foreground with a configuration
// of its own in a private temporary folder, on a free loopback port. Both
// stop their child in the destructor (SIGTERM, then SIGKILL after a bounded
// wait), and a child whose test process dies ends by itself (faultserver:
// its stdin closes; nginx: the parent-death signal).
//
// One object belongs to one test; it is not meant to be shared between
// threads. Failures to start are reported through ok() and error(), never by
// an exception, so that the test can ASSERT on them. Test code only: it uses
// POSIX directly.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <arpa/inet.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qorv::testing {

// The folder of this header, which holds the server scripts.
inline std::string ServersDir() {
#ifdef QORV_TEST_SERVERS_DIR
  return QORV_TEST_SERVERS_DIR;
#else
  return std::filesystem::path(__FILE__).parent_path().string();
#endif
}

// A private temporary folder, removed with everything in it.
class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qorv-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data())) path_ = buffer.data();
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  bool write(const std::string& name, const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path());
    std::ofstream out(file(name), std::ios::binary);
    out << content;
    return static_cast<bool>(out);
  }

private:
  std::string path_;
};

// Makes a self-signed certificate for Host (a name or an IPv4 address) in
// Dir as cert.pem and key.pem, for the TLS mode of the fault server. False
// when openssl fails.
inline bool MakeSelfSignedCertificate(const TempDir& dir, const std::string& host) {
  const bool isAddress = host.find_first_not_of("0123456789.") == std::string::npos;
  const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + host +
                              " -addext subjectAltName=" + (isAddress ? "IP:" : "DNS:") + host + " -keyout " +
                              dir.file("key.pem") + " -out " + dir.file("cert.pem") + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// A loopback port that was free a moment ago (for servers that cannot pick
// one themselves).
inline int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

inline bool CanConnect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

class ChildProcess {
public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { stop(); }

  // Starts Argv[0] (a path) with its arguments; its stdout is readable
  // through readLine, its stdin stays open until stop.
  bool start(const std::vector<std::string>& argv, bool dieWithParent) {
    int out[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    if (pipe2(in, O_CLOEXEC) != 0) {
      close(out[0]);
      close(out[1]);
      return false;
    }
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      if (dieWithParent) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
      }
      dup2(in[0], 0);
      dup2(out[1], 1);
      execv(args[0], args.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (pid_ < 0) {
      close(in[1]);
      close(out[0]);
      return false;
    }
    stdin_ = in[1];
    stdout_ = out[0];
    return true;
  }

  // One line of the child's stdout, waiting at most Timeout.
  bool readLine(std::string& line, std::chrono::milliseconds timeout) {
    line.clear();
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char c;
      ssize_t n = read(stdout_, &c, 1);
      if (n <= 0) return false;
      if (c == '\n') return true;
      line.push_back(c);
    }
  }

  bool running() {
    if (pid_ <= 0) return false;
    return waitpid(pid_, nullptr, WNOHANG) == 0;
  }

  void stop() {
    if (stdin_ >= 0) close(stdin_);
    if (stdout_ >= 0) close(stdout_);
    stdin_ = stdout_ = -1;
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }

private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
};

// The scripted fault server (see faultserver.py for its paths and options).
class ServerProcess {
public:
  explicit ServerProcess(std::vector<std::string> options = {}, std::string script = "faultserver.py") {
    std::vector<std::string> argv{"/usr/bin/python3", ServersDir() + "/" + script, "--port", "0"};
    argv.insert(argv.end(), options.begin(), options.end());
    if (!child_.start(argv, true)) {
      error_ = "cannot start python3";
      return;
    }
    std::string line;
    if (!child_.readLine(line, std::chrono::seconds(10))) {
      error_ = "no port line from " + script;
      return;
    }
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) error_ = "bad port line: " + line;
  }
  bool ok() const { return port_ > 0; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  std::string url(const std::string& path, const std::string& scheme = "http") const {
    return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
  }
  void stop() { child_.stop(); }

private:
  ChildProcess child_;
  int port_ = 0;
  std::string error_;
};

// nginx serving Root (a folder of the caller) on a free loopback port.
// Locations under /private/ ask for Basic credentials User and Password.
class NginxProcess {
public:
  NginxProcess(const std::string& root, const std::string& user = "user",
               const std::string& password = "secret") {
    const char* binary = "/usr/sbin/nginx";
    if (access(binary, X_OK) != 0) {
      error_ = "nginx is not installed";
      return;
    }
    if (dir_.path().empty()) {
      error_ = "no temporary folder";
      return;
    }
    dir_.write("htpasswd", user + ":{PLAIN}" + password + "\n");
    std::filesystem::create_directories(dir_.file("tmp"));
    for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
      int port = FreeLoopbackPort();
      std::string d = dir_.path();
      std::string conf =
          "daemon off;\nmaster_process off;\nworker_processes 1;\npid " + d + "/nginx.pid;\n"
          "error_log " + d + "/error.log;\nevents { worker_connections 64; }\n"
          "http {\n  access_log off;\n  default_type application/octet-stream;\n"
          "  client_body_temp_path " + d + "/tmp/body;\n  proxy_temp_path " + d + "/tmp/proxy;\n"
          "  fastcgi_temp_path " + d + "/tmp/fastcgi;\n  uwsgi_temp_path " + d + "/tmp/uwsgi;\n"
          "  scgi_temp_path " + d + "/tmp/scgi;\n"
          "  server {\n    listen 127.0.0.1:" + std::to_string(port) + ";\n    root " + root + ";\n"
          "    location /private/ {\n      auth_basic \"Qorv nginx\";\n"
          "      auth_basic_user_file " + d + "/htpasswd;\n    }\n  }\n}\n";
      dir_.write("nginx.conf", conf);
      child_ = std::make_unique<ChildProcess>();
      if (!child_->start({binary, "-e", d + "/error.log", "-p", d, "-c", d + "/nginx.conf"}, true)) {
        error_ = "cannot start nginx";
        return;
      }
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (std::chrono::steady_clock::now() < deadline && child_->running()) {
        if (CanConnect(port)) {
          port_ = port;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (port_ == 0) child_->stop();
    }
    if (port_ == 0) error_ = "nginx did not start; see its error log";
  }
  bool ok() const { return port_ > 0; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }

private:
  TempDir dir_;
  std::unique_ptr<ChildProcess> child_;
  int port_ = 0;
  std::string error_;
};

}  // namespace qorv::testing
