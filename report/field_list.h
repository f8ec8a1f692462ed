// The field list of a report: the inside of a JSON array of
// ["label","value"] items joined by commas, always NUL-terminated.
#pragma once

constexpr int adb_list_cap = 32768;
constexpr int fastboot_list_cap = 4096;

// Adds one ["label","value"] item to `list` (a buffer of `cap` bytes that
// already holds a NUL-terminated list). An absent or empty value adds
// nothing. The label is escaped to at most 254 bytes and the value to at
// most 510, and bytes that are not valid UTF-8 are dropped. An item that no longer fits whole under cap - 1 characters
// is left out, so the list stays a well-formed sequence of items; a later, shorter item may still fit. `first` is 1
// until the first item is added.
void append_field(char* list, int* first, const char* label, const char* value, int cap);
