#include "report/adb_properties.h"

#include <cstdio>
#include <cstring>

#include "report/field_list.h"
#include "report/getprop.h"
#include "report/text_scan.h"

namespace {

template <int N>
void read(const char* text, const char* name, char (&dest)[N]) {
  getprop_value(text, name, dest, N - 1);
}

template <int N>
void read(const char* text, const char* first, const char* second, char (&dest)[N]) {
  getprop_chain(text, first, second, dest, N - 1);
}

const char* either(const char* preferred, const char* fallback) { return preferred[0] != '\0' ? preferred : fallback; }

void joined_or_first(const char* a, const char* b, const char* format, char* out, int size) {
  if (a[0] != '\0' && b[0] != '\0')
    std::snprintf(out, static_cast<size_t>(size), format, a, b);
  else
    std::snprintf(out, static_cast<size_t>(size), "%s", a);
}

}  // namespace

void read_first_property_group(const char* t, PropertyValues& p) {
  read(t, "ro.product.manufacturer", "ro.product.brand", p.brand);
  read(t, "ro.product.vendor.marketname", "ro.vendor.oplus.market.name", p.marketing_name);
  read(t, "ro.board.platform", "ro.mediatek.platform", p.platform);
  read(t, "ro.serialno", "ro.boot.serialno", p.serial);
  read(t, "ro.bootloader", "ro.boot.bootloader", p.bootloader);
  read(t, "ro.product.model", p.model);
  read(t, "ro.product.device", p.device);
  read(t, "ro.product.board", p.board);
  read(t, "ro.build.version.release", p.release);
  read(t, "ro.build.version.sdk", p.sdk);
  read(t, "ro.build.version.security_patch", p.security_patch);
  read(t, "ro.build.version.incremental", p.incremental);
  read(t, "ro.build.display.id", p.display_id);
  read(t, "ro.build.fingerprint", p.fingerprint);
  read(t, "ro.build.type", p.build_type);
  read(t, "ro.build.tags", p.build_tags);
  read(t, "ro.build.date", p.build_date);
  read(t, "ro.hardware", p.hardware);
  read(t, "ro.product.cpu.abi", p.cpu_abi);
  read(t, "ro.product.cpu.abilist", p.cpu_abilist);
  read(t, "ro.boot.flash.locked", p.flash_locked);
  read(t, "ro.boot.verifiedbootstate", p.verified_boot_state);
  read(t, "ro.boot.vbmeta.device_state", p.vbmeta_device_state);
  read(t, "gsm.version.baseband", p.baseband);
  read(t, "gsm.sim.operator.alpha", p.sim_operator);
  read(t, "gsm.operator.alpha", p.operator_alpha);
  read(t, "gsm.sim.state", p.sim_state);
  read(t, "ro.crypto.state", p.crypto_state);
  read(t, "ro.crypto.type", p.crypto_type);
  read(t, "persist.sys.timezone", p.timezone);
  read(t, "ro.build.characteristics", p.characteristics);
  read(t, "net.hostname", p.hostname);
}

void read_second_property_group(const char* t, PropertyValues& p) {
  read(t, "ro.product.locale", "persist.sys.locale", p.locale);
  read(t, "ro.boot.warranty_bit", "ro.warranty_bit", p.warranty_bit);
  read(t, "ro.boot.avb_version", "ro.boot.vbmeta.avb_version", p.avb_version);
  read(t, "ro.soc.manufacturer", p.soc_manufacturer);
  read(t, "ro.soc.model", p.soc_model);
  read(t, "ro.hardware.egl", p.egl);
  read(t, "ro.product.first_api_level", p.first_api_level);
  read(t, "ro.frp.pst", p.frp_pst);
  read(t, "ro.secure", p.secure);
  read(t, "ro.adb.secure", p.adb_secure);
  read(t, "sys.oem_unlock_allowed", p.oem_unlock_allowed);
}

void android_version_text(const PropertyValues& p, char* out) {
  bool has_sdk = p.sdk[0] != '\0';
  std::snprintf(out, sizeof(DerivedTexts::android_version), "%s%s%s%s", p.release, has_sdk ? " (API " : "",
                has_sdk ? p.sdk : "", has_sdk ? ")" : "");
}

int api_level(const PropertyValues& p) { return leading_int(p.sdk); }

