#include "tests/e2e/bridge_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace e2e {

namespace {

std::string env_or(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : fallback;
}

std::string wine_dir() { return env_or("TALVIK_WINE_DIR", ""); }

std::string bridge_source() {
  return wine_dir().empty() ? env_or("TALVIK_BRIDGE", TALVIK_BRIDGE_DEFAULT) : wine_dir() + "/talvik-web-bridge.exe";
}

std::string double_source() {
  return wine_dir().empty() ? env_or("TALVIK_TOOL_DOUBLE", TALVIK_DOUBLE_DEFAULT)
                            : wine_dir() + "/tests/tool_double.exe";
}

std::string file_name(const std::string& path) { return fs::path(path).filename().string(); }

std::string folder_of(const std::string& path) { return fs::path(path).parent_path().string(); }

}  // namespace

bool under_wine() { return !wine_dir().empty(); }

std::string exe_suffix() { return under_wine() ? ".exe" : ""; }

std::string fixtures_dir() { return TALVIK_FIXTURES; }

std::string payload_test_bridge() {
  return folder_of(bridge_source()) + "/talvik-web-bridge-payload-test" + exe_suffix();
}

std::string test_program(const std::string& name) { return folder_of(double_source()) + "/" + name + exe_suffix(); }

std::string wine_build_program(const std::string& relative) { return wine_dir() + "/" + relative + ".exe"; }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool file_exists(const std::string& path) { return fs::exists(path); }

std::string Reply::header(const std::string& name) const {
  std::string key = "\r\n" + name + ": ";
  size_t at = head.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  return head.substr(at, head.find("\r\n", at) - at);
}

Reply parse_reply(const std::string& raw) {
  Reply r;
  r.raw = raw;
  size_t line_end = raw.find("\r\n");
  r.status_line = raw.substr(0, line_end);
  size_t blank = raw.find("\r\n\r\n");
  if (blank == std::string::npos) {
    r.head = raw;
    return r;
  }
  r.head = raw.substr(0, blank + 4);
  r.body = raw.substr(blank + 4);
  return r;
}

int listen_loopback(int port, int backlog, int* bound) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return -1;
  }
  if (bound != nullptr) *bound = ntohs(addr.sin_port);
  return fd;
}

