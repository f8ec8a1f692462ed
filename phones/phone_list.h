// The phones adb and fastboot list, and the rules about them that every
// route follows: which serials may stand on a command line (usable), which
// phones a tool can act on now (ready), which serials are listed twice
// (duplicate) and which phone may be taken without being named. Each rule
// is written here once; the phone choice, the report and /doctor ask it.
#pragma once
#include "tools/process_runner.h"

constexpr int serial_cap = 63;       // a serial is 1 to 63 characters
constexpr int phone_state_cap = 31;  // "device", "unauthorized", "fastboot", ...
constexpr int max_listed_phones = 16;

// True for 1 to 63 characters, each an ASCII letter, digit, '.', '_', ':'
// or '-'. Only such a serial may follow "-s" unquoted on a command line:
// it can neither start an option nor break the line's quoting.
bool is_valid_serial(const char* serial);

// Copies `from` into `serial` (serial_cap + 1 bytes), cut at serial_cap.
void copy_serial(const char* from, char* serial);

// A serial that fastboot reaches over the network ("tcp:..." or "udp:...");
// fastboot never lists those.
bool is_network_serial(const char* serial);

enum class ToolKind { adb, fastboot };

// One line of a tool's list that names a phone.
struct ListedPhone {
  // Empty when the listed serial may not be used (it breaks
  // is_valid_serial): such a phone counts, but is never chosen.
  char serial[serial_cap + 1];
  char state[phone_state_cap + 1];  // printable ASCII only
  // The tool lists this serial more than once: "-s" would reach whichever
  // of those phones the tool meets first, so none of them is chosen.
  bool duplicate;
};

struct PhoneList {
  ToolKind tool = ToolKind::adb;  // whose list it is: the rules differ
  ListedPhone phones[max_listed_phones];
  int count = 0;  // phones kept, at most max_listed_phones
  int total = 0;  // lines that name a phone, kept or not
};

// Lines end at LF; CRs right before it are dropped, and a CR anywhere else
// stays in the line (so the serial that holds it is not usable). Duplicates
// are found over every line, also those past the kept ones.

// adb's "devices" output: the first line (the header) is never used; each
// later line with a tab is "serial<TAB>state".
void parse_adb_devices(const char* output, PhoneList& list);

// fastboot's "devices" output: every line, serial and word separated by a
// tab, else by the first space (a line that begins with a space or has
// neither is passed over).
void parse_fastboot_devices(const char* output, PhoneList& list);

// Adds a phone that no tool's list printed (a network Fastboot phone that
// answered) with a usable `serial` and `state`; false when the serial is
// not usable, already kept, or the list is full.
bool add_unlisted_phone(PhoneList& list, const char* serial, const char* state);

// ---- The rules ---------------------------------------------------------------

// The listed serial passes the serial rule, so it may reach a command line.
bool is_usable(const ListedPhone& phone);

// The tool can act on the phone now: for adb, a phone in state "device";
// every phone fastboot lists is in Fastboot mode and ready.
bool is_ready(const PhoneList& list, const ListedPhone& phone);

// The phone may be taken without being named: usable, ready and listed once.
bool may_take_unnamed(const PhoneList& list, const ListedPhone& phone);

// The first phone that may_take_unnamed, or nullptr.
const ListedPhone* first_unnamed(const PhoneList& list);

// True when a ready phone's serial is listed twice.
bool shows_ready_duplicate(const PhoneList& list);

// True when a usable phone is ready.
bool shows_usable_ready_phone(const PhoneList& list);

// The kept phone with exactly this (usable) serial, or nullptr.
const ListedPhone* find_phone(const PhoneList& list, const char* serial);

// True when the phone's listed state begins with `state`.
bool in_state(const ListedPhone& phone, const char* state);

// How many kept phones have a state that begins with `state`, usable
// serial or not, and the first of them.
int count_in_state(const PhoneList& list, const char* state, const ListedPhone** first);

// ---- Reading a tool's list -----------------------------------------------------

// Runs `tool_path` "devices" into `output` (devices_output_size bytes) and
// says how the run ended. A run that
// ended by a crash signal or with exit status 126 or 127 having printed no
// list (no adb header, no phone line) is not_started, with an empty text: a
// broken or half-copied tool file.
RunEnd list_devices(const char* tool_path, char* output);

// fastboot lists no phone on the network ("tcp:..."/"udp:..."). When
// `serial` (the bridge's ANDROID_SERIAL, may be null) is a valid network
// serial not yet in `list` (fastboot's), asks that phone one quick,
// bounded "getvar product" and, when it answered, adds it to the list in
// the state "fastboot". `output` is devices_output_size bytes of scratch.
void add_network_fastboot_phone(const char* fastboot_path, const char* serial, PhoneList& list, char* output);

// Whether a "getvar product" run's output shows that the phone answered.
bool network_phone_answered(const ToolRun& run, const char* output);
