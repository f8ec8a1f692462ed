#include "report/shell_probes.h"

#include <cstdio>
#include <cstring>

#include "report/field_list.h"
#include "report/report_rows.h"
#include "report/text_scan.h"
#include "tools/limits.h"
#include "tools/process_runner.h"
#include "tools/scratch.h"
#include "tools/tool_contract.h"

namespace {

constexpr int line_size = 64;

// The two long replies: the accounts dump and the package list.
struct ProbeBuffers {
  static constexpr char name[] = "shell probes";
  char accounts[32768];
  char packages[65536];
};
Scratch<ProbeBuffers> probe_scratch;

// " · " and "°C" in UTF-8.
constexpr char dot_separator[] = " \xC2\xB7 ";
constexpr char degrees_celsius[] =
    "\xC2\xB0"
    "C";

const char* const battery_health_names[] = {"",     "Unknown",      "Good",    "Overheat",
                                            "Dead", "Over voltage", "Failure", "Cold"};

// The code after the first `key`, or -1 when the key is missing.
int keyed_int(const char* reply, const char* key) {
  const char* at = std::strstr(reply, key);
  return at == nullptr ? -1 : leading_int(at + std::strlen(key));
}

void run_probe(const char* format, const char* adb, const char* serial, char* out, int size) {
  char command[tool_command_size];
  std::snprintf(command, sizeof command, format, adb, serial);
  // Only the reply is read: a probe that timed out or could not be
  // started leaves what it printed, often nothing, which shows no value.
  run_tool(command, out, size, quick_run_timeout_ms);
}

// Runs a probe into a 64-byte buffer and keeps its first line.
void probe_line(const char* format, const char* adb, const char* serial, char* line) {
  char reply[line_size];
  run_probe(format, adb, serial, reply, sizeof reply);
  first_line(reply, line);
}

// The value after `key` (or `fallback_key`), past its spaces.
const char* value_after(const char* reply, const char* key, const char* fallback_key) {
  const char* at = std::strstr(reply, key);
  const char* used = key;
  if (at == nullptr) {
    at = std::strstr(reply, fallback_key);
    used = fallback_key;
  }
  return at == nullptr ? nullptr : skip_spaces(at + std::strlen(used));
}

// Hex digits and colons only, with at least one colon. An error message
// printed instead of the address ("cat: ...: Permission denied") is not one.
bool looks_like_mac(const char* line) {
  if (std::strchr(line, ':') == nullptr) return false;
  return line[std::strspn(line, "0123456789abcdefABCDEF:")] == '\0';
}

}  // namespace

void google_accounts_text(const char* reply, char* out) {
  out[0] = '\0';
  int count = count_occurrences(reply, "com.google");
  if (count == 0) return;
  char count_text[16];
  std::snprintf(count_text, sizeof count_text, "%d", count > 8 ? 8 : count);
  std::snprintf(out, sizeof(ProbeTexts::google_accounts), "%s%s", count_text, "  (FRP risk after reset)");
}

void first_line(const char* reply, char* out) { copy_line(reply, out, line_size - 1); }

void wifi_mac_text(const char* line, char* out) {
  out[0] = '\0';
  if (!looks_like_mac(line)) return;
  std::snprintf(out, line_size, "%s", line);
  to_upper_ascii(out);
}

void bluetooth_mac_text(const char* line, char* out) {
  out[0] = '\0';
  if (!looks_like_mac(line)) return;
  std::snprintf(out, line_size, "%s", line);
  to_upper_ascii(out);
}

void android_id_text(const char* line, char* out) {
  out[0] = '\0';
  if (std::strcmp(line, "null") == 0) return;
  std::snprintf(out, line_size, "%s", line);
}

void installed_apps_text(const char* reply, char* out) {
  out[0] = '\0';
  int count = count_occurrences(reply, "package:");
  if (count > 0) std::snprintf(out, sizeof(ProbeTexts::installed_apps), "%d", count);
}

