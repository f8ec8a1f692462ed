#include <gtest/gtest.h>

#include <string>

#include "actions/partition_guard.h"

TEST(PartitionGuard, FormAllowsLettersDigitsUnderscoreUpTo41Characters) {
  for (const char* name : {"boot", "boot_a", "BOOT", "0", "_", "vendor_boot_b"}) {
    EXPECT_TRUE(is_valid_partition_name(name)) << name;
  }
  EXPECT_TRUE(is_valid_partition_name(std::string(41, 'a').c_str()));
  EXPECT_FALSE(is_valid_partition_name(std::string(42, 'a').c_str()));
  EXPECT_FALSE(is_valid_partition_name(std::string(63, 'a').c_str()));
}

TEST(PartitionGuard, FormRefusesEverythingThatCouldLeaveTheArgument) {
  for (const char* name :
       {"", "system-a", "vendor.img", "boot%5Fa", "boot a", "boot\"", "a/b", "a\\b", "boot;x", "\xc3\xa9", "boot\t"}) {
    EXPECT_FALSE(is_valid_partition_name(name)) << name;
  }
}

TEST(PartitionGuard, IdentityListMatchesWholeNamesInAnyCase) {
  for (const char* name : {"nvram", "EFS", "Frp", "Nvram", "modem_st2", "persist", "gpsbd", "RUNTIMENV"}) {
    EXPECT_TRUE(is_identity_partition(name)) << name;
  }
  for (const char* name : {"persist2", "modemst1b", "boot", "nv", "gps", "xefs", "efs_", "efs_c", "efs_ab"}) {
    EXPECT_FALSE(is_identity_partition(name)) << name;
  }
}

TEST(PartitionGuard, OtherNamesOfTheSameAreasAreRefused) {
  // MediaTek's second names for protect1/protect2, Unisoc's LTE NV pairs.
  for (const char* name :
       {"protect_f", "protect_s", "Protect_F", "PROTECT_S", "l_fixnv1", "L_FixNV2", "l_runtimenv1", "l_runtimenv2"}) {
    EXPECT_TRUE(is_identity_partition(name)) << name;
  }
  for (const char* name : {"protect_x", "protect3", "l_fixnv3", "fixnv", "l_modem"}) {
    EXPECT_FALSE(is_identity_partition(name)) << name;
  }
}

TEST(PartitionGuard, SlotCopiesOfEveryIdentityAreaAreRefused) {
  for (const char* name : {"efs_a", "frp_b", "nvdata_a", "NVRAM_B", "protect_f_a", "protect_s_b", "l_fixnv1_a",
                           "l_runtimenv2_b", "modem_st1_A", "persist_b"}) {
    EXPECT_TRUE(is_identity_partition(name)) << name;
  }
  // Only one slot ending is taken off, and only a slot ending.
  for (const char* name : {"efs_a_b", "efs_a_a", "boot_a", "system_b", "frp_c", "frpa", "_a"}) {
    EXPECT_FALSE(is_identity_partition(name)) << name;
  }
}
