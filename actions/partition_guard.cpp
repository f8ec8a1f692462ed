#include "actions/partition_guard.h"

#include <cstring>

namespace {

constexpr int identity_partition_count = 46;

// The areas that hold a phone's identity; never flashed.
// clang-format off
constexpr const char* identity_partitions[identity_partition_count] = {
    "nvram",     "nvdata",     "nvcfg",      "nvram_cfg", "proinfo",  "persist", "persistbak", "protect1",
    "protect2",  "protect",    "efs",        "efs1",      "efs2",     "sec_efs", "modemst1",   "modemst2",
    "modem_st1", "modem_st2",  "md_udc",     "fsg",       "fsc",      "cdt",     "frp",        "para",
    "oeminfo",   "qcn",        "nvbk",       "nvcache",   "simlock",  "nv1",     "nv2",        "fixnv1",
    "fixnv2",    "runtimenv1", "runtimenv2", "runtimenv", "miscdata", "prodnv",  "gpsgl",      "gpsbd",
    // MediaTek: protect1 and protect2 under the names other MediaTek phones
    // give them (SIM lock and modem settings, mounted at
    // /mnt/vendor/protect_f and /mnt/vendor/protect_s). Source:
    // https://softs.im/%E8%81%94%E5%8F%91%E7%A7%91%E6%89%8B%E6%9C%BA%E9%87%8D%E8%A6%81%E5%88%86%E5%8C%BA/
    "protect_f", "protect_s",
    // Unisoc (Spreadtrum): the LTE modem's NV pairs, which its download
    // code marks as NV partitions (PARTITION_PURPOSE_NV) beside fixnv1/2 and
    // runtimenv1/2. Source: github.com/yonglongliu/u-boot64,
    // common/dloader/dl_emmc_operate.c, table s_special_partition_cfg.
    "l_fixnv1",  "l_fixnv2",   "l_runtimenv1", "l_runtimenv2",
};
// clang-format on

constexpr int longest_valid_name = 41;

bool is_allowed(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_listed(const char* lower) {
  for (const char* entry : identity_partitions) {
    if (std::strcmp(lower, entry) == 0) return true;
  }
  return false;
}

}  // namespace

bool is_valid_partition_name(const char* name) {
  if (name[0] == '\0') return false;
  for (int i = 0; name[i] != '\0'; ++i) {
    if (!is_allowed(name[i]) || i >= longest_valid_name) return false;
  }
  return true;
}

bool is_identity_partition(const char* name) {
  char lower[partition_name_cap + 1];
  int n = 0;
  for (; name[n] != '\0' && n < partition_name_cap; ++n) {
    char c = name[n];
    lower[n] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  lower[n] = '\0';
  if (is_listed(lower)) return true;
  // A/B phones keep two copies of an area, as NAME_a and NAME_b.
  if (n > 2 && lower[n - 2] == '_' && (lower[n - 1] == 'a' || lower[n - 1] == 'b')) {
    lower[n - 2] = '\0';
    return is_listed(lower);
  }
  return false;
}
