// Start-up time: from starting the bridge (a fresh copy in a fresh folder,
// no tools beside it) to its first answered GET /ping, over several starts;
// then the bridge's resident memory after 1,000 pings. Runs the Windows
// build under Wine when TALVIK_WINE_DIR names it, like the end-to-end tests.
// Not a test: it asserts nothing. The figures are repeated as
// "RESULT <name> <value> <unit>" lines for bench/run.sh.
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

constexpr char ping_start[] = "{\"ok\":true,\"name\":\"Talvik Web Bridge\"";

long status_kib(pid_t pid, const char* key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + line.find(':') + 1);
  }
  return -1;
}

// The first port of the bridge's range nothing listens on: where it will serve.
int first_free_port() {
  for (int port = 9765; port <= 9769; ++port) {
    int fd = e2e::connect_loopback(port);
    if (fd < 0) return port;
    ::close(fd);
  }
  return -1;
}

bool ping_answered(int port) {
  int fd = e2e::connect_loopback(port);
  if (fd < 0) return false;
  e2e::send_bytes(fd, "GET /ping HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  std::string body = e2e::parse_reply(e2e::read_until_close(fd, 10000)).body;
  ::close(fd);
  return body.rfind(ping_start, 0) == 0;
}

// Milliseconds from launch to the first answered /ping, or -1.
double one_start(int port, long* peak_kib) {
  e2e::Bridge bridge;
  auto start = Clock::now();
  if (!bridge.launch()) return -1;
  while (!ping_answered(port)) {
    if (!bridge.running() || Clock::now() - start > std::chrono::seconds(60)) return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (peak_kib != nullptr) {
    for (int i = 0; i < 1000; ++i) ping_answered(port);
    *peak_kib = status_kib(bridge.pid(), "VmHWM");
  }
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
  const char* label = e2e::under_wine() ? "wine" : "linux";
  const int port = first_free_port();
  if (port < 0) {
    std::fprintf(stderr, "no free port in 9765-9769\n");
    return 1;
  }
  std::vector<double> times;
  long peak = -1;
  for (int i = 0; i < runs; ++i) {
    double ms = one_start(port, i == 0 ? &peak : nullptr);
    if (ms < 0) {
      std::fprintf(stderr, "the bridge did not answer /ping on port %d\n", port);
      return 1;
    }
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  std::printf("start-up to the first answered /ping (%s, %d starts)\n", label, runs);
  std::printf("  fastest %.1f ms, median %.1f ms, slowest %.1f ms\n", times.front(), times[times.size() / 2],
              times.back());
  std::printf("  resident memory after 1,000 pings: %ld KiB peak%s\n", peak,
              e2e::under_wine() ? " (the Wine process, Wine's own libraries included)" : "");
  std::printf("RESULT startup_median_%s %.1f ms\n", label, times[times.size() / 2]);
  std::printf("RESULT idle_peak_memory_%s %ld KiB\n", label, peak);
  return 0;
}
