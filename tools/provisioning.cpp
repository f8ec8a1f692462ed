#include "tools/provisioning.h"

#include <cstddef>
#include <cstdio>

#include "platform/files.h"
#include "platform/tools_archive.h"
#include "tools/limits.h"
#include "tools/process_runner.h"
#include "tools/tool_locator.h"

namespace {

constexpr char fetching_line[] = "  fastboot nahi mila - flashing ke liye Google se laa raha hoon (ek dafa)...";
constexpr char ready_line[] = "  fastboot ready.";
constexpr char failed_line[] = "  fastboot download nahi ho saki - internet check karein.";

// A console line, flushed at once so that a pipe reader sees it.
void say(const char* line) {
  std::puts(line);
  std::fflush(stdout);
}

// Whether the last download of this run failed: kept for the bridge's
// whole run, read by GET /doctor (one request at a time, see
// tools/scratch.h).
bool last_download_failed = false;

}  // namespace

bool tool_is_there(const char* name) {
  char path[tool_path_size];
  find_tool(name, path);
  return is_present_file(path) || platform::system_tool_present(name);
}

bool fastboot_present() { return tool_is_there("fastboot"); }

bool fastboot_download_failed() { return last_download_failed; }

void install_files(const char* tools_dir, const HeldFile* files, int count) {
  if (count <= 0) return;
  platform::make_directory(tools_dir);
  for (int i = 0; i < count; ++i) {
    const HeldFile& file = files[i];
    char path[tool_path_size];
    int n = std::snprintf(path, sizeof path, "%s%c%s", tools_dir, platform::path_separator, file.name);
    if (n < 0 || n >= static_cast<int>(sizeof path)) continue;  // a cut path would name another file
    if (is_present_file(path)) continue;
    platform::write_whole_file(path, file.begin, static_cast<std::size_t>(file.end - file.begin), file.executable);
  }
}

void install_payloads() {
  char dir[tool_path_size];
  exe_dir(dir);
  char tools_dir[tool_path_size];
  std::snprintf(tools_dir, sizeof tools_dir, "%s%cplatform-tools", dir, platform::path_separator);
  const HeldFiles held = held_payloads();
  install_files(tools_dir, held.files, held.count);
}

void ensure_fastboot() {
  if (fastboot_present()) return;
  char dir[tool_path_size];
  exe_dir(dir);
  say(fetching_line);

  char lines[platform::max_archive_commands][platform::archive_command_size];
  const int count = platform::archive_commands(dir, lines);
  char output[tools_download_output_size];
  for (int i = 0; i < count; ++i) {
    output[0] = '\0';
    // Whether fastboot is there afterwards is what counts, not how each step ended.
    run_tool(lines[i], output, sizeof output, tools_download_timeout_ms, RunKind::download);
  }
  // What a failed unpack left behind (PowerShell removes it itself on success).
  char archive[tool_path_size];
  std::snprintf(archive, sizeof archive, "%s%cpt.zip", dir, platform::path_separator);
  platform::delete_file(archive);

  last_download_failed = !fastboot_present();
  say(last_download_failed ? failed_line : ready_line);
}
