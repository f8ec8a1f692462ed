#include "server/routes.h"

#include <cstring>

#include "actions/adbkill_route.h"
#include "actions/flashurl_route.h"
#include "actions/reboot_route.h"
#include "actions/upload_route.h"
#include "actions/wifi_route.h"
#include "http/exchange.h"
#include "phones/devices_route.h"
#include "phones/doctor_route.h"
#include "report/info_route.h"
#include "server/origin.h"
#include "server/ping.h"

namespace {

struct Route {
  const char* prefix;
  bool trusted;  // acting routes: allowed origin and bridge header required
  void (*handler)(Exchange&);
};

void handle_preflight(Exchange& ex) { send_preflight(ex.socket, ex.reply_origin); }

// Matched by prefix, in this order; the first match wins.
const Route routes[] = {
    {"OPTIONS", false, handle_preflight},  {"POST /flash", true, handle_upload},
    {"POST /boot", true, handle_upload},   {"GET /ping", false, handle_ping},
    {"GET /info", false, handle_info},     {"GET /flashurl", true, handle_flashurl},
    {"GET /wifi-", true, handle_wifi},     {"GET /adbkill", true, handle_adbkill},
    {"GET /reboot", true, handle_reboot},  {"GET /devices", false, handle_devices},
    {"GET /doctor", false, handle_doctor},
};

}  // namespace

void route_request(Exchange& ex) {
  const Route* route = nullptr;
  for (const Route& r : routes) {
    if (std::strncmp(ex.request, r.prefix, std::strlen(r.prefix)) == 0) {
      route = &r;
      break;
    }
  }
  // A preflight is never refused: the browser decides from the echoed origin.
  if (route != nullptr && route->handler == handle_preflight) {
    handle_preflight(ex);
    return;
  }
  if (!host_is_allowed(ex.head, ex.context->bound_port)) {
    send_forbidden(ex.socket, ex.reply_origin);
    return;
  }
  if (route == nullptr) {
    send_unknown(ex.socket, ex.reply_origin);
    return;
  }
  if (route->trusted && !request_is_trusted(ex.head)) {
    send_forbidden(ex.socket, ex.reply_origin);
    return;
  }
  route->handler(ex);
}
