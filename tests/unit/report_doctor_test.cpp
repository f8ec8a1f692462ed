// Why no phone is seen: the findings from the tools' lists and the USB list,
// their order, and the reply body.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/usb_devices.h"
#include "report/android_usb_vendors.h"
#include "report/doctor.h"
#include "tests/support/json_check.h"

namespace {

// Real lists (copies of tests/fixtures/doctor/*.txt).
constexpr char adb_unauthorized[] = "List of devices attached\n8XV5000A20007972\tunauthorized\n";
constexpr char adb_offline[] = "List of devices attached\n3949363555493098\toffline\n";
constexpr char adb_authorizing[] = "List of devices attached\n3949363555493098\tauthorizing\n";
constexpr char fastboot_no_permissions[] =
    "no permissions; see [http://developer.android.com/tools/device.html]\tfastboot\n";
constexpr char fastboot_phone[] = "00153156J000498\tfastboot\n";
// Shapes the tools print (see the notes on the real tools).
constexpr char adb_empty[] = "List of devices attached\n\n";
constexpr char adb_ready[] = "List of devices attached\nR58N12345\tdevice\n";
constexpr char adb_no_permissions[] =
    "List of devices attached\n????????????\tno permissions (missing udev rules? user is in the plugdev group); see "
    "[http://developer.android.com/tools/device.html]\n";
constexpr char adb_other_version[] =
    "adb server version (41) doesn't match this client (39); killing...\n* daemon started successfully\n"
    "List of devices attached\n\n";
constexpr char adb_port_taken[] =
    "* daemon not running; starting now at tcp:5037\nerror: could not install *smartsocket* listener: Address already "
    "in use\n* failed to start daemon\nerror: cannot connect to daemon\n";
constexpr char adb_fresh_start[] =
    "* daemon not running; starting now at tcp:5037\n* daemon started successfully\nList of devices attached\n\n";

using Codes = std::vector<std::string>;

platform::UsbDevice usb_device(unsigned vendor, unsigned product, bool adb = false, bool fastboot = false) {
  platform::UsbDevice d;
  d.vendor_id = vendor;
  d.product_id = product;
  d.adb_interface = adb;
  d.fastboot_interface = fastboot;
  return d;
}

platform::UsbDevices usb_list(const std::vector<platform::UsbDevice>& devices) {
  platform::UsbDevices usb;
  usb.looked = true;
  for (const auto& d : devices) usb.devices[usb.count++] = d;
  return usb;
}

DoctorFacts facts(const char* adb_output, const char* fastboot_output = "", const platform::UsbDevices* usb = nullptr) {
  DoctorFacts f;
  f.adb_there = true;
  f.adb_output = adb_output;
  f.fastboot_there = true;
  f.fastboot_output = fastboot_output;
  f.usb = usb;
  return f;
}

Codes codes(const DoctorFacts& f, bool* ready = nullptr) {
  Diagnosis d;
  diagnose(f, d);
  Codes out;
  for (int i = 0; i < d.count; ++i) out.push_back(finding_code(d.items[i].finding));
  if (ready != nullptr) *ready = d.ready;
  return out;
}

}  // namespace

TEST(Doctor, EachListedStateGetsItsOwnFinding) {
  bool ready = true;
  EXPECT_EQ(codes(facts(adb_unauthorized), &ready), Codes{"unauthorized"});
  EXPECT_FALSE(ready);
  EXPECT_EQ(codes(facts(adb_offline)), Codes{"offline"});
  EXPECT_EQ(codes(facts(adb_authorizing)), Codes{"authorizing"});
  EXPECT_EQ(codes(facts(adb_ready), &ready), Codes{"phone_ready"});
  EXPECT_TRUE(ready);
  EXPECT_EQ(codes(facts(adb_empty, fastboot_phone), &ready), Codes{"phone_ready"});
  EXPECT_TRUE(ready);
  // A listed phone that may not be opened is no ready phone.
  EXPECT_EQ(codes(facts(adb_empty, fastboot_no_permissions), &ready), Codes{"no_permissions"});
  EXPECT_FALSE(ready);
  EXPECT_EQ(codes(facts(adb_no_permissions)), Codes{"no_permissions"});
  // Windows lists end in CR LF.
  EXPECT_EQ(codes(facts("List of devices attached\r\n3949363555493098\toffline\r\n\r\n")), Codes{"offline"});
}

TEST(Doctor, AdbItselfComesFirstAndAFreshServerIsNoFault) {
  DoctorFacts f = facts("");
  f.adb_there = false;
  EXPECT_EQ(codes(f), Codes{"adb_missing"});
  EXPECT_EQ(codes(facts("")), Codes{"adb_not_started"});
  EXPECT_EQ(codes(facts(adb_port_taken)), Codes{"adb_server_conflict"});
  // adb killed the other server and works, but its owner will start it again.
  EXPECT_EQ(codes(facts(adb_other_version)), Codes{"adb_server_conflict"});
  EXPECT_EQ(codes(facts(adb_fresh_start)), Codes{"no_phone"});
  // Several at once, in their fixed order.
  const std::string both = std::string(adb_other_version) + "3949363555493098\toffline\nR58N12345\tunauthorized\n";
  EXPECT_EQ(codes(facts(both.c_str())), (Codes{"adb_server_conflict", "unauthorized", "offline"}));
}

