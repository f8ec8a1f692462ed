// Why no phone is seen: the findings from the tools' lists and the USB list,
// their order, and the reply body.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "phones/android_usb_vendors.h"
#include "phones/doctor_route.h"
#include "platform/usb_devices.h"
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

platform::UsbDevice usb_device(unsigned vendor, unsigned product, bool adb = false, bool fastboot = false,
                               bool file_transfer = false) {
  platform::UsbDevice d;
  d.vendor_id = vendor;
  d.product_id = product;
  d.adb_interface = adb;
  d.fastboot_interface = fastboot;
  d.file_transfer_interface = file_transfer;
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

Codes codes(const DoctorFacts& f) {
  Diagnosis d;
  diagnose(f, d);
  Codes out;
  for (int i = 0; i < d.count; ++i) out.push_back(finding_code(d.items[i].finding));
  return out;
}

std::string body_of(const DoctorFacts& f) {
  Diagnosis d;
  diagnose(f, d);
  char body[8192];
  const int n = format_doctor_body(d, f.usb, body, sizeof body);
  return std::string(body, static_cast<size_t>(n));
}

}  // namespace

TEST(Doctor, EachListedStateGetsItsOwnFinding) {
  EXPECT_EQ(codes(facts(adb_unauthorized)), Codes{"adb_unauthorized"});
  EXPECT_EQ(codes(facts(adb_offline)), Codes{"adb_offline"});
  EXPECT_EQ(codes(facts(adb_authorizing)), Codes{"adb_authorizing"});
  EXPECT_EQ(codes(facts(adb_no_permissions)), Codes{"adb_no_permissions"});
  EXPECT_EQ(codes(facts(adb_empty, fastboot_no_permissions)), Codes{"fastboot_no_permissions"});
  for (const char* state : {"recovery", "sideload", "rescue", "bootloader", "host"}) {
    const std::string list = std::string("List of devices attached\nR58N12345\t") + state + "\n";
    EXPECT_EQ(codes(facts(list.c_str())), Codes{"adb_other_mode"}) << state;
  }
  // Windows lists end in CR LF.
  EXPECT_EQ(codes(facts("List of devices attached\r\n3949363555493098\toffline\r\n\r\n")), Codes{"adb_offline"});
  // A ready phone with nothing wrong: no finding at all.
  EXPECT_EQ(codes(facts(adb_ready)), Codes{});
  EXPECT_EQ(codes(facts(adb_empty, fastboot_phone)), Codes{});
}

TEST(Doctor, EveryPhoneGetsItsFindingBesideAReadyOne) {
  const std::string list = std::string(adb_ready) + "AAA1\tunauthorized\nBBB2\tunauthorized\nCCC3\toffline\n";
  EXPECT_EQ(codes(facts(list.c_str())), (Codes{"adb_unauthorized", "adb_unauthorized", "adb_offline"}));
  const std::string body = body_of(facts(list.c_str()));
  EXPECT_NE(body.find("{\"code\":\"adb_unauthorized\",\"serial\":\"BBB2\",\"mode\":\"ADB\",\"text\":\""),
            std::string::npos)
      << body;
}

TEST(Doctor, AdbItselfComesFirstAndAFreshServerIsNoFault) {
  DoctorFacts f = facts("");
  f.adb_there = false;
  EXPECT_EQ(codes(f), Codes{"adb_missing"});
  // What a missing adb would have listed is not read.
  f.adb_output = adb_unauthorized;
  EXPECT_EQ(codes(f), Codes{"adb_missing"});
  EXPECT_EQ(codes(facts(adb_port_taken)), Codes{"adb_server_conflict"});
  // adb killed the other server and works, but its owner will start it again.
  EXPECT_EQ(codes(facts(adb_other_version)), Codes{"adb_server_conflict"});
  EXPECT_EQ(codes(facts(adb_fresh_start)), Codes{"none_seen"});
  // Several at once, most useful first.
  const std::string both = std::string(adb_other_version) + "3949363555493098\toffline\nR58N12345\tunauthorized\n";
  EXPECT_EQ(codes(facts(both.c_str())), (Codes{"adb_server_conflict", "adb_unauthorized", "adb_offline"}));
}

