// The phones adb and fastboot list, and which serials may stand on a
// command line.
#pragma once

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

struct ListedPhone {
  char serial[serial_cap + 1];
  char state[phone_state_cap + 1];  // printable ASCII only
};

struct PhoneList {
  ListedPhone phones[max_listed_phones];
  int count = 0;
};

// adb's "devices" output: the first line (the header) is never used; each
// later line with a tab is "serial<TAB>state". Lines whose serial breaks
// is_valid_serial are passed over; at most max_listed_phones are kept.
void parse_adb_devices(const char* output, PhoneList& list);

// fastboot's "devices" output: every line, serial and word separated by a
// tab, else by the first space (a line that begins with a space or has
// neither is passed over). Invalid serials are passed over as above.
void parse_fastboot_devices(const char* output, PhoneList& list);

// The listed phone with exactly this serial, or nullptr.
const ListedPhone* find_phone(const PhoneList& list, const char* serial);

// How many listed phones have a state that begins with `state` (adb's ready
// state is "device"), and the first of them.
int count_in_state(const PhoneList& list, const char* state, const ListedPhone** first);
