// The ADB report's steps, in order: getprop, properties, IMEI numbers,
// shell probes, the main rows, then the battery detail rows and Row::adb_root.
#pragma once

// Fills the ADB field list (adb_list_cap bytes) for the phone `serial`.
void build_adb_fields(const char* adb, const char* serial, char* list, int* first);
