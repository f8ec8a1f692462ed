#include "actions/reboot_targets.h"

#include <cstring>

#include "tools/tool_contract.h"

namespace {

constexpr RebootTarget reboot_targets[] = {
    {"bootloader", false, contract::adb_reboot_bootloader_cmd},
    {"download", false, contract::adb_reboot_download_cmd},
    {"recovery", false, contract::adb_reboot_recovery_cmd},
    {"system", false, contract::adb_reboot_cmd},
    {"fbsystem", true, contract::fastboot_reboot_cmd},
    {"fbbootloader", true, contract::fastboot_reboot_bootloader_cmd},
    {"fastbootd", true, contract::fastboot_reboot_fastbootd_cmd},
};

bool has_line_starting_with(const char* text, const char* start) {
  const size_t n = std::strlen(start);
  for (const char* line = text; line != nullptr;) {
    if (std::strncmp(line, start, n) == 0) return true;
    line = std::strpbrk(line, "\r\n");
    if (line != nullptr) ++line;
  }
  return false;
}

}  // namespace

const RebootTarget* find_reboot_target(const char* name) {
  for (const RebootTarget& target : reboot_targets) {
    if (std::strcmp(name, target.name) == 0) return &target;
  }
  return nullptr;
}

bool reboot_failed(const char* output, bool fastboot) {
  if (!fastboot) return has_line_starting_with(output, contract::adb_failure_line);
  for (const char* word : contract::fastboot_failure_words) {
    if (std::strstr(output, word) != nullptr) return true;
  }
  return false;
}
