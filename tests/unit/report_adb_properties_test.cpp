#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "report/adb_properties.h"
#include "report/field_list.h"

namespace {

struct Phone {
  PropertyValues props;
  DerivedTexts derived;
  explicit Phone(const std::string& getprop) {
    read_first_property_group(getprop.c_str(), props);
    read_second_property_group(getprop.c_str(), props);
    android_version_text(props, derived.android_version);
    derive_texts(props, derived);
  }
};

}  // namespace

TEST(ReportProperties, AndroidVersionAndApiLevel) {
  Phone both("[ro.build.version.release]: [14]\n[ro.build.version.sdk]: [34]\n");
  EXPECT_STREQ(both.derived.android_version, "14 (API 34)");
  EXPECT_EQ(api_level(both.props), 34);
  Phone no_sdk("[ro.build.version.release]: [14]\n");
  EXPECT_STREQ(no_sdk.derived.android_version, "14");
  EXPECT_EQ(api_level(no_sdk.props), 0);
  Phone no_release("[ro.build.version.sdk]: [34]\n");
  EXPECT_STREQ(no_release.derived.android_version, " (API 34)");
}

TEST(ReportProperties, JoinedTextsNeedBothParts) {
  Phone full(
      "[ro.build.type]: [user]\n[ro.build.tags]: [release-keys]\n"
      "[ro.crypto.state]: [encrypted]\n[ro.crypto.type]: [file]\n");
  EXPECT_STREQ(full.derived.build_type, "user / release-keys");
  EXPECT_STREQ(full.derived.encryption, "encrypted (file)");
  Phone halves("[ro.build.type]: [user]\n[ro.crypto.state]: [encrypted]\n");
  EXPECT_STREQ(halves.derived.build_type, "user");
  EXPECT_STREQ(halves.derived.encryption, "encrypted");
  Phone tags_only("[ro.build.tags]: [release-keys]\n");
  EXPECT_STREQ(tags_only.derived.build_type, "");
}

TEST(ReportProperties, BootloaderLockedRulesInOrder) {
  EXPECT_STREQ(Phone("[ro.boot.flash.locked]: [1]\n[ro.boot.verifiedbootstate]: [orange]\n").derived.bootloader_locked,
               "Locked");
  EXPECT_STREQ(Phone("[ro.boot.flash.locked]: [0]\n").derived.bootloader_locked, "Unlocked");
  EXPECT_STREQ(Phone("[ro.boot.flash.locked]: [01]\n[ro.boot.verifiedbootstate]: [orange]\n").derived.bootloader_locked,
               "orange");
  EXPECT_STREQ(Phone("[ro.boot.vbmeta.device_state]: [unlocked]\n").derived.bootloader_locked, "unlocked");
  EXPECT_STREQ(Phone("").derived.bootloader_locked, "");
}

TEST(ReportProperties, SecureFlagsKeepAnEmptySide) {
  EXPECT_STREQ(Phone("[ro.secure]: [1]\n").derived.secure_flags, "1 / ");
  EXPECT_STREQ(Phone("[ro.adb.secure]: [0]\n").derived.secure_flags, " / 0");
  EXPECT_STREQ(Phone("").derived.secure_flags, "");
  EXPECT_STREQ(Phone("[ro.warranty_bit]: [1]\n").derived.knox_warranty, "TRIPPED (0x1)");
  EXPECT_STREQ(Phone("[sys.oem_unlock_allowed]: [2]\n").derived.oem_unlocking, "Not allowed");
}

TEST(ReportProperties, SmallCapsAreKept) {
  Phone phone("[ro.product.first_api_level]: [" + std::string(100, '3') + "]\n[ro.boot.warranty_bit]: [" +
              std::string(20, '0') + "]\n[ro.product.model]: [" + std::string(300, 'M') + "]\n");
  EXPECT_EQ(std::string(phone.props.first_api_level), std::string(63, '3'));
  EXPECT_EQ(std::string(phone.props.warranty_bit), std::string(15, '0'));
  EXPECT_EQ(std::string(phone.props.model), std::string(255, 'M'));
}

TEST(ReportProperties, RowsUseFallbacksAndPlaceImeisAfterCodename) {
  Phone phone(
      "[ro.product.manufacturer]: []\n[ro.product.brand]: [lge]\n[ro.product.device]: [timelm]\n"
      "[ro.hardware]: [qcom]\n[ro.product.cpu.abi]: [arm64-v8a]\n[gsm.operator.alpha]: [Jazz]\n");
  ProbeTexts probes{};
  ImeiList imeis{};
  std::snprintf(imeis.slots[0], sizeof imeis.slots[0], "352099001761481");
  std::snprintf(imeis.slots[1], sizeof imeis.slots[1], "490154203237518");
  std::snprintf(imeis.slots[2], sizeof imeis.slots[2], "35209900176146");
  imeis.count = 3;
  std::string list(adb_list_cap, '\0');
  int first = 1;
  add_property_rows(phone.props, phone.derived, probes, imeis, "DEV1", &list[0], &first);
  EXPECT_EQ(std::string(list.c_str()),
            "[\"Brand / Manufacturer\",\"lge\"],[\"Codename\",\"timelm\"],[\"IMEI 1\",\"352099001761481\"],"
            "[\"IMEI 2\",\"490154203237518\"],[\"IMEI 3\",\"35209900176146\"],[\"Serial\",\"DEV1\"],"
            "[\"Chipset / Platform\",\"qcom\"],[\"CPU ABI\",\"arm64-v8a\"],[\"Carrier / SIM\",\"Jazz\"]");
}
