#include "report/info_route.h"

#include "http/exchange.h"
#include "phones/phone_choice.h"
#include "report/device_report.h"
#include "tools/scratch.h"

namespace {

struct InfoBuffers {
  static constexpr char name[] = "GET /info";
  char report[report_buffer_size];
};
Scratch<InfoBuffers> info_scratch;

}  // namespace

void handle_info(Exchange& ex) {
  char serial[device_serial_size];
  const SerialRequest asked = serial_in_request(ex.request, serial);
  if (asked == SerialRequest::bad) {
    send_json(ex.socket, ex.reply_origin, phone_choice_body(ToolKind::adb, PhoneChoice::bad_serial));
    return;
  }
  ScratchHold<InfoBuffers> scratch(info_scratch);
  build_device_report(scratch->report, asked, serial);
  send_json(ex.socket, ex.reply_origin, scratch->report);
}
