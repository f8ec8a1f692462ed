#include "report/adb_properties.h"

#include <cstdio>
#include <cstring>

#include "report/field_list.h"
#include "report/getprop.h"
#include "report/report_rows.h"
#include "report/text_scan.h"

static_assert(imei_row(imei_slots - 1) == Row::imei_4, "an IMEI row for every slot, and no more slots");

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
  auto row = [&](Row r, const char* value) { append_field(list, first, row_label(r), value, adb_list_cap); };
  row(Row::brand, p.brand);
  row(Row::model, p.model);
  row(Row::marketing_name, p.marketing_name);
  row(Row::codename, p.device);
  for (int i = 0; i < imeis.count && i < imei_slots; ++i) row(imei_row(i), imeis.slots[i]);
  row(Row::serial, either(p.serial, device_serial));
  row(Row::android_version, d.android_version);
  row(Row::security_patch, p.security_patch);
  row(Row::build_firmware, p.display_id);
  row(Row::build_number, p.incremental);
  row(Row::build_date, p.build_date);
  row(Row::build_type, d.build_type);
  row(Row::fingerprint, p.fingerprint);
  row(Row::chipset, either(p.platform, p.hardware));
  row(Row::board, p.board);
  row(Row::cpu_abi, either(p.cpu_abilist, p.cpu_abi));
  row(Row::ram, probes.ram);
  row(Row::storage, probes.storage);
  row(Row::screen, probes.screen);
  row(Row::baseband, p.baseband);
  row(Row::bootloader, p.bootloader);
  row(Row::bootloader_locked, d.bootloader_locked);
  row(Row::encryption, d.encryption);
  row(Row::selinux, probes.selinux);
  row(Row::kernel, probes.kernel);
  row(Row::carrier, either(p.sim_operator, p.operator_alpha));
  row(Row::sim_state, p.sim_state);
  row(Row::device_type, p.characteristics);
  row(Row::timezone, p.timezone);
  row(Row::android_id, probes.android_id);
  row(Row::hostname, p.hostname);
  row(Row::soc, p.soc_manufacturer);
  row(Row::soc_model, p.soc_model);
  row(Row::gpu, p.egl);
  row(Row::first_api_level, p.first_api_level);
  row(Row::locale, p.locale);
  row(Row::wifi_mac, probes.wifi_mac);
  row(Row::bluetooth_mac, probes.bluetooth_mac);
  row(Row::installed_apps, probes.installed_apps);
  row(Row::google_accounts, probes.google_accounts);
  row(Row::oem_unlocking, d.oem_unlocking);
  row(Row::knox_warranty, d.knox_warranty);
  row(Row::frp_partition, p.frp_pst);
  row(Row::avb_version, p.avb_version);
  row(Row::secure_flags, d.secure_flags);
  row(Row::battery, probes.battery);
}
