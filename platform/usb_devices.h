// The USB devices attached to this computer, as far as telling a phone
// apart goes: maker and product numbers, whether the device shows
// Android's ADB or fastboot interface, and whether the system lets the
// tools reach it. Nothing here opens a device.
#pragma once

namespace platform {

constexpr int max_usb_devices = 32;
constexpr int usb_ids_size = 1024;  // one registry list of IDs (Windows)

// Android's USB interface is class ff, subclass 42; protocol 01 is ADB,
// 03 fastboot.
constexpr int android_usb_class = 0xff;
constexpr int android_usb_subclass = 0x42;
constexpr int adb_usb_protocol = 0x01;
constexpr int fastboot_usb_protocol = 0x03;
// A phone's file transfer: PTP is class 06 (still image); MTP is either
// that or a vendor interface named "MTP".
constexpr int still_image_usb_class = 0x06;

enum class UsbAccess { unknown, granted, denied };

struct UsbDevice {
  unsigned vendor_id = 0;
  unsigned product_id = 0;
  bool adb_interface = false;
  bool fastboot_interface = false;
  bool file_transfer_interface = false;  // MTP or PTP
  // Windows: the Device Manager problem code of the device or one of its
  // interfaces (28: no driver installed, 10: cannot start), 0 for none.
  int problem = 0;
  // Linux: whether this user may open the device's node in /dev/bus/usb.
  UsbAccess access = UsbAccess::unknown;
};

struct UsbDevices {
  bool looked = false;  // the system's list could be read
  int count = 0;        // devices kept, at most max_usb_devices
  UsbDevice devices[max_usb_devices];
};

// What lets the tools reach a phone that the system shows on USB while no
// tool lists it: on Windows a driver the user installs; elsewhere a udev
// rule for its vendor, and an adb server started after it.
enum class UsbReachFix { install_driver, udev_rule };
extern const UsbReachFix usb_reach_fix;  // this system's

// The USB devices present now (hubs left out), read from the system's
// device list (Linux: sysfs; Windows: SetupAPI). Quick and bounded.
// `looked` stays false when the list cannot be read. On Linux the
// environment variable TALVIK_USB_ROOT, when set, stands for "/" (tests
// point it at a made-up tree).
void list_usb_devices(UsbDevices& out);

#ifndef _WIN32
// The same over the tree at `root` in place of "/": devices from
// root/sys/bus/usb/devices, device nodes in root/dev/bus/usb.
void list_usb_devices_under(const char* root, UsbDevices& out);
#endif

// ---- Windows device IDs (plain text rules, used and tested on both builds)

// A hardware ID such as "USB\VID_18D1&PID_4EE0&REV_0100", or an interface's
// "USB\VID_18D1&PID_4EE7&MI_01" (`interface` set). Case does not matter.
// False for anything else (hubs, "USB\ROOT_HUB30").
bool parse_usb_hardware_id(const char* id, unsigned* vendor_id, unsigned* product_id, bool* interface);

// A compatible ID "USB\Class_ff&SubClass_42&Prot_01" (case does not
// matter); false for other IDs, shorter forms and "USB\DevClass_...".
bool parse_usb_class_id(const char* id, int* usb_class, int* subclass, int* protocol);

// Adds one device node of the Windows list to `out`: its hardware IDs and
// compatible IDs (each a list of NUL-ended strings ending with an empty
// one, as the registry keeps them) and its problem code. An interface node
// joins the device of the same vendor and product numbers, so a composite
// phone counts once. Nodes without USB vendor numbers are passed over.
void add_usb_node(const char* hardware_ids, const char* compatible_ids, int problem, UsbDevices& out);

}  // namespace platform
