// Upload throughput: streams a body (1 GiB unless a size in MiB is given)
// to POST /flash of the real bridge, with a do-nothing fastboot double, and
// the same bytes through a plain socket-to-file copy in this process. Prints
// both rates and the bridge's peak resident memory. Not a test: it asserts
// nothing. Runs the Windows build under Wine when TALVIK_WINE_DIR names it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

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

// The baseline: the receiving side reads 64 KiB at a time and writes each
// chunk to a file, as the bridge does, with no HTTP and no fastboot run
// around it.
double plain_copy_seconds(long long total, const std::string& block, const std::string& file) {
  int port = 0;
  int listener = e2e::listen_loopback(0, 1, &port);

  auto start = Clock::now();
  double done = 0;
  std::thread receiver([&] {
    int fd = ::accept(listener, nullptr, nullptr);
    std::FILE* out = std::fopen(file.c_str(), "wb");
    static char chunk[65536];
    long long got = 0;
    while (got < total) {
      ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      std::fwrite(chunk, 1, static_cast<size_t>(n), out);
      got += n;
    }
    std::fclose(out);
    ::close(fd);
    // The bridge deletes its file before it replies; so does the baseline.
    std::remove(file.c_str());
    done = seconds_since(start);
  });
  int fd = e2e::connect_loopback(port);
  send_body(fd, total, block);
  receiver.join();
  ::close(fd);
  ::close(listener);
  return done;
}

double bridge_seconds(e2e::Bridge& bridge, long long total, const std::string& block, std::string* body) {
  std::string head =
      "POST /flash?partition=boot HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(bridge.port()) +
      "\r\nOrigin: http://localhost:8080\r\nX-Talvik-Bridge: 1\r\nContent-Length: " + std::to_string(total) +
      "\r\n\r\n";
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
  const long long mib = argc > 1 ? std::atoll(argv[1]) : 1024;
  const long long total = mib * 1024 * 1024;
  std::string block(send_chunk, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);

  e2e::Bridge bridge;
  bridge.add_tool("fastboot", "match flash\nsay OKAY\\nFinished. Total time: 0.0s\\n\n");
  if (!bridge.start()) {
    std::fprintf(stderr, "bridge did not start:\n%s\n", bridge.console().c_str());
    return 1;
  }
  const long rss_before = status_kib(bridge.pid(), "VmRSS");

  // Alternate the two, three times each, and keep the better run of each, so a
  // cold page cache does not decide the comparison.
  double plain = 1e9;
  double bridged = 1e9;
  std::string body;
  for (int round = 0; round < 3; ++round) {
    plain = std::min(plain, plain_copy_seconds(total, block, bridge.path("plain_copy.tmp")));
    bridged = std::min(bridged, bridge_seconds(bridge, total, block, &body));
  }
  const long peak = status_kib(bridge.pid(), "VmHWM");

  const double mb = static_cast<double>(total) / 1e6;
  std::printf("upload of %lld MiB\n", mib);
  std::printf("  plain socket-to-file copy: %8.1f MB/s\n", mb / plain);
  std::printf("  bridge POST /flash:        %8.1f MB/s (%.1f %% of the plain copy)\n", mb / bridged,
              100.0 * plain / bridged);
  std::printf("  bridge resident memory: %ld KiB at start, %ld KiB peak\n", rss_before, peak);
  std::printf("  reply: %.80s\n", body.c_str());
  const char* label = e2e::under_wine() ? "wine" : "linux";
  // The baseline runs in this Linux process either way; it is listed beside
  // the bridge it was measured with.
  std::printf("RESULT upload_plain_copy_%s %.1f MB/s\n", label, mb / plain);
  std::printf("RESULT upload_bridge_%s %.1f MB/s\n", label, mb / bridged);
  std::printf("RESULT upload_peak_memory_%s %ld KiB\n", label, peak);
  return 0;
}
