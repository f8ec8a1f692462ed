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
  for (const char* name : {"efs_a", "persist2", "modemst1b", "boot", "nv", "frp_a", "gps"}) {
    EXPECT_FALSE(is_identity_partition(name)) << name;
  }
}
