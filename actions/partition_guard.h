// Which partition names the flashing routes accept.
#pragma once

constexpr int partition_name_cap = 63;  // value buffer: 63 characters and a NUL

// True for 1 to 41 characters, each an ASCII letter, digit or underscore.
// Such a name can stand unquoted in a fastboot command line.
bool is_valid_partition_name(const char* name);

// True when `name` (a valid name) is one of the partitions that hold a
// phone's identity (IMEI, EFS, NV, calibration, FRP), or such a partition's
// A/B slot copy (the name followed by "_a" or "_b"); letter case ignored,
// whole names only.
bool is_identity_partition(const char* name);
