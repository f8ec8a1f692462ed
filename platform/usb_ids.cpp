#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/usb_devices.h"

namespace platform {

namespace {

// Matches `word` at `*at` regardless of case, and moves past it.
bool take(const char** at, const char* word) {
  const char* p = *at;
  for (; *word != '\0'; ++word, ++p) {
    if (std::tolower(static_cast<unsigned char>(*p)) != std::tolower(static_cast<unsigned char>(*word))) return false;
  }
  *at = p;
  return true;
}

// Exactly `digits` hexadecimal digits at `*at`.
bool take_hex(const char** at, int digits, unsigned* value) {
  unsigned v = 0;
  for (int i = 0; i < digits; ++i) {
    const char c = (*at)[i];
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    v = v * 16 +
        static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
  }
  *at += digits;
  *value = v;
  return true;
}

UsbDevice* device_for(unsigned vendor_id, unsigned product_id, UsbDevices& out) {
  for (int i = 0; i < out.count; ++i) {
    if (out.devices[i].vendor_id == vendor_id && out.devices[i].product_id == product_id) return &out.devices[i];
  }
  if (out.count >= max_usb_devices) return nullptr;
  UsbDevice& added = out.devices[out.count++];
  added = UsbDevice{};
  added.vendor_id = vendor_id;
  added.product_id = product_id;
  return &added;
}

}  // namespace

bool parse_usb_hardware_id(const char* id, unsigned* vendor_id, unsigned* product_id, bool* interface) {
  const char* p = id;
  if (!take(&p, "USB\\VID_") || !take_hex(&p, 4, vendor_id) || !take(&p, "&PID_") || !take_hex(&p, 4, product_id)) {
    return false;
  }
  *interface = false;
  // Then nothing, "&REV_xxxx" or "&MI_xx" (an interface of a composite device).
  while (*p == '&') {
    ++p;
    unsigned ignored = 0;
    if (take(&p, "MI_")) {
      if (!take_hex(&p, 2, &ignored)) return false;
      *interface = true;
    } else if (!take(&p, "REV_") || !take_hex(&p, 4, &ignored)) {
      return false;
    }
  }
  return *p == '\0';
}

bool parse_usb_class_id(const char* id, int* usb_class, int* subclass, int* protocol) {
  const char* p = id;
  unsigned c = 0, s = 0, r = 0;
  if (!take(&p, "USB\\Class_") || !take_hex(&p, 2, &c) || !take(&p, "&SubClass_") || !take_hex(&p, 2, &s) ||
      !take(&p, "&Prot_") || !take_hex(&p, 2, &r) || *p != '\0') {
    return false;
  }
  *usb_class = static_cast<int>(c);
  *subclass = static_cast<int>(s);
  *protocol = static_cast<int>(r);
  return true;
}

void add_usb_node(const char* hardware_ids, const char* compatible_ids, int problem, UsbDevices& out) {
  unsigned vendor_id = 0, product_id = 0;
  bool interface = false;
  bool found = false;
  for (const char* id = hardware_ids; *id != '\0' && !found; id += std::strlen(id) + 1) {
    found = parse_usb_hardware_id(id, &vendor_id, &product_id, &interface);
  }
  if (!found) return;
  UsbDevice* device = device_for(vendor_id, product_id, out);
  if (device == nullptr) return;
  bool android = false;
  for (const char* id = compatible_ids; *id != '\0'; id += std::strlen(id) + 1) {
    int usb_class = 0, subclass = 0, protocol = 0;
    if (!parse_usb_class_id(id, &usb_class, &subclass, &protocol)) continue;
    if (usb_class != android_usb_class || subclass != android_usb_subclass) continue;
    if (protocol == adb_usb_protocol) device->adb_interface = android = true;
    if (protocol == fastboot_usb_protocol) device->fastboot_interface = android = true;
  }
  // An Android interface's problem is the one that keeps the tools away.
  if (problem != 0 && (device->problem == 0 || android)) device->problem = problem;
}

}  // namespace platform
