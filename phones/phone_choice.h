// Which phone a route acts on: the one the request named, else the single
// phone the tool lists; and the refusal when there is none. Nothing is run
// on a phone that was not chosen this way, and only serials that pass
// is_valid_serial reach a command line.
#pragma once
#include "phones/phone_list.h"

enum class SerialRequest {
  none,   // no serial named: the tool's own list decides
  given,  // a valid serial was named
  bad,    // the query value `serial` breaks the serial rule
};

// The serial the caller named (`named`, already decoded, nullptr when it
// named none), else the one in `environment` (the value of ANDROID_SERIAL,
// nullptr when unset; a value that breaks the rule is ignored). Writes a
// given serial into `serial` (serial_cap + 1 bytes).
SerialRequest requested_serial(const char* named, const char* environment, char* serial);

enum class PhoneChoice {
  chosen,
  bad_serial,  // the named serial breaks the serial rule
  no_phone,    // the tool lists no usable phone (or not the one named)
  several,     // more than one phone and none named
  duplicate,   // the phone's serial is listed more than once
  // The tool could not be started to list its phones (choose_phone only):
  // it is missing, or no program.
  tool_missing,
};

// Takes `serial` from the request's query (URL-decoded) and hands it, with
// ANDROID_SERIAL, to requested_serial. A decoded value holding a NUL is a
// bad serial, like any other byte outside the serial rule. Writes a given
// serial into `serial` (serial_cap + 1 bytes).
SerialRequest serial_in_request(const char* request, char* serial);

// Decides the phone from a named serial (`asked`, from requested_serial,
// with the serial in `serial`) and the tool's list (`listed_output`: its
// "devices" output; not read for a fastboot network serial, which fastboot
// never lists). A serial listed more than once is never chosen, named or
// not, also when only one of its lines is ready (duplicate). adb:
// a named serial is used as it is unless listed twice (adb itself refuses
// one it does not know); fastboot: a named serial must be listed unless it
// is a network serial. Without a name: the single ready phone (is_ready).
// Phones whose listed serial may not be used count when deciding between
// one and several, and are never chosen. Writes the serial into `serial`.
PhoneChoice decide_phone(ToolKind kind, SerialRequest asked, const char* listed_output, char* serial);

// The whole choice for an action: runs the tool's "devices" when the list
// is needed (tool_missing when it cannot be started), and decides. `serial` holds the named serial on entry when
// `asked` is given, and the chosen one on return.
PhoneChoice choose_phone(ToolKind kind, const char* tool_path, SerialRequest asked, char* serial);

// The fixed reply body for a choice other than `chosen`: the no-phone body
// names the tool's mode, and stands for a tool that could not be started
// too (the flashing routes, which fetch fastboot, say more).
const char* phone_choice_body(ToolKind kind, PhoneChoice choice);