bool wait_port_free(int port, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int fd = listen_loopback(port, 1);
    if (fd >= 0) {
      ::close(fd);
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int connect_loopback(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool send_bytes(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string read_until_close(int fd, int timeout_ms) {
  std::string out;
  char buf[65536];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) break;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

Bridge::Bridge() : Bridge(bridge_source()) {}

Bridge::Bridge(const std::string& program) : source_(program) {
  // TALVIK_TEST_ROOT moves the folders (the upload benchmark uses a memory
  // file system, so that disk write-back does not decide its figures).
  std::string tmpl = env_or("TALVIK_TEST_ROOT", "/tmp") + "/talvik-e2e-XXXXXX";
  dir_ = ::mkdtemp(&tmpl[0]);
  fs::copy_file(source_, binary());
  fs::permissions(binary(), fs::perms::owner_all, fs::perm_options::add);
}

Bridge::~Bridge() {
  stop();
  std::error_code ec;
  fs::remove_all(dir_, ec);
  fs::remove(wine_errors(), ec);
}

// Beside the test folder, not in it: tests look at what the bridge leaves
// in its folder.
std::string Bridge::wine_errors() const { return dir_ + ".wine-stderr"; }

// A start that ended without a banner: the exit code and, under Wine, what
// Wine itself wrote, so that the failure tells why.
void Bridge::tell_failed_start() {
  std::string wine;
  std::ifstream in(wine_errors(), std::ios::binary);
  if (in) wine.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::fprintf(stderr, "bridge start failed (exit code %d); console: [%s]; Wine's standard error: [%s]\n",
               pid_ > 0 ? -1 : exit_code_, console_.c_str(), wine.c_str());
}

std::string Bridge::binary() const { return dir_ + "/" + file_name(source_); }

std::string Bridge::path(const std::string& relative) const { return dir_ + "/" + relative; }

void Bridge::add_tool(const std::string& name, const std::string& script, const std::string& subfolder) {
  std::string folder = subfolder.empty() ? dir_ : dir_ + "/" + subfolder;
  fs::create_directories(folder);
  std::string target = folder + "/" + name + exe_suffix();
  fs::copy_file(double_source(), target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_all, fs::perm_options::add);
  write_file(folder + "/" + name + ".script", script);
}

std::vector<std::string> Bridge::tool_calls(const std::string& name, const std::string& subfolder) const {
  std::string folder = subfolder.empty() ? dir_ : dir_ + "/" + subfolder;
  std::istringstream in(read_file(folder + "/" + name + ".log"));
  std::vector<std::string> calls;
  for (std::string line; std::getline(in, line);) calls.push_back(line);
  return calls;
}

void Bridge::set_env(const std::string& name, const std::string& value) { env_.emplace_back(name, value); }

bool Bridge::launch(const std::vector<std::string>& args) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  std::vector<std::string> argv_s;
  if (under_wine()) argv_s.push_back("wine");
  argv_s.push_back(binary());
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  // The program's environment: ours, with XDG_CONFIG_HOME inside the test
  // folder, then the variables given with set_env, each in place of any
  // earlier value.
  std::vector<std::string> env_s;
  for (char** e = environ; *e != nullptr; ++e) env_s.push_back(*e);
  auto put = [&env_s](const std::string& name, const std::string& value) {
    const std::string prefix = name + "=";
    env_s.erase(std::remove_if(env_s.begin(), env_s.end(),
                               [&prefix](const std::string& e) { return e.compare(0, prefix.size(), prefix) == 0; }),
                env_s.end());
    env_s.push_back(prefix + value);
  };
  put("XDG_CONFIG_HOME", path("config"));
  for (const auto& [name, value] : env_) put(name, value);
  const std::string errors_path = wine_errors();
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(fds[1], 1);
    int null_fd = ::open("/dev/null", O_RDWR);
    ::dup2(null_fd, 0);
    if (!under_wine()) {
      ::dup2(fds[1], 2);
    } else {
      // Wine's own messages stay out of the console the tests compare.
      int errors = ::open(errors_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      ::dup2(errors >= 0 ? errors : null_fd, 2);
    }
    if (::chdir(dir_.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env_s) envp.push_back(e.data());
    envp.push_back(nullptr);
    // The program is looked for on our own PATH, not on the one it is given.
    ::execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  ::close(fds[1]);
  out_fd_ = fds[0];
  ::fcntl(out_fd_, F_SETFL, O_NONBLOCK);
  return true;
}

int Bridge::run(const std::vector<std::string>& args, int timeout_ms) {
  if (!launch(args)) return -1;
  int code = wait_exit(timeout_ms);
  if (code == -1) stop();
  console();
  return code;
}

bool Bridge::start(const std::vector<std::string>& args) {
  // The banner of this start: a restarted bridge's console still holds the
  // banner of its earlier run.
  const size_t earlier = console().size();
  // Under a loaded Wine a start has been seen to end within tens of
  // milliseconds with nothing printed and no known cause; such a start is
  // told on standard error (exit code, Wine's messages) and made once more,
  // so that the cause shows in the logs without failing an unrelated test.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!launch(args)) return false;
    bool ended = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      std::string text = console();
      size_t at = text.find("  Port:     127.0.0.1:", earlier);
      if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
        port_ = std::atoi(text.c_str() + at + std::strlen("  Port:     127.0.0.1:"));
        return true;
      }
      if (!running()) {
        console();
        ended = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    tell_failed_start();
    const bool silent_wine_end = ended && under_wine() && exit_code_ != 0 && console_.size() == earlier;
    if (!silent_wine_end) return false;
    close_console();
  }
  return false;
}

std::string Bridge::console() {
  if (out_fd_ >= 0) {
    char buf[4096];
    for (;;) {
      ssize_t n = ::read(out_fd_, buf, sizeof buf);
      if (n <= 0) break;
      console_.append(buf, static_cast<size_t>(n));
    }
  }
  return console_;
}

void Bridge::close_console() {
  console();
  if (out_fd_ >= 0) ::close(out_fd_);
  out_fd_ = -1;
}

bool Bridge::running() {
  if (pid_ <= 0) return false;
  int status;
  pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    pid_ = -1;
    exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return true;
}

int Bridge::wait_exit(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (running()) {
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  console();
  return exit_code_;
}

void Bridge::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    // Under Wine the listening socket belongs to wineserver, which lets it
    // go a moment after the process is gone: the next test may need the
    // port, so it is waited for (a bounded wait).
    if (port_ > 0) wait_port_free(port_, 30000);
  }
  if (out_fd_ >= 0) {
    console();
    ::close(out_fd_);
    out_fd_ = -1;
  }
}

Reply Bridge::request(const std::string& raw, int timeout_ms) {
  int fd = connect_loopback(port_);
  if (fd < 0) return Reply{};
  send_bytes(fd, raw);
  std::string reply = read_until_close(fd, timeout_ms);
  ::close(fd);
  return parse_reply(reply);
}

Reply Bridge::get(const std::string& target, const std::string& origin, bool bridge_header) {
  std::string raw = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n";
  if (!origin.empty()) raw += "Origin: " + origin + "\r\n";
  if (bridge_header) raw += "X-Talvik-Bridge: 1\r\n";
  raw += "\r\n";
  return request(raw);
}

}  // namespace e2e
