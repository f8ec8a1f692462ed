#include "actions/reboot_targets.h"

#include <cstring>

#include "tools/tool_contract.h"

namespace {

constexpr RebootTarget reboot_targets[] = {
    {"bootloader", "adb", contract::adb_reboot_bootloader_cmd},
    {"download", "adb", contract::adb_reboot_download_cmd},
    {"recovery", "adb", contract::adb_reboot_recovery_cmd},
    {"system", "adb", contract::adb_reboot_cmd},
    {"fbsystem", "fastboot", contract::fastboot_reboot_cmd},
    {"fbbootloader", "fastboot", contract::fastboot_reboot_bootloader_cmd},
    {"fastbootd", "fastboot", contract::fastboot_reboot_fastbootd_cmd},
};

}  // namespace

const RebootTarget* find_reboot_target(const char* name) {
  for (const RebootTarget& target : reboot_targets) {
    if (std::strcmp(name, target.name) == 0) return &target;
  }
  return nullptr;
}