void battery_text(const char* reply, char* out) {
  constexpr int size = sizeof(ProbeTexts::battery);
  std::memset(out, 0, size);
  int level = keyed_int(reply, "level:");
  int temperature = keyed_int(reply, "temperature:");
  int health = keyed_int(reply, "health:");
  if (level < 0) return;
  bool named = health >= 1 && health <= 7;
  std::snprintf(out, size, "%d%%%s%s", level, named ? dot_separator : "", named ? battery_health_names[health] : "");
  if (temperature > 0) {
    char degrees[16];
    std::snprintf(degrees, sizeof degrees, "%s%.1f%s", dot_separator, temperature / 10.0, degrees_celsius);
    std::strncat(out, degrees, static_cast<size_t>(size - 1) - std::strlen(out));
  }
}

void ram_text(const char* reply, char* out) {
  out[0] = '\0';
  const char* at = std::strstr(reply, "MemTotal:");
  if (at == nullptr) return;
  int kilobytes = leading_int(at + std::strlen("MemTotal:"));
  if (kilobytes > 0) std::snprintf(out, sizeof(ProbeTexts::ram), "%.2f GB", kilobytes * 9.5367431640625e-7);
}

void storage_text(const char* reply, char* out) {
  out[0] = '\0';
  char line[256] = {};
  bool picked = false;
  const char* start = reply;
  for (const char* end = std::strchr(start, '\n'); end != nullptr; end = std::strchr(start, '\n')) {
    size_t len = static_cast<size_t>(end - start);
    const char* data = std::strstr(start, "/data");
    const char* upper_g = std::strchr(start, 'G');
    if ((data != nullptr && data + 5 <= end) || (upper_g != nullptr && upper_g < end)) {
      if (len > sizeof line - 1) len = sizeof line - 1;
      std::memcpy(line, start, len);
      line[len] = '\0';
      picked = true;
    }
    start = end + 1;
  }
  if (!picked && start[0] != '\0') {
    std::snprintf(line, sizeof line, "%s", start);
    picked = true;
  }
  if (!picked) return;
  char words[4][32];
  if (std::sscanf(line, "%31s %31s %31s %31s", words[0], words[1], words[2], words[3]) == 4)
    std::snprintf(out, sizeof(ProbeTexts::storage), "%s total%s%s free", words[1], dot_separator, words[3]);
}

void screen_text(const char* size_reply, const char* density_reply, char* out) {
  out[0] = '\0';
  char size[64] = {};
  char density[16] = {};
  const char* size_at = value_after(size_reply, "Physical size:", "size:");
  if (size_at != nullptr) copy_line(size_at, size, 31);
  const char* density_at = value_after(density_reply, "Physical density:", "density:");
  if (density_at != nullptr) copy_digits(density_at, density, 15);
  if (size[0] == '\0') return;
  bool has_density = density[0] != '\0';
  std::snprintf(out, sizeof(ProbeTexts::screen), "%s%s%s%s", size, has_density ? " (" : "", has_density ? density : "",
                has_density ? " dpi)" : "");
}

void selinux_text(const char* reply, char* out) { copy_line(reply, out, sizeof(ProbeTexts::selinux) - 1); }

void kernel_text(const char* reply, char* out) {
  out[0] = '\0';
  const char* at = std::strstr(reply, "version ");
  if (at == nullptr) return;
  at += std::strlen("version ");
  int n = 0;
  while (n < 95 && at[n] != '\0' && at[n] != '\r' && at[n] != '\n' && at[n] != ' ') {
    out[n] = at[n];
    ++n;
  }
  out[n] = '\0';
}

void root_text(const char* reply, char* out) {
  out[0] = '\0';
  if (reply[0] == '\0') return;
  std::snprintf(out, sizeof(ProbeTexts::root), "%s", std::strstr(reply, "uid=0(root)") != nullptr ? "Yes" : "No");
}

