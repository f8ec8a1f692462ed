// Puts arbitrary text between the double quotes of a JSON string.
#pragma once

// Escapes `in` into `out` (limit + 1 bytes): tab, line feed, '"' and '\'
// become two-byte escapes, written only while they fit under `limit`; other
// bytes below 0x20 (CR included) are dropped; everything else, UTF-8
// included, is copied. Stops at the input's end or once `limit` bytes are
// written; `out` always ends with a NUL.
void json_escape(const char* in, char* out, int limit);
