// The phone a request names: its `serial` query value, else the bridge's
// ANDROID_SERIAL.
#pragma once
#include "tools/phone_choice.h"

// Takes `serial` from the request's query (URL-decoded) and hands it, with
// ANDROID_SERIAL, to requested_serial. A decoded value holding a NUL is a
// bad serial, like any other byte outside the serial rule. Writes a given serial into `serial`
// (serial_cap + 1 bytes).
SerialRequest serial_in_request(const char* request, char* serial);
