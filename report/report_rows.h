// Every row label a phone report can carry, each written once: the ADB
// report's rows in the order it adds them, then the Fastboot report's rows
// that the ADB report does not share. The page (web/adb.html) places each of
// these labels in one of its groups, so a label changed here is changed there
// too.
#pragma once

enum class Row {
  brand,
  model,
  marketing_name,
  codename,
  imei_1,
  imei_2,
  imei_3,
  imei_4,
  serial,
  android_version,
  security_patch,
  build_firmware,
  build_number,
  build_date,
  build_type,
  fingerprint,
  chipset,
  board,
  cpu_abi,
  ram,
  storage,
  screen,
  baseband,
  bootloader,
  bootloader_locked,
  encryption,
  selinux,
  kernel,
  carrier,
  sim_state,
  device_type,
  timezone,
  android_id,
  hostname,
  soc,
  soc_model,
  gpu,
  first_api_level,
  locale,
  wifi_mac,
  bluetooth_mac,
  installed_apps,
  google_accounts,
  oem_unlocking,
  knox_warranty,
  frp_partition,
  avb_version,
  secure_flags,
  battery,
  battery_cycles,
  battery_health,
  battery_serial,
  adb_root,
  // Fastboot only.
  product,
  variant,
  bootloader_version,
  secure,
  unlocked,
  slot_count,
  current_slot,
  battery_voltage,
  count
};

struct RowLabel {
  Row row;
  const char* label;
};

inline constexpr RowLabel row_labels[] = {
    {Row::brand, "Brand / Manufacturer"},
    {Row::model, "Model"},
    {Row::marketing_name, "Marketing name"},
    {Row::codename, "Codename"},
    {Row::imei_1, "IMEI 1"},
    {Row::imei_2, "IMEI 2"},
    {Row::imei_3, "IMEI 3"},
    {Row::imei_4, "IMEI 4"},
    {Row::serial, "Serial"},
    {Row::android_version, "Android version"},
    {Row::security_patch, "Security patch"},
    {Row::build_firmware, "Build / Firmware"},
    {Row::build_number, "Build number"},
    {Row::build_date, "Build date"},
    {Row::build_type, "Build type"},
    {Row::fingerprint, "Fingerprint"},
    {Row::chipset, "Chipset / Platform"},
    {Row::board, "Board"},
    {Row::cpu_abi, "CPU ABI"},
    {Row::ram, "RAM"},
    {Row::storage, "Storage (/data)"},
    {Row::screen, "Screen"},
    {Row::baseband, "Baseband"},
    {Row::bootloader, "Bootloader"},
    {Row::bootloader_locked, "Bootloader locked"},
    {Row::encryption, "Encryption"},
    {Row::selinux, "SELinux"},
    {Row::kernel, "Kernel"},
    {Row::carrier, "Carrier / SIM"},
    {Row::sim_state, "SIM state"},
    {Row::device_type, "Device type"},
    {Row::timezone, "Timezone"},
    {Row::android_id, "Android ID"},
    {Row::hostname, "Hostname"},
    {Row::soc, "SoC"},
    {Row::soc_model, "SoC model"},
    {Row::gpu, "GPU"},
    {Row::first_api_level, "First API level"},
    {Row::locale, "Locale"},
    {Row::wifi_mac, "WiFi MAC"},
    {Row::bluetooth_mac, "Bluetooth MAC"},
    {Row::installed_apps, "Installed apps"},
    {Row::google_accounts, "Google accounts"},
    {Row::oem_unlocking, "OEM unlocking"},
    {Row::knox_warranty, "Knox warranty"},
    {Row::frp_partition, "FRP partition"},
    {Row::avb_version, "AVB version"},
    {Row::secure_flags, "ro.secure / adb.secure"},
    {Row::battery, "Battery"},
    {Row::battery_cycles, "Battery cycles"},
    {Row::battery_health, "Battery health"},
    {Row::battery_serial, "Battery serial"},
    {Row::adb_root, "ADB root"},
    {Row::product, "Product / Model"},
    {Row::variant, "Variant"},
    {Row::bootloader_version, "Bootloader version"},
    {Row::secure, "Secure"},
    {Row::unlocked, "Unlocked"},
    {Row::slot_count, "Slot count"},
    {Row::current_slot, "Current slot"},
    {Row::battery_voltage, "Battery voltage"},
};

// The table holds one entry per row, in the enum's order, so that a row's
// entry is found by its number.
constexpr bool row_labels_in_order() {
  int n = 0;
  for (const RowLabel& entry : row_labels) {
    if (static_cast<int>(entry.row) != n++) return false;
  }
  return n == static_cast<int>(Row::count);
}
static_assert(row_labels_in_order(), "row_labels: one entry per Row, in the enum's order");

constexpr bool same_text(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

// The page tells rows apart by their labels alone.
constexpr bool row_labels_distinct() {
  for (const RowLabel& a : row_labels) {
    for (const RowLabel& b : row_labels) {
      if (a.row != b.row && same_text(a.label, b.label)) return false;
    }
  }
  return true;
}
static_assert(row_labels_distinct(), "row_labels: every label once");

constexpr const char* row_label(Row row) { return row_labels[static_cast<int>(row)].label; }

// The IMEI row of slot 0 to 3.
constexpr Row imei_row(int slot) { return static_cast<Row>(static_cast<int>(Row::imei_1) + slot); }
static_assert(imei_row(3) == Row::imei_4, "four IMEI rows in slot order");
