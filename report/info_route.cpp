#include "report/info_route.h"

#include "report/device_report.h"
#include "server/framing.h"

void handle_info(Exchange& ex) {
  static char report[report_buffer_size];
  build_device_report(report);
  send_json(ex.socket, ex.reply_origin, report);
}
