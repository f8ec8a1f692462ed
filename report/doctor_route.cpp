#include "report/doctor_route.h"

#include "platform/usb_devices.h"
#include "report/doctor.h"
#include "server/framing.h"
#include "tools/phone_choice.h"
#include "tools/provisioning.h"
#include "tools/tool_locator.h"

namespace {

constexpr int doctor_body_size = 8192;

}  // namespace

void handle_doctor(Exchange& ex) {
  static char adb_output[devices_output_size];
  static char fastboot_output[devices_output_size];
  static platform::UsbDevices usb;
  adb_output[0] = fastboot_output[0] = '\0';

  DoctorFacts facts;
  char tool[tool_path_size];
  find_tool("adb", tool);
  // An adb that is there but cannot be started is as good as none.
  facts.adb_there = tool_is_there("adb") && list_devices(tool, adb_output) != RunEnd::not_started;
  facts.adb_output = adb_output;
  facts.fastboot_download_failed = fastboot_download_failed();
  if (fastboot_present()) {
    find_tool("fastboot", tool);
    facts.fastboot_unstartable = list_devices(tool, fastboot_output) == RunEnd::not_started;
    facts.fastboot_there = !facts.fastboot_unstartable;
  }
  facts.fastboot_output = fastboot_output;
  platform::list_usb_devices(usb);
  facts.usb = &usb;

  static Diagnosis diagnosis;
  diagnose(facts, diagnosis);
  static char body[doctor_body_size];
  const int length = format_doctor_body(diagnosis, &usb, body, sizeof body);
  send_json(ex.socket, ex.reply_origin, body, length);
}
