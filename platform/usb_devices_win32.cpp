#include <windows.h>
// After windows.h, which they rely on.
#include <cfgmgr32.h>
#include <setupapi.h>

#include "platform/usb_devices.h"

namespace platform {

namespace {

// Frees the device list when the listing ends, however it ends.
struct DeviceListHandle {
  HDEVINFO list;
  DeviceListHandle() : list(SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT)) {}
  ~DeviceListHandle() {
    if (list != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(list);
  }
  DeviceListHandle(const DeviceListHandle&) = delete;
  DeviceListHandle& operator=(const DeviceListHandle&) = delete;
};

// A list-of-strings property (hardware or compatible IDs) into `ids`
// (usb_ids_size bytes), always ended by two NULs; empty when missing.
void read_ids(HDEVINFO list, SP_DEVINFO_DATA* node, DWORD property, char* ids) {
  DWORD type = 0;
  DWORD size = 0;
  ids[0] = ids[1] = '\0';
  if (!SetupDiGetDeviceRegistryPropertyA(list, node, property, &type, reinterpret_cast<BYTE*>(ids), usb_ids_size - 2,
                                         &size) ||
      type != REG_MULTI_SZ) {
    ids[0] = ids[1] = '\0';
    return;
  }
  // A value that filled the buffer may end mid-string: end it here.
  if (size > usb_ids_size - 2) size = usb_ids_size - 2;
  ids[size] = ids[size + 1] = '\0';
}

}  // namespace

void list_usb_devices(UsbDevices& out) {
  out = UsbDevices{};
  // Present devices of the USB enumerator only: the phone itself and, for a
  // composite phone, its interfaces (USB\VID_...&MI_xx). No device is opened.
  DeviceListHandle devices;
  if (devices.list == INVALID_HANDLE_VALUE) return;
  out.looked = true;
  char hardware_ids[usb_ids_size];
  char compatible_ids[usb_ids_size];
  SP_DEVINFO_DATA node;
  node.cbSize = sizeof node;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(devices.list, i, &node); ++i) {
    read_ids(devices.list, &node, SPDRP_HARDWAREID, hardware_ids);
    read_ids(devices.list, &node, SPDRP_COMPATIBLEIDS, compatible_ids);
    ULONG status = 0;
    ULONG problem = 0;
    // Device Manager's yellow mark: the node has a problem code (28: no
    // driver was installed for it).
    if (CM_Get_DevNode_Status(&status, &problem, node.DevInst, 0) != CR_SUCCESS || (status & DN_HAS_PROBLEM) == 0) {
      problem = 0;
    }
    add_usb_node(hardware_ids, compatible_ids, static_cast<int>(problem), out);
  }
}

const UsbReachFix usb_reach_fix = UsbReachFix::install_driver;

}  // namespace platform
