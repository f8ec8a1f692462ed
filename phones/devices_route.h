#pragma once
#include "http/exchange.h"

// Formats {"ok":true,"devices":[...]} for the phones of both lists, adb's
// first, into `body` (`size` bytes); a phone that no longer fits whole is
// left out. Returns the body's length.
struct PhoneList;
int format_devices_body(const PhoneList& adb, const PhoneList& fastboot, char* body, int size);

// GET /devices: every phone adb and fastboot list, with its mode and state,
// so the page can offer a choice.
void handle_devices(Exchange& ex);
