// The list is the built-in vendor list of Android's adb (AOSP
// system/core, adb/usb_vendors.cpp, builtInVendorIds), with the makers'
// names as its comments give them. Emerson and Rockchip share 0x2207
// there; it is kept once. Keep it sorted by number: it is searched in
// order and read by people checking it against that file.
#include "phones/android_usb_vendors.h"

namespace {

struct Vendor {
  unsigned id;
  const char* name;
  // Our own mark, not adb's: the maker's number is also common on PC parts
  // (webcams, Bluetooth, hubs, docks, keyboards) inside or beside a PC.
  bool pc_parts;
};

constexpr Vendor vendors[] = {
    {0x03f0, "HP", true},
    {0x03fc, "ECS", true},
    {0x0408, "Quanta", true},
    {0x0409, "NEC", true},
    {0x0414, "Gigabyte", true},
    {0x0451, "Texas Instruments", true},
    {0x0471, "Philips", true},
    {0x0482, "Kyocera", false},
    {0x0489, "Foxconn", true},
    {0x04b7, "Compal", true},
    {0x04c5, "Fujitsu", true},
    {0x04da, "Panasonic Mobile Communication", false},
    {0x04dd, "Sharp", false},
    {0x04e8, "Samsung", false},
    {0x0502, "Acer", true},
    {0x0531, "Wacom", true},
    {0x054c, "Sony", true},
    {0x05c6, "Qualcomm", false},
    {0x067e, "Intermec", false},
    {0x091e, "Garmin-Asus", false},
    {0x0930, "Toshiba", true},
    {0x0955, "Nvidia", false},
    {0x0b05, "Asus", true},
    {0x0bb4, "HTC", false},
    {0x0c2e, "Honeywell", false},
    {0x0db0, "MSI", true},
    {0x0e79, "Archos", false},
    {0x0e8d, "MediaTek", false},
    {0x0f1c, "Funai", false},
    {0x0fce, "Sony Ericsson", false},
    {0x1004, "LG", false},
    {0x109b, "Hisense", false},
    {0x10a9, "Pantech", false},
    {0x1219, "Compalcomm", false},
    {0x12d1, "Huawei", false},
    {0x1662, "Positivo", false},
    {0x16d5, "AnyDATA", false},
    {0x17ef, "Lenovo", true},
    {0x18d1, "Google", false},
    {0x1949, "Lab126", false},
    {0x19a5, "Harris", false},
    {0x19d2, "ZTE", false},
    {0x1b8e, "Amlogic", false},
    {0x1bbb, "T & A Mobile Phones", false},
    {0x1d09, "TechFaith", false},
    {0x1d45, "Qisda", false},
    {0x1d4d, "Pegatron", true},
    {0x1d91, "BYD", false},
    {0x1e85, "Gigaset", false},
    {0x1ebf, "Yulong Coolpad", false},
    {0x1f3a, "Allwinner", false},
    {0x1f53, "SK Telesys", false},
    {0x2006, "LenovoMobile", false},
    {0x201e, "Haier", false},
    {0x2080, "B&N Nook", false},
    {0x2116, "KT Tech", false},
    {0x2207, "Rockchip", false},
    {0x2237, "Kobo", false},
    {0x2257, "On-The-Go-Video", false},
    {0x22b8, "Motorola", false},
    {0x22d9, "OPPO", false},
    {0x2314, "INQ Mobile", false},
    {0x2340, "Teleepoch", false},
    {0x2420, "IRiver", false},
    {0x24e3, "K-Touch", false},
    {0x25e3, "Lumigon", false},
    {0x2717, "Xiaomi", false},
    {0x271d, "GIONEE", false},
    {0x2836, "OUYA", false},
    {0x2916, "YotaDevices", false},
    {0x297f, "EMERGING_TECH", false},
    {0x29a9, "Smartisan", false},
    {0x29e4, "Prestigio", false},
    {0x2a49, "Unowhy", false},
    {0x413c, "Dell", true},
    {0x8087, "Intel", true},
    {0xe040, "Vizio", false},
};

}  // namespace

const char* android_vendor_name(unsigned vendor_id, bool* pc_parts) {
  for (const Vendor& vendor : vendors) {
    if (vendor.id != vendor_id) continue;
    if (pc_parts != nullptr) *pc_parts = vendor.pc_parts;
    return vendor.name;
  }
  return nullptr;
}
