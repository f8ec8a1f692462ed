// A stand-in for adb, fastboot, curl, unzip or powershell in tests.
//
// Copied into a test folder under the tool's name, it appends the arguments
// it received (joined by single spaces) as one line to <name>.log beside
// itself, then plays the first case of <name>.script whose text occurs in
// those arguments. Script lines:
//   match TEXT      starts a case (no TEXT: matches every call)
//   say TEXT        writes TEXT to stdout (\r \n \t \\ \xHH escapes)
//   err TEXT        writes TEXT to stderr
//   file PATH       writes the file's bytes to stdout
//   fill N          writes N bytes of 'x' to stdout
//   sleep MS        waits
//   wait PATH       waits until the file PATH exists (two minutes at most),
//                   so that a test decides when the tool goes on
//   hold MS [TEXT]  leaves a background process holding the output for MS,
//                   then writing TEXT to it
//   close           closes stdout and stderr
//   hang            waits for an hour
//   save N PATH     copies the file named by argument N (1-based) to PATH
//   keep N          opens the file named by argument N and holds it open
//                   until the run ends, as a fastboot sending it does
//   copy FROM TO    copies a file
//   outfile FROM M  copies a file to the path that follows the text M in the
//                   arguments, up to the next single quote ('' is one ')
//   outsize N M     makes the file at the path that follows M (as for
//                   outfile) N bytes long (sparse where the system can), as
//                   a download that has written that much
//   mkdir PATH      creates a folder
//   exit CODE       exits with CODE
//   crash           ends by SIGSEGV, as a cut program does (Windows: abort)
// Relative paths are taken from the double's own folder. In PATH, FROM and
// TO, $N stands for argument N (1-based) of this run, so that
// "copy archive.zip $6" writes where "-o FILE" asked.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr char sep = '\\';
#else
constexpr char sep = '/';
#endif

std::string self_path() {
  char buf[4096];
#ifdef _WIN32
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  buf[n < sizeof buf ? n : sizeof buf - 1] = '\0';
#else
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  buf[n < 0 ? 0 : n] = '\0';
#endif
  return buf;
}

std::string dir_of(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? "." : path.substr(0, cut);
}

std::string name_of(const std::string& path) {
  size_t cut = path.find_last_of("/\\");
  std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
  return name;
}

std::string g_dir;
std::vector<std::string> g_args;  // this run's arguments, argv[1] first

// `p` with each $N replaced by argument N.
std::string expand(const std::string& p) {
  std::string out;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '$' && i + 1 < p.size() && std::isdigit(static_cast<unsigned char>(p[i + 1]))) {
      size_t end = i + 1;
      while (end < p.size() && std::isdigit(static_cast<unsigned char>(p[end]))) ++end;
      size_t index = std::strtoul(p.substr(i + 1, end - i - 1).c_str(), nullptr, 10);
      if (index >= 1 && index <= g_args.size()) out += g_args[index - 1];
      i = end - 1;
    } else {
      out += p[i];
    }
  }
  return out;
}

std::string resolve(const std::string& raw) {
  const std::string p = expand(raw);
  if (p.empty() || p[0] == '/' || p[0] == '\\' || (p.size() > 1 && p[1] == ':')) return p;
  return g_dir + sep + p;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    if (c == 'r')
      out += '\r';
    else if (c == 'n')
      out += '\n';
    else if (c == 't')
      out += '\t';
    else if (c == 'x' && i + 2 < s.size()) {
      out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else
      out += c;
  }
  return out;
}