void derive_texts(const PropertyValues& p, DerivedTexts& d) {
  joined_or_first(p.build_type, p.build_tags, "%s / %s", d.build_type, sizeof d.build_type);
  joined_or_first(p.crypto_state, p.crypto_type, "%s (%s)", d.encryption, sizeof d.encryption);

  std::memset(d.bootloader_locked, 0, sizeof d.bootloader_locked);
  const char* locked = "";
  if (std::strcmp(p.flash_locked, "0") == 0)
    locked = "Unlocked";
  else if (std::strcmp(p.flash_locked, "1") == 0)
    locked = "Locked";
  else if (p.verified_boot_state[0] != '\0')
    locked = p.verified_boot_state;
  else if (p.vbmeta_device_state[0] != '\0')
    locked = p.vbmeta_device_state;
  std::snprintf(d.bootloader_locked, sizeof d.bootloader_locked, "%s", locked);

  std::memset(d.knox_warranty, 0, sizeof d.knox_warranty);
  if (p.warranty_bit[0] != '\0')
    std::snprintf(d.knox_warranty, sizeof d.knox_warranty, "%s",
                  std::strcmp(p.warranty_bit, "1") == 0 ? "TRIPPED (0x1)" : "Intact (0x0)");

  std::memset(d.oem_unlocking, 0, sizeof d.oem_unlocking);
  if (p.oem_unlock_allowed[0] != '\0')
    std::snprintf(d.oem_unlocking, sizeof d.oem_unlocking, "%s",
                  std::strcmp(p.oem_unlock_allowed, "1") == 0 ? "Allowed" : "Not allowed");

  std::memset(d.secure_flags, 0, sizeof d.secure_flags);
  if (p.secure[0] != '\0' || p.adb_secure[0] != '\0')
    std::snprintf(d.secure_flags, sizeof d.secure_flags, "%s / %s", p.secure, p.adb_secure);
}

void add_property_rows(const PropertyValues& p, const DerivedTexts& d, const ProbeTexts& probes, const ImeiList& imeis,
                       const char* device_serial, char* list, int* first) {
  auto row = [&](const char* label, const char* value) { append_field(list, first, label, value, adb_list_cap); };
  row("Brand / Manufacturer", p.brand);
  row("Model", p.model);
  row("Marketing name", p.marketing_name);
  row("Codename", p.device);
  static const char* const imei_labels[imei_slots] = {"IMEI 1", "IMEI 2", "IMEI 3", "IMEI 4"};
  for (int i = 0; i < imeis.count && i < imei_slots; ++i) row(imei_labels[i], imeis.slots[i]);
  row("Serial", either(p.serial, device_serial));
  row("Android version", d.android_version);
  row("Security patch", p.security_patch);
  row("Build / Firmware", p.display_id);
  row("Build number", p.incremental);
  row("Build date", p.build_date);
  row("Build type", d.build_type);
  row("Fingerprint", p.fingerprint);
  row("Chipset / Platform", either(p.platform, p.hardware));
  row("Board", p.board);
  row("CPU ABI", either(p.cpu_abilist, p.cpu_abi));
  row("RAM", probes.ram);
  row("Storage (/data)", probes.storage);
  row("Screen", probes.screen);
  row("Baseband", p.baseband);
  row("Bootloader", p.bootloader);
  row("Bootloader locked", d.bootloader_locked);
  row("Encryption", d.encryption);
  row("SELinux", probes.selinux);
  row("Kernel", probes.kernel);
  row("Carrier / SIM", either(p.sim_operator, p.operator_alpha));
  row("SIM state", p.sim_state);
  row("Device type", p.characteristics);
  row("Timezone", p.timezone);
  row("Android ID", probes.android_id);
  row("Hostname", p.hostname);
  row("SoC", p.soc_manufacturer);
  row("SoC model", p.soc_model);
  row("GPU", p.egl);
  row("First API level", p.first_api_level);
  row("Locale", p.locale);
  row("WiFi MAC", probes.wifi_mac);
  row("Bluetooth MAC", probes.bluetooth_mac);
  row("Installed apps", probes.installed_apps);
  row("Google accounts", probes.google_accounts);
  row("OEM unlocking", d.oem_unlocking);
  row("Knox warranty", d.knox_warranty);
  row("FRP partition", p.frp_pst);
  row("AVB version", p.avb_version);
  row("ro.secure / adb.secure", d.secure_flags);
  row("Battery", probes.battery);
}