TEST(Doctor, FastbootMissingSaysWhetherItsDownloadFailed) {
  DoctorFacts f = facts(adb_ready);
  f.fastboot_there = false;
  f.fastboot_output = fastboot_phone;  // a missing fastboot lists nothing
  EXPECT_EQ(codes(f), Codes{});        // the first flash fetches it
  f.fastboot_download_failed = true;
  EXPECT_EQ(codes(f), Codes{"fastboot_missing"});
  EXPECT_NE(body_of(f).find("download bhi nahi ho saka"), std::string::npos);
  f.fastboot_there = true;  // put there by hand after a failed download
  EXPECT_EQ(codes(f), Codes{});

  // A file of fastboot's name that cannot be started, even beside a ready phone.
  f.fastboot_there = false;
  f.fastboot_unstartable = true;
  EXPECT_EQ(codes(f), Codes{"fastboot_missing"});
  EXPECT_NE(body_of(f).find("chal nahi saki"), std::string::npos);

  DoctorFacts none = facts(adb_empty);
  none.fastboot_there = false;
  EXPECT_EQ(codes(none), (Codes{"fastboot_missing", "none_seen"}));
  EXPECT_NE(body_of(none).find("Pehli flash par"), std::string::npos);
}

TEST(Doctor, WithNoListedPhoneTheUsbListTellsWhy) {
  const auto with = [](const std::vector<platform::UsbDevice>& devices, const char* adb_output = adb_empty) {
    platform::UsbDevices usb = usb_list(devices);
    return codes(facts(adb_output, "", &usb));
  };
  EXPECT_EQ(with({}), Codes{"none_seen"});
  // Intel Bluetooth, a Lenovo dock, a Samsung disk: no phones.
  EXPECT_EQ(with({usb_device(0x8087, 0x0026), usb_device(0x17ef, 0x3082), usb_device(0x04e8, 0x61f5)}),
            Codes{"none_seen"});
  // A phone maker's device in file-transfer mode is a phone without ADB.
  EXPECT_EQ(with({usb_device(0x8087, 0x0026), usb_device(0x2717, 0xff48, false, false, true)}),
            Codes{"usb_debugging_off"});
  // An ADB or fastboot interface is decisive, whoever made it.
  EXPECT_EQ(with({usb_device(0x17ef, 0x7a3a, true)}), Codes{"usb_not_listed"});
  EXPECT_EQ(with({usb_device(0x18d1, 0x4ee0, false, true)}), Codes{"usb_not_listed"});

  platform::UsbDevice no_driver = usb_device(0x18d1, 0x4ee0, false, true);
  no_driver.problem = 28;
  EXPECT_EQ(with({usb_device(0x2717, 0xff48, false, false, true), no_driver}),
            (Codes{"usb_no_driver", "usb_debugging_off"}));
  // A composite phone whose driver failed shows no interfaces: its maker tells.
  platform::UsbDevice failed = usb_device(0x04e8, 0x6860);
  failed.problem = 10;
  EXPECT_EQ(with({failed}), Codes{"usb_no_driver"});
  platform::UsbDevice keyboard = usb_device(0x046d, 0xc31c);
  keyboard.problem = 28;
  EXPECT_EQ(with({keyboard}), Codes{"none_seen"});
  platform::UsbDevice denied = usb_device(0x2717, 0xff48, true);
  denied.access = platform::UsbAccess::denied;
  EXPECT_EQ(with({denied}), Codes{"usb_no_permission"});
  // The USB faults stand even when a tool lists the phone.
  EXPECT_EQ(with({denied}, adb_no_permissions), (Codes{"usb_no_permission", "adb_no_permissions"}));
  // A phone without ADB is passed over once a tool lists a phone.
  EXPECT_EQ(with({usb_device(0x2717, 0xff48, false, false, true)}, adb_unauthorized), Codes{"adb_unauthorized"});
  // A USB list that could not be read says nothing either way.
  platform::UsbDevices unread;
  EXPECT_EQ(codes(facts(adb_empty, "", &unread)), Codes{"none_seen"});
}

