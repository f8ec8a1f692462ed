#include "actions/partition_guard.h"

#include <cstring>

namespace {

constexpr int identity_partition_count = 40;

// The areas that hold a phone's identity; never flashed.
constexpr const char* identity_partitions[identity_partition_count] = {
    "nvram",     "nvdata",     "nvcfg",      "nvram_cfg", "proinfo",  "persist", "persistbak", "protect1",
    "protect2",  "protect",    "efs",        "efs1",      "efs2",     "sec_efs", "modemst1",   "modemst2",
    "modem_st1", "modem_st2",  "md_udc",     "fsg",       "fsc",      "cdt",     "frp",        "para",
    "oeminfo",   "qcn",        "nvbk",       "nvcache",   "simlock",  "nv1",     "nv2",        "fixnv1",
    "fixnv2",    "runtimenv1", "runtimenv2", "runtimenv", "miscdata", "prodnv",  "gpsgl",      "gpsbd",
};

constexpr int longest_valid_name = 41;

bool is_allowed(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
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
  for (const char* entry : identity_partitions) {
    if (std::strcmp(lower, entry) == 0) return true;
  }
  return false;
}
