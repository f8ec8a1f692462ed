// The ADB report's property values, the texts derived from them, and the
// order of the report's main rows (their labels: report/report_rows.h).
#pragma once
#include "report/imei_reader.h"
#include "report/shell_probes.h"

// Property values read from the getprop text; the array size is the cap
// plus the NUL.
struct PropertyValues {
  // First group.
  char brand[256];
  char marketing_name[256];
  char platform[256];
  char serial[256];
  char bootloader[256];
  char model[256];
  char device[256];
  char board[256];
  char release[256];
  char sdk[256];
  char security_patch[256];
  char incremental[256];
  char display_id[256];
  char fingerprint[256];
  char build_type[256];
  char build_tags[256];
  char build_date[256];
  char hardware[256];
  char cpu_abi[256];
  char cpu_abilist[256];
  char flash_locked[256];
  char verified_boot_state[256];
  char vbmeta_device_state[256];
  char baseband[256];
  char sim_operator[256];
  char operator_alpha[256];
  char sim_state[256];
  char crypto_state[256];
  char crypto_type[256];
  char timezone[256];
  char characteristics[256];
  char hostname[256];
  // Second group.
  char locale[128];
  char warranty_bit[16];
  char avb_version[64];
  char soc_manufacturer[128];
  char soc_model[128];
  char egl[128];
  char first_api_level[64];
  char frp_pst[128];
  char secure[16];
  char adb_secure[16];
  char oem_unlock_allowed[16];
};

// Texts formed from several property values.
struct DerivedTexts {
  char android_version[300];
  char build_type[324];
  char bootloader_locked[64];
  char encryption[324];
  char knox_warranty[48];
  char oem_unlocking[24];
  char secure_flags[48];
};

void read_first_property_group(const char* getprop_text, PropertyValues& props);
void read_second_property_group(const char* getprop_text, PropertyValues& props);

// "14 (API 34)", "14", or " (API 34)" with no release.
void android_version_text(const PropertyValues& props, char* out);

// The leading decimal digits of ro.build.version.sdk; 0 when absent.
int api_level(const PropertyValues& props);

// Every text of DerivedTexts but the Android version.
void derive_texts(const PropertyValues& props, DerivedTexts& derived);

// The rows Row::brand to Row::battery, in the order of the Row enum.
void add_property_rows(const PropertyValues& props, const DerivedTexts& derived, const ProbeTexts& probes,
                       const ImeiList& imeis, const char* device_serial, char* list, int* first);
