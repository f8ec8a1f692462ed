#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/usb_devices.h"

namespace platform {

namespace {

constexpr int name_size = 64;   // a sysfs entry name such as "3-1.4.2:1.0"
constexpr int value_size = 32;  // one small attribute file
constexpr int hub_class = 0x09;

// Closes the directory when the listing ends, however it ends.
struct DirHandle {
  DIR* dir;
  explicit DirHandle(const char* path) : dir(opendir(path)) {}
  ~DirHandle() {
    if (dir != nullptr) closedir(dir);
  }
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;
};

// One attribute file, opened for reading without waiting (a FIFO's open
// would wait for a writer) and closed when it goes out of scope.
struct FileHandle {
  int fd;
  explicit FileHandle(const char* path) : fd(open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {}
  ~FileHandle() {
    if (fd >= 0) close(fd);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
};

// Reads the start of attribute file `path` into `text` (`size` bytes, NUL
// ended): what a sysfs attribute holds fits in one read. Only a regular
// file is read. Anything else a tree may hold (a FIFO, a device node, a
// socket) is never opened, or, when it took a file's place since the look,
// opened without waiting and left unread, so no file can hold the look-up.
// False when there is nothing to read.
bool read_attribute(const char* path, char* text, int size) {
  struct stat st {};
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const FileHandle file(path);
  if (file.fd < 0 || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  ssize_t n;
  while ((n = read(file.fd, text, static_cast<size_t>(size - 1))) < 0 && errno == EINTR) {
  }
  if (n <= 0) return false;
  text[n] = '\0';
  return true;
}

// Reads attribute `file` of sysfs entry `entry` as a number in `base`;
// false when it is missing or empty.
bool read_number(const char* devices, const char* entry, const char* file, int base, unsigned* value) {
  char path[512];
  std::snprintf(path, sizeof path, "%s/%s/%s", devices, entry, file);
  char text[value_size];
  if (!read_attribute(path, text, sizeof text)) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(text, &end, base);
  if (end == text) return false;
  *value = static_cast<unsigned>(v);
  return true;
}

// Whether interface `entry` names itself MTP (its "interface" string).
bool names_mtp(const char* devices, const char* entry) {
  char path[512];
  std::snprintf(path, sizeof path, "%s/%s/interface", devices, entry);
  char text[64];
  return read_attribute(path, text, sizeof text) && std::strstr(text, "MTP") != nullptr;
}

// Whether this user may open the device node for reading and writing, as
// adb and fastboot must.
UsbAccess node_access(const char* root, unsigned bus, unsigned device) {
  char node[512];
  std::snprintf(node, sizeof node, "%s/dev/bus/usb/%03u/%03u", root, bus, device);
  if (access(node, R_OK | W_OK) == 0) return UsbAccess::granted;
  return errno == EACCES || errno == EPERM ? UsbAccess::denied : UsbAccess::unknown;
}

}  // namespace

void list_usb_devices_under(const char* root, UsbDevices& out) {
  out = UsbDevices{};
  char devices[512];
  std::snprintf(devices, sizeof devices, "%s/sys/bus/usb/devices", root);
  char names[max_usb_devices][name_size];

  // Devices first ("1-1", "1-1.2"); root hubs ("usb1") and hubs are left out.
  {
    DirHandle dir(devices);
    if (dir.dir == nullptr) return;
    out.looked = true;
    // Once the list is full nothing more is read.
    while (out.count < max_usb_devices) {
      const dirent* entry = readdir(dir.dir);
      if (entry == nullptr) break;
      const char* name = entry->d_name;
      if (name[0] == '.' || std::strchr(name, ':') != nullptr || std::strlen(name) >= name_size) continue;
      unsigned device_class = 0, vendor_id = 0, product_id = 0, bus = 0, number = 0;
      if (read_number(devices, name, "bDeviceClass", 16, &device_class) && device_class == hub_class) continue;
      if (!read_number(devices, name, "idVendor", 16, &vendor_id) ||
          !read_number(devices, name, "idProduct", 16, &product_id)) {
        continue;
      }
      UsbDevice& device = out.devices[out.count];
      device.vendor_id = vendor_id;
      device.product_id = product_id;
      if (read_number(devices, name, "busnum", 10, &bus) && read_number(devices, name, "devnum", 10, &number)) {
        device.access = node_access(root, bus, number);
      }
      std::snprintf(names[out.count], name_size, "%s", name);
      ++out.count;
    }
  }
  // Then their interfaces ("1-1:1.0"), each named after its device; only
  // those of a kept device are read.
  DirHandle dir(devices);
  if (dir.dir == nullptr) return;
  while (const dirent* entry = readdir(dir.dir)) {
    const char* name = entry->d_name;
    const char* colon = std::strchr(name, ':');
    if (colon == nullptr || colon - name >= name_size) continue;
    const size_t device_length = static_cast<size_t>(colon - name);
    UsbDevice* device = nullptr;
    for (int i = 0; i < out.count && device == nullptr; ++i) {
      if (std::strncmp(names[i], name, device_length) == 0 && names[i][device_length] == '\0') {
        device = &out.devices[i];
      }
    }
    if (device == nullptr) continue;
    unsigned usb_class = 0, subclass = 0, protocol = 0;
    if (!read_number(devices, name, "bInterfaceClass", 16, &usb_class) ||
        !read_number(devices, name, "bInterfaceSubClass", 16, &subclass) ||
        !read_number(devices, name, "bInterfaceProtocol", 16, &protocol)) {
      continue;
    }
    const bool android = usb_class == android_usb_class && subclass == android_usb_subclass;
    const bool file_transfer = usb_class == still_image_usb_class || names_mtp(devices, name);
    if (file_transfer) device->file_transfer_interface = true;
    if (android && protocol == adb_usb_protocol) device->adb_interface = true;
    if (android && protocol == fastboot_usb_protocol) device->fastboot_interface = true;
  }
}

void list_usb_devices(UsbDevices& out) {
  const char* root = std::getenv("TALVIK_USB_ROOT");
  list_usb_devices_under(root != nullptr ? root : "", out);
}

const UsbReachFix usb_reach_fix = UsbReachFix::udev_rule;

}  // namespace platform