void dumpsys_cycle_count(const char* reply, char* out) {
  out[0] = '\0';
  const char* at = std::strstr(reply, "ycle count:");
  if (at != nullptr) copy_digits(skip_spaces(at + std::strlen("ycle count:")), out, 30);
}

void file_cycle_count(const char* reply, char* out) { copy_digits(reply, out, 30); }

const char* battery_health_row(const char* reply) {
  const char* at = std::strstr(reply, "health:");
  if (at == nullptr) return nullptr;
  int code = leading_int(at + std::strlen("health:"));
  if (code == 2 || code == 3 || code == 4 || code == 5 || code == 7) return battery_health_names[code];
  return nullptr;
}

bool battery_serial_usable(const char* line) {
  return line[0] != '\0' && std::strstr(line, "No such") == nullptr && std::strstr(line, "denied") == nullptr &&
         std::strlen(line) <= 39;
}

void run_identity_probes(const char* adb, const char* serial, ProbeTexts& texts) {
  ScratchHold<ProbeBuffers> scratch(probe_scratch);
  run_probe(contract::accounts_cmd, adb, serial, scratch->accounts, sizeof scratch->accounts);
  google_accounts_text(scratch->accounts, texts.google_accounts);
  char line[line_size];
  probe_line(contract::wifi_mac_cmd, adb, serial, line);
  wifi_mac_text(line, texts.wifi_mac);
  probe_line(contract::bluetooth_mac_cmd, adb, serial, line);
  bluetooth_mac_text(line, texts.bluetooth_mac);
  run_probe(contract::packages_cmd, adb, serial, scratch->packages, sizeof scratch->packages);
  installed_apps_text(scratch->packages, texts.installed_apps);
}

void run_system_probes(const char* adb, const char* serial, ProbeTexts& texts) {
  char reply[4096];
  run_probe(contract::battery_cmd, adb, serial, reply, sizeof reply);
  battery_text(reply, texts.battery);
  run_probe(contract::meminfo_cmd, adb, serial, reply, sizeof reply);
  ram_text(reply, texts.ram);
  run_probe(contract::storage_cmd, adb, serial, reply, sizeof reply);
  storage_text(reply, texts.storage);

  char size_reply[1024];
  char density_reply[1024];
  run_probe(contract::screen_size_cmd, adb, serial, size_reply, sizeof size_reply);
  run_probe(contract::screen_density_cmd, adb, serial, density_reply, sizeof density_reply);
  screen_text(size_reply, density_reply, texts.screen);

  char short_reply[256];
  run_probe(contract::selinux_cmd, adb, serial, short_reply, sizeof short_reply);
  selinux_text(short_reply, texts.selinux);
  run_probe(contract::kernel_cmd, adb, serial, size_reply, sizeof size_reply);
  kernel_text(size_reply, texts.kernel);
  run_probe(contract::id_cmd, adb, serial, size_reply, sizeof size_reply);
  root_text(size_reply, texts.root);

  char line[line_size];
  probe_line(contract::android_id_cmd, adb, serial, line);
  android_id_text(line, texts.android_id);
}

void add_battery_detail_rows(const char* adb, const char* serial, char* list, int* first) {
  char reply[2048];
  run_probe(contract::battery_cmd, adb, serial, reply, sizeof reply);

  char cycles[32];
  dumpsys_cycle_count(reply, cycles);
  if (cycles[0] == '\0') {
    char file_reply[64];
    run_probe(contract::cycle_count_cmd, adb, serial, file_reply, sizeof file_reply);
    file_cycle_count(file_reply, cycles);
  }
  if (cycles[0] != '\0' && leading_int(cycles) > 0)
    append_field(list, first, row_label(Row::battery_cycles), cycles, adb_list_cap);

  const char* health = battery_health_row(reply);
  if (health != nullptr) append_field(list, first, row_label(Row::battery_health), health, adb_list_cap);

  char line[line_size];
  probe_line(contract::battery_serial_cmd, adb, serial, line);
  if (battery_serial_usable(line)) append_field(list, first, row_label(Row::battery_serial), line, adb_list_cap);
}