TEST(Doctor, FastbootMissingSaysWhetherItsDownloadFailed) {
  DoctorFacts f = facts(adb_ready);
  f.fastboot_there = false;
  EXPECT_EQ(codes(f), (Codes{"phone_ready", "fastboot_on_demand"}));
  f.fastboot_download_failed = true;
  EXPECT_EQ(codes(f), (Codes{"phone_ready", "fastboot_missing"}));
  f.fastboot_there = true;  // put there by hand after a failed download
  EXPECT_EQ(codes(f), Codes{"phone_ready"});
}

TEST(Doctor, WithNoListedPhoneTheUsbListTellsWhy) {
  const auto with = [](const std::vector<platform::UsbDevice>& devices, const char* adb_output = adb_empty) {
    platform::UsbDevices usb = usb_list(devices);
    return codes(facts(adb_output, "", &usb));
  };
  EXPECT_EQ(with({}), Codes{"no_usb_phone"});
  // Intel Bluetooth and a Lenovo dock: makers of phones, but PC parts here.
  EXPECT_EQ(with({usb_device(0x8087, 0x0026), usb_device(0x17ef, 0x3082)}), Codes{"no_usb_phone"});
  EXPECT_EQ(with({usb_device(0x8087, 0x0026), usb_device(0x2717, 0xff48)}), Codes{"usb_debugging_off"});
  // An ADB or fastboot interface is decisive, whoever made it.
  EXPECT_EQ(with({usb_device(0x17ef, 0x7a3a, true)}), Codes{"usb_not_listed"});
  EXPECT_EQ(with({usb_device(0x18d1, 0x4ee0, false, true)}), Codes{"usb_not_listed"});

  platform::UsbDevice no_driver = usb_device(0x18d1, 0x4ee0, false, true);
  no_driver.problem = 28;
  EXPECT_EQ(with({usb_device(0x2717, 0xff48), no_driver}), Codes{"usb_driver_missing"});
  platform::UsbDevice denied = usb_device(0x2717, 0xff48, true);
  denied.access = platform::UsbAccess::denied;
  EXPECT_EQ(with({denied}), Codes{"no_permissions"});
  // A maker's device without ADB is passed over once a tool lists a phone.
  EXPECT_EQ(with({usb_device(0x2717, 0xff48)}, adb_unauthorized), Codes{"unauthorized"});
  // A USB list that could not be read says nothing either way.
  platform::UsbDevices unread;
  EXPECT_EQ(codes(facts(adb_empty, "", &unread)), Codes{"no_phone"});
}

TEST(Doctor, BodyIsValidJsonWithCodeTextAndTheDevice) {
  platform::UsbDevices usb = usb_list({usb_device(0x04e8, 0x6860)});
  Diagnosis d;
  diagnose(facts(adb_unauthorized, "", &usb), d);
  char body[8192];
  int n = format_doctor_body(d, &usb, body, sizeof body);
  const std::string text(body, static_cast<size_t>(n));
  EXPECT_TRUE(json_check::Reader(body, static_cast<size_t>(n)).whole_value()) << text;
  EXPECT_EQ(text.rfind("{\"ok\":true,\"ready\":false,\"findings\":[{\"code\":\"unauthorized\",\"text\":\"", 0), 0u);
  EXPECT_NE(text.find("\\\"Allow USB debugging\\\""), std::string::npos) << text;

  diagnose(facts(adb_empty, "", &usb), d);
  n = format_doctor_body(d, &usb, body, sizeof body);
  EXPECT_NE(std::string(body, static_cast<size_t>(n)).find(",\"usb\":\"04e8:6860 Samsung\"}]}"), std::string::npos)
      << body;
  // Every finding fits, and a small buffer still ends the body.
  for (int size : {8192, 200, 40}) {
    Diagnosis all;
    for (int i = 0; i <= static_cast<int>(Finding::no_phone); ++i)
      all.items[all.count++] = {static_cast<Finding>(i), 0};
    n = format_doctor_body(all, &usb, body, size);
    EXPECT_LT(n, size);
    EXPECT_TRUE(json_check::Reader(body, static_cast<size_t>(n)).whole_value()) << size << " " << body;
    if (size == 8192) EXPECT_NE(std::string(body).find("\"code\":\"no_phone\""), std::string::npos);
  }
}

TEST(AndroidVendors, KnownMakersAndPcParts) {
  bool pc = true;
  EXPECT_STREQ(android_vendor_name(0x18d1, &pc), "Google");
  EXPECT_FALSE(pc);
  EXPECT_STREQ(android_vendor_name(0x2717), "Xiaomi");
  EXPECT_STREQ(android_vendor_name(0x8087, &pc), "Intel");
  EXPECT_TRUE(pc);
  EXPECT_EQ(android_vendor_name(0x046d), nullptr);  // Logitech
  EXPECT_EQ(android_vendor_name(0x1d6b), nullptr);  // Linux root hubs
}