TEST(Doctor, BodyIsValidJsonAndNamesOnlyUsableSerials) {
  EXPECT_EQ(body_of(facts(adb_ready)), "{\"ok\":true,\"findings\":[]}");

  platform::UsbDevices usb = usb_list({usb_device(0x18D1, 0x4EE0, false, true)});
  usb.devices[0].problem = 28;
  const std::string body = body_of(facts(adb_no_permissions, "", &usb));
  EXPECT_TRUE(json_check::Reader(body.data(), body.size()).whole_value()) << body;
  EXPECT_EQ(body.rfind("{\"ok\":true,\"findings\":[{\"code\":\"usb_no_driver\",\"mode\":\"Fastboot\","
                       "\"usb\":\"18d1:4ee0\",\"maker\":\"Google\",\"text\":\"",
                       0),
            0u)
      << body;
  // adb's "????????????" is never echoed.
  EXPECT_NE(body.find("{\"code\":\"adb_no_permissions\",\"mode\":\"ADB\",\"text\":"), std::string::npos) << body;
  EXPECT_EQ(body.find("????"), std::string::npos);
  EXPECT_NE(body_of(facts(adb_unauthorized)).find("\\\"Allow USB debugging\\\""), std::string::npos);

  // A full list of findings fits, and a small buffer still ends the body.
  std::string many = "List of devices attached\n";
  for (int i = 0; i < 40; ++i) many += "SERIAL" + std::to_string(i) + "\tunauthorized\n";
  Diagnosis all;
  diagnose(facts(many.c_str()), all);
  EXPECT_EQ(all.count, max_findings);
  for (int size : {8192, 200, 40}) {
    char small[8192];
    const int n = format_doctor_body(all, nullptr, small, size);
    EXPECT_LT(n, size);
    EXPECT_TRUE(json_check::Reader(small, static_cast<size_t>(n)).whole_value()) << size << " " << small;
  }
}

TEST(Doctor, AUsbIdIsFollowedByItsMakerWhenTheVendorListKnowsIt) {
  // Xiaomi (a phone maker), Lenovo (also PC parts: still named), Logitech
  // (no Android maker): each with an ADB interface no tool lists.
  platform::UsbDevices usb =
      usb_list({usb_device(0x2717, 0xff48, true), usb_device(0x17ef, 0x7a3a, true), usb_device(0x046d, 0xc31c, true)});
  const std::string body = body_of(facts(adb_empty, "", &usb));
  EXPECT_TRUE(json_check::Reader(body.data(), body.size()).whole_value()) << body;
  EXPECT_NE(body.find("\"usb\":\"2717:ff48\",\"maker\":\"Xiaomi\",\"text\":"), std::string::npos) << body;
  EXPECT_NE(body.find("\"usb\":\"17ef:7a3a\",\"maker\":\"Lenovo\",\"text\":"), std::string::npos) << body;
  EXPECT_NE(body.find("\"usb\":\"046d:c31c\",\"text\":"), std::string::npos) << body;
  EXPECT_EQ(body.find("\"maker\"", body.find("046d:c31c")), std::string::npos) << body;
}

TEST(Doctor, APhoneOnUsbNoToolListsGetsThisSystemsAdvice) {
  platform::UsbDevices usb = usb_list({usb_device(0x18d1, 0x4ee7, true)});
  const auto text = [&usb](platform::UsbReachFix fix) {
    DoctorFacts f = facts(adb_empty, "", &usb);
    f.usb_fix = fix;
    Diagnosis d;
    diagnose(f, d);
    EXPECT_EQ(d.count, 1);
    return d.count == 1 ? std::string(d.items[0].text) : std::string();
  };
  EXPECT_NE(text(platform::UsbReachFix::install_driver).find("Windows par Google USB Driver"), std::string::npos);
  const std::string udev = text(platform::UsbReachFix::udev_rule);
  EXPECT_NE(udev.find("udev rule"), std::string::npos) << udev;
  EXPECT_EQ(udev.find("Windows"), std::string::npos) << udev;
  EXPECT_EQ(udev.find("Driver"), std::string::npos) << udev;
#ifndef _WIN32
  // A Linux bridge gives the udev advice unless told otherwise.
  EXPECT_EQ(body_of(facts(adb_empty, "", &usb)).find("Windows"), std::string::npos);
#endif
}

TEST(Doctor, AnAnsweringNetworkFastbootPhoneIsNoMissingPhone) {
  platform::UsbDevices none = usb_list({});
  DoctorFacts f = facts(adb_empty, "", &none);
  EXPECT_EQ(codes(f), Codes{"none_seen"});
  f.network_fastboot_serial = "tcp:127.0.0.1:5555";
  EXPECT_EQ(codes(f), Codes{});
  EXPECT_EQ(body_of(f), "{\"ok\":true,\"findings\":[]}");
  // Beside it, the other phones still get their findings.
  f.adb_output = adb_unauthorized;
  EXPECT_EQ(codes(f), Codes{"adb_unauthorized"});
  // A serial no command line may take counts for nothing.
  f.adb_output = adb_empty;
  f.network_fastboot_serial = "tcp:127.0.0.1 5555";
  EXPECT_EQ(codes(f), Codes{"none_seen"});
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
