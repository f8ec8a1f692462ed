// Times GET /info against instant tool doubles and compares it with
// starting the same tool runs directly, so the bridge's own share of a
// report shows as a ratio. Prints only; run it under the e2e lock:
//   flock /tmp/talvik-e2e.lock build/bench/info_bench [reports]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/bridge_harness.h"
#include "tools/process_runner.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int reports = argc > 1 ? std::atoi(argv[1]) : 20;
  if (reports <= 0) return 2;

  e2e::Bridge bridge;
  // The complete phone of the report tests: every probe has an answer.
  const std::string phone = e2e::fixtures_dir() + "/report/complete/";
  for (const char* name : {"getprop.txt", "battery.txt", "meminfo.txt", "df.txt", "version.txt", "account.txt",
                           "packages.txt", "imei1.txt", "imei2.txt", "imei_none.txt"})
    e2e::write_file(bridge.path(name), e2e::read_file(phone + name));
  bridge.add_tool("adb", e2e::read_file(phone + "adb.script"));
  if (!bridge.start()) {
    std::fprintf(stderr, "bridge did not start:\n%s\n", bridge.console().c_str());
    return 1;
  }

  // One report first: warms the caches and gives the list of runs.
  if (bridge.get("/info").body.find("\"mode\":\"ADB\"") == std::string::npos) {
    std::fprintf(stderr, "no ADB report\n");
    return 1;
  }
  const std::vector<std::string> one_report = bridge.tool_calls("adb");
  std::vector<std::string> lines;
  for (const std::string& args : one_report) lines.push_back("\"" + bridge.path("adb") + "\" " + args);

  // The bridge's children read /dev/null; so do the direct runs.
  std::freopen("/dev/null", "r", stdin);

  // Reports and direct runs alternate, so a busy machine weighs on both
  // alike; the medians are compared.
  static char output[256 * 1024];
  std::vector<double> report_ms;
  std::vector<double> direct_ms;
  for (int i = 0; i < reports; ++i) {
    auto start = Clock::now();
    bridge.get("/info");
    report_ms.push_back(ms_since(start));
    start = Clock::now();
    for (const std::string& line : lines) run_tool(line.c_str(), output, sizeof output, 20000);
    direct_ms.push_back(ms_since(start));
  }
  const size_t runs_per_report =
      (bridge.tool_calls("adb").size() - one_report.size() * (1 + static_cast<size_t>(reports))) /
      static_cast<size_t>(reports);
  const double per_report = median(report_ms);
  const double direct = median(direct_ms);

  std::printf("GET /info (ADB report), %d reports\n", reports);
  std::printf("  time per report (median):       %8.2f ms\n", per_report);
  std::printf("  tool runs per report:           %8zu\n", runs_per_report);
  std::printf("  same runs started directly:     %8.2f ms\n", direct);
  std::printf("  ratio report / direct runs:     %8.3f  (bridge overhead %+.1f %%)\n", per_report / direct,
              (per_report / direct - 1.0) * 100.0);
  return 0;
}