void write_out(FILE* f, const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fflush(f);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void copy_file(const std::string& from, const std::string& to) {
  std::ofstream out(to, std::ios::binary);
  out << read_file(from);
}

void sleep_ms(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool exists(const std::string& path) { return std::ifstream(path, std::ios::binary).is_open(); }

void wait_for_file(const std::string& path) {
  for (int i = 0; i < 6000 && !exists(path); ++i) sleep_ms(20);
}

void start_holder(long ms, const std::string& text) {
#ifdef _WIN32
  std::string line = "\"" + self_path() + "\" --hold " + std::to_string(ms) + " \"" + text + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  if (CreateProcessA(nullptr, buf.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
#else
  std::fflush(nullptr);
  if (fork() == 0) {
    sleep_ms(ms);
    write_out(stdout, unescape(text));
    _exit(0);
  }
#endif
}

void close_output() {
  std::fflush(nullptr);
#ifdef _WIN32
  CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
  CloseHandle(GetStdHandle(STD_ERROR_HANDLE));
#else
  close(1);
  close(2);
#endif
}

void make_dir(const std::string& p) {
#ifdef _WIN32
  _mkdir(p.c_str());
#else
  mkdir(p.c_str(), 0755);
#endif
}

// Copies `from` to the path that follows `marker` in `joined`, up to the
// next lone single quote; a doubled quote stands for one.
// The path that follows `marker` in the arguments, up to the next single
// quote ('' is one '); empty when the marker is not there.
std::string quoted_path_after(const std::string& joined, const std::string& marker) {
  size_t at = joined.find(marker);
  if (at == std::string::npos) return "";
  std::string to;
  for (size_t i = at + marker.size(); i < joined.size(); ++i) {
    if (joined[i] == '\'') {
      if (i + 1 == joined.size() || joined[i + 1] != '\'') break;
      ++i;
    }
    to += joined[i];
  }
  return to;
}

void copy_to_quoted_path(const std::string& from, const std::string& joined, const std::string& marker) {
  const std::string to = quoted_path_after(joined, marker);
  if (!to.empty()) copy_file(from, to);
}

void grow_quoted_path(unsigned long long size, const std::string& joined, const std::string& marker) {
  const std::string to = quoted_path_after(joined, marker);
  if (to.empty()) return;
  std::FILE* f = std::fopen(to.c_str(), "ab");
  if (f != nullptr) std::fclose(f);
  std::error_code error;
  std::filesystem::resize_file(to, size, error);
}

[[noreturn]] void crash() {
  std::fflush(nullptr);
#ifdef _WIN32
  std::abort();
#else
  ::signal(SIGSEGV, SIG_DFL);
  ::raise(SIGSEGV);
  ::_exit(1);
#endif
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Bytes go out exactly as scripted: no CR added before LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  if (argc >= 3 && std::strcmp(argv[1], "--hold") == 0) {
    sleep_ms(std::atol(argv[2]));
    if (argc >= 4) write_out(stdout, unescape(argv[3]));
    return 0;
  }
  const std::string self = self_path();
  g_dir = dir_of(self);
  const std::string name = name_of(self);
  g_args.assign(argv + 1, argv + argc);

  std::string joined;
  for (int i = 1; i < argc; ++i) joined += (i > 1 ? " " : "") + std::string(argv[i]);
  {
    std::ofstream log(g_dir + sep + name + ".log", std::ios::app | std::ios::binary);
    log << joined << "\n";
  }

  std::ifstream script(g_dir + sep + name + ".script", std::ios::binary);
  std::string line;
  bool in_case = false;
  while (std::getline(script, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t space = line.find(' ');
    std::string word = line.substr(0, space);
    std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (word == "match") {
      if (in_case) {
        break;
      }
      in_case = joined.find(rest) != std::string::npos;
      continue;
    }
    if (!in_case) continue;
    if (word == "say")
      write_out(stdout, unescape(rest));
    else if (word == "err")
      write_out(stderr, unescape(rest));
    else if (word == "file")
      write_out(stdout, read_file(resolve(rest)));
    else if (word == "fill")
      write_out(stdout, std::string(std::strtoul(rest.c_str(), nullptr, 10), 'x'));
    else if (word == "sleep")
      sleep_ms(std::atol(rest.c_str()));
    else if (word == "wait")
      wait_for_file(resolve(rest));
    else if (word == "hold") {
      size_t cut = rest.find(' ');
      start_holder(std::atol(rest.c_str()), cut == std::string::npos ? "" : rest.substr(cut + 1));
    } else if (word == "close")
      close_output();
    else if (word == "hang")
      sleep_ms(3600L * 1000);
    else if (word == "exit")
      return std::atoi(rest.c_str());
    else if (word == "crash")
      crash();
    else if (word == "mkdir")
      make_dir(resolve(rest));
    else if (word == "outfile")
      copy_to_quoted_path(resolve(rest.substr(0, rest.find(' '))), joined, rest.substr(rest.find(' ') + 1));
    else if (word == "outsize")
      grow_quoted_path(std::strtoull(rest.c_str(), nullptr, 10), joined, rest.substr(rest.find(' ') + 1));
    else if (word == "keep") {
      int index = std::atoi(rest.c_str());
      if (index >= 1 && index < argc) std::fopen(argv[index], "rb");
    } else if (word == "save" || word == "copy") {
      size_t cut = rest.find(' ');
      std::string from = rest.substr(0, cut);
      std::string to = resolve(rest.substr(cut + 1));
      if (word == "save") {
        int index = std::atoi(from.c_str());
        if (index >= 1 && index < argc) copy_file(argv[index], to);
      } else {
        copy_file(resolve(from), to);
      }
    }
  }
  return 0;
}
