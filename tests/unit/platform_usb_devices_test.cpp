// The USB list: Windows device IDs, interfaces joined to their phone, and
// the Linux sysfs reading over a made-up tree.
#include <gtest/gtest.h>

#include <string>

#include "platform/usb_devices.h"

#ifndef _WIN32
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#endif

namespace {

// A registry list of strings: each NUL-ended, then an empty one.
std::string ids(std::initializer_list<const char*> items) {
  std::string out;
  for (const char* item : items) out += std::string(item) + '\0';
  return out + '\0';
}

}  // namespace

TEST(UsbIds, HardwareAndClassIdsAreReadExactly) {
  unsigned vid = 0, pid = 0;
  bool interface = true;
  EXPECT_TRUE(platform::parse_usb_hardware_id("USB\\VID_18D1&PID_4EE0&REV_0100", &vid, &pid, &interface));
  EXPECT_EQ(vid, 0x18d1u);
  EXPECT_EQ(pid, 0x4ee0u);
  EXPECT_FALSE(interface);
  EXPECT_TRUE(platform::parse_usb_hardware_id("usb\\vid_2717&pid_ff48&mi_01", &vid, &pid, &interface));
  EXPECT_EQ(vid, 0x2717u);
  EXPECT_TRUE(interface);
  for (const char* bad : {"USB\\ROOT_HUB30", "USB\\VID_18D1&PID_4EE", "USB\\VID_18D1&PID_4EE0X",
                          "HID\\VID_18D1&PID_4EE0", "USB\\VID_18D1&PID_4EE0&MI_1", ""}) {
    EXPECT_FALSE(platform::parse_usb_hardware_id(bad, &vid, &pid, &interface)) << bad;
  }
  int c = 0, s = 0, p = 0;
  EXPECT_TRUE(platform::parse_usb_class_id("USB\\Class_ff&SubClass_42&Prot_03", &c, &s, &p));
  EXPECT_EQ(c * 0x10000 + s * 0x100 + p, 0xff4203);
  for (const char* bad : {"USB\\Class_ff&SubClass_42", "USB\\DevClass_00&SubClass_00&Prot_00", "USB\\COMPOSITE"}) {
    EXPECT_FALSE(platform::parse_usb_class_id(bad, &c, &s, &p)) << bad;
  }
}

TEST(UsbIds, ACompositePhoneCountsOnceWithItsInterfacesProblem) {
  platform::UsbDevices usb;
  // The phone, its MTP interface, its ADB interface without a driver (28).
  platform::add_usb_node(ids({"USB\\VID_2717&PID_FF48&REV_0404", "USB\\VID_2717&PID_FF48"}).c_str(),
                         ids({"USB\\DevClass_00&SubClass_00&Prot_00", "USB\\COMPOSITE"}).c_str(), 0, usb);
  platform::add_usb_node(ids({"USB\\VID_2717&PID_FF48&MI_00"}).c_str(),
                         ids({"USB\\Class_06&SubClass_01&Prot_01"}).c_str(), 0, usb);
  platform::add_usb_node(
      ids({"USB\\VID_2717&PID_FF48&REV_0404&MI_01", "USB\\VID_2717&PID_FF48&MI_01"}).c_str(),
      ids({"USB\\Class_ff&SubClass_42&Prot_01", "USB\\Class_ff&SubClass_42", "USB\\Class_ff"}).c_str(), 28, usb);
  // A hub and a phone in the bootloader (one interface, no composite).
  platform::add_usb_node(ids({"USB\\ROOT_HUB30&VID8086&PID1E31"}).c_str(), ids({"USB\\ROOT_HUB30"}).c_str(), 0, usb);
  platform::add_usb_node(ids({"USB\\VID_18D1&PID_4EE0&REV_0100"}).c_str(),
                         ids({"USB\\Class_ff&SubClass_42&Prot_03"}).c_str(), 0, usb);
  ASSERT_EQ(usb.count, 2);
  EXPECT_EQ(usb.devices[0].vendor_id, 0x2717u);
  EXPECT_TRUE(usb.devices[0].adb_interface);
  EXPECT_FALSE(usb.devices[0].fastboot_interface);
  EXPECT_EQ(usb.devices[0].problem, 28);
  EXPECT_TRUE(usb.devices[0].file_transfer_interface);
  EXPECT_TRUE(usb.devices[1].fastboot_interface);
  EXPECT_FALSE(usb.devices[1].file_transfer_interface);
  EXPECT_EQ(usb.devices[1].problem, 0);

  // MTP named by its OS descriptor, on a phone with USB debugging off.
  platform::UsbDevices mtp;
  platform::add_usb_node(ids({"USB\\VID_04E8&PID_6860&MI_00"}).c_str(),
                         ids({"USB\\MS_COMP_MTP", "USB\\Class_ff&SubClass_ff&Prot_00"}).c_str(), 0, mtp);
  ASSERT_EQ(mtp.count, 1);
  EXPECT_TRUE(mtp.devices[0].file_transfer_interface);
  EXPECT_FALSE(mtp.devices[0].adb_interface);
}

