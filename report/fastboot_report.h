// The Fastboot report: ten bootloader variables from "getvar all".
#pragma once

// The value of "(bootloader) <variable>:" in the getvar text, past the
// spaces after the colon, up to the line end; at most 255 characters into
// `out` (256 bytes). Empty when the variable is missing.
void getvar_value(const char* getvar_text, const char* variable, char* out);

// Adds a row for each variable of the getvar table that has a value, in
// table order, then the row Row::serial with `device_serial` when none did.
void add_getvar_rows(const char* getvar_text, const char* device_serial, char* list, int* first);

// Runs getvar all for the phone and fills the Fastboot field list.
void build_fastboot_fields(const char* fastboot, const char* device_serial, char* list, int* first);
