// Upload throughput: streams a body (512 MiB unless a size in MiB is given)
// to POST /flash of the real bridge, with a do-nothing fastboot double, and
// the same bytes through the best plain socket-to-file copy of the same
// platform: on Linux a copy in this process with 1 MiB receives and writes;
// for the Windows build a small Windows-API copy program (plain_copy.exe of
// the Windows build) under the same Wine prefix, fed by the same sender.
// Rounds alternate the two; the medians give the bridge's ratio to its
// baseline. Prints the rates and the bridge's peak resident memory. Not a
// test: it asserts nothing. TALVIK_WINE_DIR names the Windows build.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/bridge_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t send_chunk = 1 << 20;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A value of the bridge's /proc status ("VmHWM", "VmRSS") in KiB.
long status_kib(pid_t pid, const char* key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + line.find(':') + 1);
  }
  return -1;
}

bool send_body(int fd, long long total, const std::string& block) {
  long long sent = 0;
  while (sent < total) {
    size_t n = static_cast<size_t>(std::min<long long>(total - sent, static_cast<long long>(block.size())));
    if (!e2e::send_bytes(fd, block.substr(0, n))) return false;
    sent += static_cast<long long>(n);
  }
  return true;
}

constexpr size_t copy_chunk = 1 << 20;

// Sends the body on `fd`, ends the sending side and waits until the
// receiver closes: it has then written, and deleted, the whole file.
double copy_seconds(int fd, long long total, const std::string& block, Clock::time_point start) {
  send_body(fd, total, block);
  ::shutdown(fd, SHUT_WR);
  e2e::read_until_close(fd);
  return seconds_since(start);
}

// Linux baseline: a process of its own, as the bridge is, doing one
// blocking receive of up to 1 MiB at a time, each written straight to the
// file, until the sender ends.
double native_copy_seconds(long long total, const std::string& block, const std::string& file) {
  int port = 0;
  int listener = e2e::listen_loopback(0, 1, &port);
  pid_t copier = ::fork();
  if (copier == 0) {
    int fd = ::accept(listener, nullptr, nullptr);
    int out = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    static char chunk[copy_chunk];
    for (;;) {
      ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0 || ::write(out, chunk, static_cast<size_t>(n)) != n) break;
    }
    ::close(out);
    ::unlink(file.c_str());
    ::close(fd);
    ::_exit(0);
  }
  auto start = Clock::now();
  int fd = e2e::connect_loopback(port);
  double took = copy_seconds(fd, total, block, start);
  ::waitpid(copier, nullptr, 0);
  ::close(fd);
  ::close(listener);
  return took;
}