#ifndef _WIN32
namespace fs = std::filesystem;

namespace {

void put(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

void put_fifo(const fs::path& file) {
  fs::create_directories(file.parent_path());
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0) << file;
}

// list_usb_devices_under in a child process, so that a look-up that hangs
// fails the test after `bound_ms` instead of holding it: false then.
bool list_within(const fs::path& root, int bound_ms, platform::UsbDevices& usb) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    platform::UsbDevices found;
    platform::list_usb_devices_under(root.c_str(), found);
    const char* p = reinterpret_cast<const char*>(&found);
    for (size_t left = sizeof found; left > 0;) {
      const ssize_t n = ::write(fds[1], p, left);
      if (n <= 0) ::_exit(1);
      p += n;
      left -= static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  char* into = reinterpret_cast<char*>(&usb);
  size_t got = 0;
  while (got < sizeof usb) {
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, bound_ms) <= 0) break;
    const ssize_t n = ::read(fds[0], into + got, sizeof usb - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fds[0]);
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  return got == sizeof usb;
}

}  // namespace

TEST(UsbSysfs, DevicesAndTheirAndroidInterfacesFromTheTree) {
  const fs::path root = fs::temp_directory_path() / ("talvik-usb-" + std::to_string(::getpid()));
  const fs::path devices = root / "sys/bus/usb/devices";
  put(devices / "usb1/idVendor", "1d6b\n");
  put(devices / "usb1/bDeviceClass", "09\n");  // root hub: left out
  for (const auto& [name, vendor, product] : {std::tuple{"1-1", "2717", "ff48"}, std::tuple{"1-1.2", "18d1", "4ee0"}}) {
    put(devices / name / "idVendor", std::string(vendor) + "\n");
    put(devices / name / "idProduct", std::string(product) + "\n");
    put(devices / name / "bDeviceClass", "00\n");
    put(devices / name / "busnum", "1\n");
    put(devices / name / "devnum", name[3] == '.' ? "12\n" : "5\n");
  }
  const auto interface = [&](const char* name, const char* c, const char* s, const char* p) {
    put(devices / name / "bInterfaceClass", c);
    put(devices / name / "bInterfaceSubClass", s);
    put(devices / name / "bInterfaceProtocol", p);
  };
  interface("1-1:1.0", "06\n", "01\n", "01\n");    // MTP
  interface("1-1:1.1", "ff\n", "42\n", "01\n");    // ADB
  interface("1-1.2:1.0", "ff\n", "42\n", "03\n");  // fastboot
  put(root / "dev/bus/usb/001/005", "");
  // A phone with USB debugging off: one vendor interface named MTP.
  put(devices / "2-1/idVendor", "04e8\n");
  put(devices / "2-1/idProduct", "6860\n");
  interface("2-1:1.0", "ff\n", "ff\n", "00\n");
  put(devices / "2-1:1.0/interface", "MTP\n");

  platform::UsbDevices usb;
  platform::list_usb_devices_under(root.c_str(), usb);
  fs::remove_all(root);
  ASSERT_TRUE(usb.looked);
  ASSERT_EQ(usb.count, 3);
  const auto by_vendor = [&](unsigned vendor) -> const platform::UsbDevice& {
    for (int i = 0; i < usb.count; ++i) {
      if (usb.devices[i].vendor_id == vendor) return usb.devices[i];
    }
    return usb.devices[0];
  };
  const platform::UsbDevice& xiaomi = by_vendor(0x2717);
  const platform::UsbDevice& google = by_vendor(0x18d1);
  const platform::UsbDevice& samsung = by_vendor(0x04e8);
  EXPECT_TRUE(xiaomi.file_transfer_interface);
  EXPECT_TRUE(samsung.file_transfer_interface);
  EXPECT_FALSE(samsung.adb_interface);
  EXPECT_FALSE(google.file_transfer_interface);
  EXPECT_EQ(xiaomi.product_id, 0xff48u);
  EXPECT_TRUE(xiaomi.adb_interface);
  EXPECT_FALSE(xiaomi.fastboot_interface);
  EXPECT_EQ(xiaomi.access, platform::UsbAccess::granted);
  // "1-1.2:1.0" belongs to "1-1.2", not to "1-1".
  EXPECT_TRUE(google.fastboot_interface);
  EXPECT_FALSE(google.adb_interface);
  EXPECT_EQ(google.access, platform::UsbAccess::unknown);  // no node

  platform::list_usb_devices_under((root / "none").c_str(), usb);
  EXPECT_FALSE(usb.looked);
}
TEST(UsbSysfs, FilesThatAreNoRegularFilesAreNeverWaitedFor) {
  // FIFOs in a device's and in an interface's place: opening one to read
  // waits for a writer that never comes.
  const fs::path root = fs::temp_directory_path() / ("talvik-usb-fifo-" + std::to_string(::getpid()));
  const fs::path devices = root / "sys/bus/usb/devices";
  put_fifo(devices / "1-1/idVendor");  // left out: no vendor number to read
  put(devices / "1-1/idProduct", "4ee0\n");
  put(devices / "1-2/idVendor", "2717\n");
  put(devices / "1-2/idProduct", "ff48\n");
  put_fifo(devices / "1-2/bDeviceClass");  // unread: not taken for a hub
  put_fifo(devices / "1-2/busnum");
  put(devices / "1-2/devnum", "5\n");
  put(devices / "1-2:1.0/bInterfaceClass", "ff\n");
  put(devices / "1-2:1.0/bInterfaceSubClass", "ff\n");
  put(devices / "1-2:1.0/bInterfaceProtocol", "00\n");
  put_fifo(devices / "1-2:1.0/interface");  // no MTP name read
  put(devices / "1-2:1.1/bInterfaceClass", "ff\n");
  put(devices / "1-2:1.1/bInterfaceSubClass", "42\n");
  put(devices / "1-2:1.1/bInterfaceProtocol", "01\n");
  put_fifo(devices / "1-2:1.2/bInterfaceClass");
  put(devices / "1-2:1.2/bInterfaceSubClass", "42\n");
  put(devices / "1-2:1.2/bInterfaceProtocol", "03\n");
  put_fifo(devices / "1-3");  // an entry that is no folder

  platform::UsbDevices usb;
  const bool listed = list_within(root, 20000, usb);
  fs::remove_all(root);
  ASSERT_TRUE(listed) << "the look-up hung";
  ASSERT_TRUE(usb.looked);
  ASSERT_EQ(usb.count, 1);
  EXPECT_EQ(usb.devices[0].vendor_id, 0x2717u);
  EXPECT_EQ(usb.devices[0].product_id, 0xff48u);
  EXPECT_TRUE(usb.devices[0].adb_interface);
  EXPECT_FALSE(usb.devices[0].fastboot_interface);
  EXPECT_FALSE(usb.devices[0].file_transfer_interface);
  EXPECT_EQ(usb.devices[0].access, platform::UsbAccess::unknown);
}
#endif
