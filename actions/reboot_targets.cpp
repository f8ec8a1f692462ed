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

}  // namespace

const RebootTarget* find_reboot_target(const char* name) {
  for (const RebootTarget& target : reboot_targets) {
    if (std::strcmp(name, target.name) == 0) return &target;
  }
  return nullptr;
}

void watch_reboot_words(OutputWords& words, bool fastboot) {
  if (fastboot) {
    words.watch(contract::fastboot_failure_words);
  } else {
    words.watch(contract::adb_failure_line_starts);
  }
}

bool reboot_failed(const OutputWords& words, bool fastboot) {
  return fastboot ? words.seen_any(contract::fastboot_failure_words)
                  : words.seen_any(contract::adb_failure_line_starts);
}

bool reboot_failed(const char* output, bool fastboot) {
  OutputWords words(true);
  watch_reboot_words(words, fastboot);
  words.saw(output, static_cast<int>(std::strlen(output)));
  return reboot_failed(words, fastboot);
}