// Windows baseline: plain_copy.exe under Wine; its start-up is not timed.
double wine_copy_seconds(long long total, const std::string& block) {
  e2e::Bridge copier(e2e::wine_build_program("bench/plain_copy"));
  if (!copier.launch({"plain_copy.tmp"})) return -1;
  int port = 0;
  for (int i = 0; i < 600 && port == 0; ++i) {
    std::string text = copier.console();
    size_t at = text.find("PORT ");
    if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
      port = std::atoi(text.c_str() + at + 5);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  if (port == 0) return -1;
  auto start = Clock::now();
  int fd = e2e::connect_loopback(port);
  double took = copy_seconds(fd, total, block, start);
  ::close(fd);
  copier.wait_exit(60000);
  return took;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One upload through POST /flash; `extra` is more header lines.
double bridge_seconds(e2e::Bridge& bridge, long long total, const std::string& block, std::string* body,
                      const std::string& extra = "") {
  std::string head = "POST /flash?partition=system HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(bridge.port()) +
                     "\r\nOrigin: http://localhost:8080\r\nX-Talvik-Bridge: 1\r\n" + extra +
                     "Content-Length: " + std::to_string(total) + "\r\n\r\n";
  auto start = Clock::now();
  int fd = e2e::connect_loopback(bridge.port());
  e2e::send_bytes(fd, head);
  send_body(fd, total, block);
  std::string raw = e2e::read_until_close(fd);
  double took = seconds_since(start);
  ::close(fd);
  *body = e2e::parse_reply(raw).body;
  return took;
}

}  // namespace

int main(int argc, char** argv) {
  const long long mib = argc > 1 ? std::atoll(argv[1]) : 512;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const long long total = mib * 1024 * 1024;
  std::string block(send_chunk, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);

  e2e::Bridge bridge;
  // fastboot's messages for an image sent in four parts, at once.
  // One phone listed, so that the upload is received and flashed (without
  // it the bridge refuses before the body and only drains it).
  std::string fastboot = "match devices\nsay 0A1B2C3D\\tfastboot\\n\n\nmatch flash\n";
  for (int part = 1; part <= 4; ++part) {
    char prolog[128];
    std::snprintf(prolog, sizeof prolog, "%-50s ",
                  ("Sending sparse 'system' " + std::to_string(part) + "/4 (262140 KB)").c_str());
    fastboot += std::string("err ") + prolog + "\nerr OKAY [  0.000s]\\n\nerr Writing 'system'" + std::string(35, ' ') +
                "\nerr OKAY [  0.000s]\\n\n";
  }
  fastboot += "err Finished. Total time: 0.0s\\n\n";
  bridge.add_tool("fastboot", fastboot);
  if (!bridge.start()) {
    std::fprintf(stderr, "bridge did not start:\n%s\n", bridge.console().c_str());
    return 1;
  }
  const long rss_before = status_kib(bridge.pid(), "VmRSS");

  // Interleaved rounds, so that a cold page cache or a busy neighbour
  // weighs on both sides alike.
  std::vector<double> plain;
  std::vector<double> bridged;
  std::vector<double> streamed;
  std::string body;
  std::string stream_body;
  for (int round = 0; round < rounds; ++round) {
    plain.push_back(e2e::under_wine() ? wine_copy_seconds(total, block)
                                      : native_copy_seconds(total, block, bridge.path("plain_copy.tmp")));
    bridged.push_back(bridge_seconds(bridge, total, block, &body));
    streamed.push_back(bridge_seconds(bridge, total, block, &stream_body, "Accept: application/x-ndjson\r\n"));
  }
  const long lines = std::count(stream_body.begin(), stream_body.end(), '\n') - 1;
  const long peak = status_kib(bridge.pid(), "VmHWM");
  if (*std::min_element(plain.begin(), plain.end()) < 0) {
    std::fprintf(stderr, "the plain copy did not run\n");
    return 1;
  }

  const double mb = static_cast<double>(total) / 1e6;
  const double plain_rate = mb / median(plain);
  const double bridge_rate = mb / median(bridged);
  const char* label = e2e::under_wine() ? "wine" : "linux";
  std::printf("upload of %lld MiB, median of %d interleaved rounds\n", mib, rounds);
  std::printf("  plain copy (%s):%*s %8.1f MB/s\n",
              e2e::under_wine() ? "Windows API under Wine" : "native, 1 MiB chunks", e2e::under_wine() ? 1 : 3, "",
              plain_rate);
  std::printf("  bridge POST /flash:                %8.1f MB/s (ratio %.2f)\n", bridge_rate, bridge_rate / plain_rate);
  for (int round = 0; round < rounds; ++round) {
    std::printf("    round %d: plain %.3f s, bridge %.3f s\n", round + 1, plain[round], bridged[round]);
  }
  std::printf(
      "  bridge POST /flash with progress:  %8.1f MB/s (its time / plain reply's time %.3f), %ld progress lines\n",
      mb / median(streamed), median(streamed) / median(bridged), lines);
  std::printf("  bridge resident memory: %ld KiB at start, %ld KiB peak\n", rss_before, peak);
  std::printf("  reply: %.80s\n", body.c_str());
  std::printf("RESULT upload_plain_copy_%s %.1f MB/s\n", label, plain_rate);
  std::printf("RESULT upload_bridge_%s %.1f MB/s\n", label, bridge_rate);
  std::printf("RESULT upload_ratio_%s %.2f x\n", label, bridge_rate / plain_rate);
  std::printf("RESULT progress_time_ratio_%s %.3f x\n", label, median(streamed) / median(bridged));
  std::printf("RESULT progress_lines_%s %ld\n", label, lines);
  std::printf("RESULT upload_peak_memory_%s %ld KiB\n", label, peak);
  return 0;
}
