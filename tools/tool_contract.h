// Everything that passes between the bridge and adb / fastboot, in one
// place: each command-line format (the tool path always first, in double
// quotes; "-s SERIAL" for commands aimed at one phone, unquoted) and each
// word of their output that the bridge relies on. The bridge judges a tool
// by what it printed, not by its exit status. The runner tells apart a tool
// that could not be started at all (run_tool: not_started, with an empty
// text); the device lists also tell a file that starts but cannot really
// run (a crash, or exit status 126 or 127 before any list: list_devices).
#pragma once

namespace contract {

// ---- Device lists (GET /info, GET /devices, choosing a phone) ------------
// adb: a header line, then "serial<TAB>state" per phone; ready is "device".
// fastboot: "serial<TAB or space>word" per phone; phones on the network
// (serials "tcp:..." and "udp:...") are never listed.
constexpr char devices_cmd[] = "\"%s\" devices";
constexpr char adb_list_header[] = "List of devices attached";
constexpr char adb_ready_state[] = "device";
constexpr char adb_unauthorized_state[] = "unauthorized";

// ---- ADB report: properties and shell probes (path, serial) --------------
// getprop prints one "[name]: [value]" per property.
constexpr char getprop_cmd[] = "\"%s\" -s %s shell getprop";
constexpr char accounts_cmd[] = "\"%s\" -s %s shell dumpsys account";
constexpr char wifi_mac_cmd[] = "\"%s\" -s %s shell cat /sys/class/net/wlan0/address";
constexpr char bluetooth_mac_cmd[] = "\"%s\" -s %s shell settings get secure bluetooth_address";
constexpr char packages_cmd[] = "\"%s\" -s %s shell pm list packages";
constexpr char battery_cmd[] = "\"%s\" -s %s shell dumpsys battery";
constexpr char meminfo_cmd[] = "\"%s\" -s %s shell cat /proc/meminfo";
constexpr char storage_cmd[] = "\"%s\" -s %s shell df /data";
constexpr char screen_size_cmd[] = "\"%s\" -s %s shell wm size";
constexpr char screen_density_cmd[] = "\"%s\" -s %s shell wm density";
constexpr char selinux_cmd[] = "\"%s\" -s %s shell getenforce";
constexpr char kernel_cmd[] = "\"%s\" -s %s shell cat /proc/version";
constexpr char id_cmd[] = "\"%s\" -s %s shell id";
constexpr char android_id_cmd[] = "\"%s\" -s %s shell settings get secure android_id";
constexpr char cycle_count_cmd[] = "\"%s\" -s %s shell cat /sys/class/power_supply/battery/cycle_count";
// The inner quotes make the phone's shell run the whole cat, errors dropped.
constexpr char battery_serial_cmd[] =
    "\"%s\" -s %s shell \"cat /sys/class/power_supply/battery/serial_number "
    "/sys/class/power_supply/battery/batt_serial /sys/class/power_supply/bms/serial_number 2>/dev/null\"";

// ---- IMEI (path, serial, transaction code[, slot]) -----------------------
// The parcel dump's single-quoted segments carry the number's digits.
constexpr char imei_cmd[] = "\"%s\" -s %s shell service call iphonesubinfo %s s16 com.android.shell";
constexpr char imei_slot_cmd[] = "\"%s\" -s %s shell service call iphonesubinfo %s i32 %s s16 com.android.shell";

// ---- Fastboot report (path, serial) --------------------------------------
// Lines "(bootloader) variable:value". No shell takes part, so nothing may
// follow the command's own arguments (fastboot reads any extra word as one
// more file); the runner merges standard error itself.
constexpr char getvar_all_cmd[] = "\"%s\" -s %s getvar all";
constexpr char getvar_pattern[] = "(bootloader) %s:";
// A phone on the network that fastboot cannot list: asked one variable; a
// phone that answered at all (its value or its refusal) ends the run with
// fastboot's "Finished" line, one that is not there leaves fastboot
// waiting ("< waiting for ... >").
constexpr char getvar_product_cmd[] = "\"%s\" -s %s getvar product";
constexpr char fastboot_finished_word[] = "Finished";

// ---- Flash and boot (fastboot path, serial, partition, file / path, serial, file)
constexpr char flash_cmd[] = "\"%s\" -s %s flash %s \"%s\"";
constexpr char boot_cmd[] = "\"%s\" -s %s boot \"%s\"";
// Success when any of these occurs and flash_failure_word does not.
constexpr const char* flash_success_words[] = {"OKAY", "Finished", "finished"};
constexpr char flash_failure_word[] = "FAILED";

// ---- Wireless debugging (adb path, ...) -----------------------------------
constexpr char pair_cmd[] = "\"%s\" pair %s:%s %s";
constexpr char connect_cmd[] = "\"%s\" connect %s:%s";
constexpr char disconnect_cmd[] = "\"%s\" disconnect";
constexpr char mdns_cmd[] = "\"%s\" mdns services";
constexpr const char* wifi_success_words[] = {"connected", "Successfully paired", "disconnected", "already connected"};
constexpr const char* wifi_failure_words[] = {"failed", "unable", "cannot", "error"};

// ---- Reboot (tool path, serial) and server stop (tool path) --------------
// adb fails at once with a line beginning "error:"; fastboot prints
// "FAILED", or "< waiting for ... >" while no phone answers.
constexpr char adb_reboot_cmd[] = "\"%s\" -s %s reboot";
constexpr char adb_reboot_bootloader_cmd[] = "\"%s\" -s %s reboot bootloader";
constexpr char adb_reboot_recovery_cmd[] = "\"%s\" -s %s reboot recovery";
constexpr char adb_reboot_download_cmd[] = "\"%s\" -s %s reboot download";
constexpr char fastboot_reboot_cmd[] = "\"%s\" -s %s reboot";
constexpr char fastboot_reboot_bootloader_cmd[] = "\"%s\" -s %s reboot-bootloader";
constexpr char fastboot_reboot_fastbootd_cmd[] = "\"%s\" -s %s reboot fastboot";
constexpr const char* adb_failure_line = "error:";
// The same line start as words found anywhere in the output, for a watch
// whose output counts as starting a line.
constexpr const char* adb_failure_line_starts[] = {"\nerror:", "\rerror:"};
constexpr const char* fastboot_failure_words[] = {"FAILED", "< waiting for"};
constexpr char kill_server_cmd[] = "\"%s\" kill-server";

}  // namespace contract
